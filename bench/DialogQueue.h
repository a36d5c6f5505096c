#pragma once
// What the user does in the dialogs of one measured step: answers for the message boxes and
// steps for the other dialogs, queued before the step and used in order as the test kit's pilot
// hands each dialog on (the host's frame, the dialogs' owner, tells it when a dialog's loop has
// run empty; a CBT hook sees each message box as it is activated).
// The hook is there only while answers are queued (or always, with `always`): under Wine it
// costs three server round trips for every window made or activated, which a step without
// message boxes would count as the page's time (about 60 to open Manage).
// A dialog that idles when no step is queued, or a message box when no answer is, is cancelled
// and counted as unexpected; one that the pilot's watch had to reach is counted too.
#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "kit/DialogPilot.h"

class DialogQueue : private testkit::DialogPilot::Handler {
 public:
  using Step = std::function<void(HWND dialog)>;

  DialogQueue() = default;
  DialogQueue(const DialogQueue&) = delete;
  DialogQueue& operator=(const DialogQueue&) = delete;

  // Listens to the dialogs owned by `owner`, with the hook always in place when `always`; false
  // when the hook or the subclass cannot be installed.
  bool Attach(HWND owner, bool always);

  // The next message box is answered with `button` (IDYES, IDOK, ...).
  void Answer(int button);
  // Runs at the next idle moment of a dialog that is not a message box, after the dialog has
  // painted everything it has to paint.
  void Then(Step step) { steps_.push_back(std::move(step)); }

  // Every message box answered since the last Finish, as its text.
  const std::vector<std::string>& Boxes() const { return boxes_; }
  // "" when every queued answer and step was used and nothing unexpected showed; else what went wrong. Clears all.
  std::string Finish();

 private:
  void OnBox(HWND box) override;
  void OnIdle(HWND dialog) override;
  void OnCreate(HWND window) override;

  testkit::DialogPilot pilot_{*this, false};
  bool attached_ = false, always_ = false;
  int missed_ = 0;  // the pilot's count of dialogs reached late, at the last Finish
  std::deque<int> answers_;
  std::deque<Step> steps_;
  std::vector<std::string> boxes_;
  std::vector<std::string> unexpected_;
};
