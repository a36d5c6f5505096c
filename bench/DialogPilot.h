#pragma once
// Drives the page's modal dialogs from inside their own message loops without a timer, so that
// no polling delay enters a measurement, and without a hook on every message (under Wine each
// hooked message costs several server round trips, which would be measured as the page's time):
// - the dialogs' owner, the host's frame, is subclassed to see WM_ENTERIDLE, which a dialog's
//   loop sends its owner when the queue is empty, that is once the dialog shows; the next queued
//   idle step runs there;
// - a CBT hook sees each message box as it is activated (after its text is set), and answers it
//   with the next queued button. The hook is there only while answers are queued (or always, with
//   `always`): under Wine it costs three server round trips for every window made or activated,
//   which a step without message boxes would count as the page's time (about 60 to open Manage).
// A dialog that idles when no step is queued, or a message box when no answer is, is cancelled and
// counted as unexpected; one that never idles with steps queued (a message box that came without
// a hook to see it, too) is cancelled by a watchdog.
#include <windows.h>

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

class DialogPilot {
 public:
  using Step = std::function<void(HWND dialog)>;

  DialogPilot() = default;
  ~DialogPilot();
  DialogPilot(const DialogPilot&) = delete;
  DialogPilot& operator=(const DialogPilot&) = delete;

  // Watches the dialogs owned by `owner`, with the hook always in place when `always`; false when
  // the hook or the subclass cannot be installed.
  bool Attach(HWND owner, bool always);

  // The next message box is answered with `button` (IDYES, IDOK, ...).
  void Answer(int button);
  // Runs at the next idle moment of a dialog that is not a message box, after the dialog has
  // painted everything it has to paint.
  void OnIdle(Step step) { steps_.push_back(std::move(step)); }

  // Every message box answered since the last Finish, as its text.
  const std::vector<std::string>& Boxes() const { return boxes_; }
  // "" when every queued answer and step was used and nothing unexpected showed; else what went wrong. Clears all.
  std::string Finish();

  // Clicks a dialog's button by posting the notification its loop will deliver next.
  static void Press(HWND dialog, int id);

 private:
  static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static void CALLBACK OnWatch(HWND, UINT, UINT_PTR, DWORD);
  void Activated(HWND box);
  bool Hook();
  void Idle(HWND dialog);

  HWND owner_ = nullptr;
  WNDPROC ownerProc_ = nullptr;
  HHOOK cbt_ = nullptr;
  bool always_ = false, hookFailed_ = false;
  UINT_PTR watch_ = 0;
  unsigned progress_ = 0, watched_ = 0, stalls_ = 0;
  std::deque<int> answers_;
  std::deque<Step> steps_;
  std::set<HWND> answered_;
  std::vector<std::string> boxes_;
  std::vector<std::string> unexpected_;
};
