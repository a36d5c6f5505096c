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

// A window of the dialog class: a dialog or a message box.
bool IsDialog(HWND window);
// The enabled, visible dialog of this thread that is on top: the one a modal loop is running for.
HWND FrontModal();

// What a dialog showed when the driver reached it.
struct ShownWindow {
  HWND owner = nullptr;
  std::string title;
  std::string text;  // a message box's text (the static with id 0xFFFF)
  BoxIcon icon = BoxIcon::None;
  std::vector<int> buttons;  // ids of the visible push buttons, in window order
};

// A modal window handed to a step.
class ModalWindow {
 public:
  explicit ModalWindow(HWND window) : window_(window) {}
  HWND window() const { return window_; }
  HWND Item(int id) const { return ::GetDlgItem(window_, id); }
  std::string Title() const;
  std::string ItemText(int id) const;
  std::string MessageText() const { return ItemText(0xFFFF); }
  BoxIcon Icon() const;
  HWND Owner() const { return ::GetWindow(window_, GW_OWNER); }
  bool IsChecked(int id) const { return ::IsDlgButtonChecked(window_, id) == BST_CHECKED; }
  bool IsEnabled(int id) const { return Item(id) && ::IsWindowEnabled(Item(id)); }

  // Clicks a button: posted, so it takes effect when the step has returned.
  void Press(int id) const;
  // Sets an edit control's text (the control sends its change notification).
  void Type(int id, const std::string& text) const;
  // Sets a check box or radio button and tells the dialog as a click would.
  void SetCheck(int id, bool checked) const;
  // Posts the control's command with another notification code than a click's.
  void Command(int id, WORD code) const {
    ::PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Item(id)));
  }

  ShownWindow Snapshot() const;

 private:
  HWND window_;
};

using WindowMatcher = std::function<bool(HWND)>;
using StepAction = std::function<void(ModalWindow&)>;

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

  // Every dialog a step ran on, in order.
  const std::vector<ShownWindow>& Shown() const { return shown_; }
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

}  // namespace testkit
