#pragma once
// Drives the page's modal dialogs from inside their own message loops without a timer, so that
// no polling delay enters a measurement. A thread hook sees:
// - each message box as it is initialised, and answers it at once with the next queued button;
// - each other dialog's idle moments (WM_ENTERIDLE, which the dialog's loop sends its owner when
//   the queue is empty, that is once the dialog shows), and runs the next queued idle step there.
// A dialog that shows when no step is queued is cancelled and counted as unexpected; one that
// never idles with steps queued (no owner to tell) is cancelled by a watchdog after some seconds.
#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class DialogPilot {
 public:
  using Step = std::function<void(HWND dialog)>;

  DialogPilot();
  ~DialogPilot();
  DialogPilot(const DialogPilot&) = delete;
  DialogPilot& operator=(const DialogPilot&) = delete;

  // The next message box is answered with `button` (IDYES, IDOK, ...).
  void Answer(int button) { answers_.push_back(button); }
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
  static LRESULT CALLBACK OnCall(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK OnReturn(int code, WPARAM wParam, LPARAM lParam);
  static void CALLBACK OnWatch(HWND, UINT, UINT_PTR, DWORD);
  void Initialised(HWND dialog);
  void Idle(HWND dialog);

  HHOOK call_ = nullptr;
  HHOOK return_ = nullptr;
  UINT_PTR watch_ = 0;
  unsigned progress_ = 0, watched_ = 0, stalls_ = 0;
  std::deque<int> answers_;
  std::deque<Step> steps_;
  std::vector<std::string> boxes_;
  std::vector<std::string> unexpected_;
};
