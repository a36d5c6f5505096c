#pragma once
// Drives modal UI from inside its own message loop. A test queues steps, then
// runs the code that opens dialogs or message boxes; a thread timer, which the
// modal loops dispatch, finds each dialog that becomes the thread's active
// modal window and runs the first queued step on it when the step's matcher
// accepts it. A dialog that no step expects fails the test and is closed, so a
// wrong box never hangs the run.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testkit {

enum class BoxIcon { None, Error, Question, Warning, Information, Other };
const char* ToString(BoxIcon icon);

struct ButtonInfo {
  int id;
  std::string text;
};

// What a dialog showed when the driver reached it.
struct ShownWindow {
  HWND window = nullptr;
  HWND owner = nullptr;
  std::string title;
  std::string text;  // a message box's text (the static with id 0xFFFF)
  BoxIcon icon = BoxIcon::None;
  std::vector<ButtonInfo> buttons;  // visible push buttons, in window order
  bool expected = false;            // false: no step matched it
};

// A modal window handed to a step.
class ModalWindow {
 public:
  explicit ModalWindow(HWND window) : window_(window) {}
  HWND window() const { return window_; }
  HWND Item(int id) const { return ::GetDlgItem(window_, id); }
  bool HasItem(int id) const { return Item(id) != nullptr; }
  std::string Title() const;
  std::string ItemText(int id) const;
  std::string MessageText() const { return ItemText(0xFFFF); }
  BoxIcon Icon() const;
  std::vector<ButtonInfo> Buttons() const;
  HWND Owner() const { return ::GetWindow(window_, GW_OWNER); }
  bool IsChecked(int id) const;
  bool IsEnabled(int id) const;

  // Clicks a button: posted, so it takes effect when the step has returned.
  void Press(int id) const;
  // Sets an edit control's text (the control sends its change notification).
  void Type(int id, const std::string& text) const;
  // Sets a check box or radio button and tells the dialog as a click would.
  void SetCheck(int id, bool checked) const;
  // Ends the dialog directly, as EndDialog from its own code would.
  void End(INT_PTR result) const;

  ShownWindow Snapshot() const;

 private:
  HWND window_;
};

using WindowMatcher = std::function<bool(HWND)>;
using StepAction = std::function<void(ModalWindow&)>;

// Matchers.
WindowMatcher AnyDialog();
WindowMatcher Titled(const std::string& title);
// A dialog made from template `id` of `module`: same caption, and every
// control id of the template is present.
WindowMatcher FromTemplate(HMODULE module, UINT id);

class ModalDriver {
 public:
  ModalDriver();
  // Fails the test for steps that never ran (see Finish).
  ~ModalDriver();
  ModalDriver(const ModalDriver&) = delete;
  ModalDriver& operator=(const ModalDriver&) = delete;

  // Queues a step for the next dialog that `match` accepts.
  ModalDriver& Then(const std::string& what, WindowMatcher match, StepAction action);
  // Queues: the next dialog is a message box; press `button` (IDOK, IDYES...).
  ModalDriver& AnswerBox(int button);

  // Every dialog the driver reached, in order, expected or not.
  const std::vector<ShownWindow>& Shown() const { return shown_; }
  size_t Pending() const { return steps_.size(); }
  // Checks that every step ran and no unexpected dialog appeared; clears both.
  void Finish();

 private:
  struct Step {
    std::string what;
    WindowMatcher match;
    StepAction action;
  };
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
  void Tick();

  UINT_PTR timer_ = 0;
  bool running_ = false;
  std::vector<Step> steps_;
  std::vector<ShownWindow> shown_;
  std::vector<std::string> unexpected_;
  HWND lastActed_ = nullptr;
  DWORD actedAt_ = 0;
};

// Pumps the thread's messages for up to `ms` milliseconds (or until `done`).
void PumpMessages(DWORD ms, const std::function<bool()>& done = nullptr);

}  // namespace testkit
