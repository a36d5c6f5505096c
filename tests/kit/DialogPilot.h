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

   protected:
    ~Handler() = default;
  };

  explicit DialogPilot(Handler& handler);
  ~DialogPilot();
  DialogPilot(const DialogPilot&) = delete;
  DialogPilot& operator=(const DialogPilot&) = delete;

  bool ready() const { return cbt_ && watch_; }
  // Dialogs that idled unheard and were handed on by the watch timer.
  int missed() const { return missed_; }

  // Message boxes are dialogs of no module or of user32; the page's dialogs belong to its module.
  static bool IsMessageBox(HWND dialog);
  // Clicks a button by posting the notification the dialog's loop delivers next.
  static void Press(HWND dialog, int id);

 private:
  static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static void CALLBACK OnWatch(HWND, UINT, UINT_PTR, DWORD);
  void Activated(HWND window);
  void Idle(HWND dialog);
  void Listen(HWND owner);
  void Watch();

  Handler& handler_;
  HHOOK cbt_ = nullptr;
  UINT_PTR watch_ = 0;
  std::set<HWND> answered_;  // boxes handed on, until they are destroyed
  std::set<HWND> owners_;    // subclassed, to be given back their procedure
  unsigned progress_ = 0, watched_ = 0;
  HWND stalled_ = nullptr;
  int missed_ = 0;
};

}  // namespace testkit
