#include "DialogQueue.h"

#include "ImportProfile.h"
#include "PaintProfile.h"
#include "kit/ModalDriver.h"

bool DialogQueue::Attach(HWND owner, bool always) {
  always_ = always;
  attached_ = pilot_.Listen(owner);
  return attached_ && (!always || pilot_.Hook(true)) && pilot_.ready();
}

void DialogQueue::Answer(int button) {
  pilot_.Hook(true);
  answers_.push_back(button);
}

std::string DialogQueue::Finish() {
  std::string problems;
  if (!pilot_.ready() || !attached_) problems += "the dialog hook or the owner's subclass is missing; ";
  if (!answers_.empty()) problems += std::to_string(answers_.size()) + " message box(es) never shown; ";
  if (!steps_.empty()) problems += std::to_string(steps_.size()) + " dialog step(s) never run; ";
  for (const std::string& what : unexpected_) problems += "unexpected " + what + "; ";
  if (pilot_.missed() != missed_)
    problems += std::to_string(pilot_.missed() - missed_) + " dialog(s) reached late by the watch, never heard idle; ";
  if (!always_) pilot_.Hook(false);
  missed_ = pilot_.missed();
  answers_.clear();
  steps_.clear();
  boxes_.clear();
  unexpected_.clear();
  return problems;
}

void DialogQueue::OnBox(HWND box) {
  const std::string shown = testkit::ModalWindow(box).MessageText();
  if (answers_.empty()) {
    unexpected_.push_back("message box \"" + shown + "\"");
    testkit::DialogPilot::Press(box, ::GetDlgItem(box, IDCANCEL) ? IDCANCEL : IDOK);
    return;
  }
  boxes_.push_back(shown);
  testkit::DialogPilot::Press(box, answers_.front());
  answers_.pop_front();
}

void DialogQueue::OnIdle(HWND dialog) {
  // What the loop would paint next is painted now, so a step sees the dialog as the user does.
  ImportProfile::Mark("idle");
  ::RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  ImportProfile::Mark("painted");
  if (steps_.empty()) {
    unexpected_.push_back("dialog \"" + testkit::ModalWindow(dialog).Title() + "\"");
    testkit::DialogPilot::Press(dialog, IDCANCEL);
    return;
  }
  Step step = std::move(steps_.front());
  steps_.pop_front();
  step(dialog);
}

void DialogQueue::OnCreate(HWND window) { PaintProfile::Created(window); }
