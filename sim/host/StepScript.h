#pragma once
// A scripted walk through the page and its dialogs, for screenshots and smoke tests: one step
// at a time, from the frame's timer, so steps go on while a dialog's modal loop runs.
//   wait MS              pause
//   wait-for TITLE       until the window in front has this caption
//   click ID             press the button ID of the window in front (the page's, when the frame is)
//   expect-control ID    the window in front (or the page) has a control ID, or the run fails
//   select ROW           select that row (from 0) of the first list view of the window in front
//   type ID TEXT         put TEXT into the control ID of the window in front
//   screenshot FILE      save a PNG of the host's windows
//   exit                 end the run (exit code 0)
// A step that waits for a window or control gives up after 30 s: the run ends with exit code 6.
#include <windows.h>

#include <string>
#include <vector>

class StepScript {
 public:
  struct Step {
    std::string verb;
    unsigned long number = 0;
    std::string text;
  };
  static constexpr int kContinue = -1;  // tick: call again after *delayMs
  static constexpr int kDone = -2;      // tick: no step is left

  // Adds one step, or the lines of a steps file (blank lines and '#' comments skipped); false
  // with a reason for a malformed one.
  static bool parseLine(const std::string& line, std::vector<Step>* steps, std::string* error);
  static bool parseText(const std::string& text, std::vector<Step>* steps, std::string* error);

  explicit StepScript(std::vector<Step> steps) : steps_(std::move(steps)) {}
  bool empty() const { return steps_.empty(); }

  // Runs the current step: kContinue with the delay until the next call, kDone, or the exit
  // code the run ends with.
  int tick(HWND frame, HWND page, UINT* delayMs);

 private:
  int fail(const std::string& text);

  std::vector<Step> steps_;
  size_t next_ = 0;
  DWORD waitingSince_ = 0;  // when the current step began to wait; 0 while not waiting
};
