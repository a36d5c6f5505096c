#pragma once
// Drives this thread's modal dialogs from inside their own loops, as soon as each is ready, with
// no polling timer and no hook on every message (under Wine each hooked message costs several
// server round trips):
// - a CBT hook sees each window as it is activated; a message box has its text by then and is
//   handed to the handler there;
// - the owner of any other dialog is subclassed when the dialog is activated, so that the
//   dialog's loop, whenever its queue has run empty (painting done, every posted click handled),
//   tells the owner with WM_ENTERIDLE; the dialog is handed to the handler then.
// A dialog that is left idle with nobody acting (no owner to hear its idling, say) is handed on by
// a slow watch timer and counted, so a missed dialog shows as a count, never as a hang.
// A caller that times the dialogs' code may keep the hook out of the way: under Wine it costs
// server round trips for every window made or activated. It then names the owner to listen to
// up front and puts the hook in place only while a message box is expected.
#include <windows.h>

#include <set>

namespace testkit {

class DialogPilot {
 public:
  class Handler {
   public:
    // A message box, once, when it first shows; answer with Press.
    virtual void OnBox(HWND box) = 0;
    // A dialog whose loop has nothing left to do; called again each time it idles.
    virtual void OnIdle(HWND dialog) = 0;
    // A window of this thread is being made (seen while the hook is in place).
    virtual void OnCreate(HWND) {}

   protected:
    ~Handler() = default;
  };

  // With `hooked` false the hook waits for Hook(true).
  explicit DialogPilot(Handler& handler, bool hooked = true);
  ~DialogPilot();
  DialogPilot(const DialogPilot&) = delete;
  DialogPilot& operator=(const DialogPilot&) = delete;

  // The watch runs and the hook was put in place whenever it was asked for.
  bool ready() const { return watch_ && !hookFailed_; }
  // Dialogs that idled unheard and were handed on by the watch timer.
  int missed() const { return missed_; }

  // Message boxes are dialogs of no module or of user32; the page's dialogs belong to its module.
  static bool IsMessageBox(HWND dialog);
  // Clicks a button by posting the notification the dialog's loop delivers next.
  static void Press(HWND dialog, int id);

  // Hears the idling of the dialogs `owner` owns, without waiting for the hook to see one of them
  // activated; false when the owner cannot be subclassed.
  bool Listen(HWND owner);
  // Puts the hook in place or takes it away; false when it cannot be put in place. Without it,
  // message boxes are reached only by the watch.
  bool Hook(bool on);

 private:
  static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static void CALLBACK OnWatch(HWND, UINT, UINT_PTR, DWORD);
  void Activated(HWND window);
  void Idle(HWND dialog);
  void Watch();

  Handler& handler_;
  HHOOK cbt_ = nullptr;
  bool hookFailed_ = false;
  UINT_PTR watch_ = 0;
  std::set<HWND> answered_;  // boxes handed on, until they are destroyed
  std::set<HWND> owners_;    // subclassed, to be given back their procedure
  unsigned progress_ = 0, watched_ = 0;
  HWND stalled_ = nullptr;
  int missed_ = 0;
};

}  // namespace testkit
