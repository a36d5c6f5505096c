#include "kit/ModalDriver.h"

#include <gtest/gtest.h>

namespace testkit {

namespace {

ModalDriver* g_driver = nullptr;

std::string ClassOf(HWND window) {
  char name[64] = "";
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[2048] = "";
  if (window) ::GetWindowTextA(window, text, sizeof text);
  return text;
}

std::vector<HWND> Children(HWND window) {
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

BOOL CALLBACK FindFrontModal(HWND window, LPARAM param) {
  if (!IsDialog(window) || !::IsWindowVisible(window) || !::IsWindowEnabled(window)) return TRUE;
  *reinterpret_cast<HWND*>(param) = window;
  return FALSE;
}

INT_PTR CALLBACK InertDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

bool IsDialog(HWND window) { return ClassOf(window) == "#32770"; }

HWND FrontModal() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindFrontModal, reinterpret_cast<LPARAM>(&found));
  return found;
}

const char* ToString(BoxIcon icon) {
  static const char* const kNames[] = {"none", "error", "question", "warning", "information", "other"};
  return kNames[static_cast<int>(icon)];
}


std::string ModalWindow::Title() const { return TextOf(window_); }

std::string ModalWindow::ItemText(int id) const { return TextOf(Item(id)); }

BoxIcon ModalWindow::Icon() const {
  // Message boxes show the shared system icons, so the handles compare equal.
  for (HWND child : Children(window_)) {
    if (ClassOf(child) != "Static" || (::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    HICON icon = reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0));
    // The control's own style: a box handed on as it is activated is not visible yet itself.
    if (!icon || !(::GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) continue;
    if (icon == ::LoadIcon(nullptr, IDI_HAND)) return BoxIcon::Error;
    if (icon == ::LoadIcon(nullptr, IDI_QUESTION)) return BoxIcon::Question;
    if (icon == ::LoadIcon(nullptr, IDI_EXCLAMATION)) return BoxIcon::Warning;
    if (icon == ::LoadIcon(nullptr, IDI_ASTERISK)) return BoxIcon::Information;
    return BoxIcon::Other;
  }
  return BoxIcon::None;
}

void ModalWindow::Press(int id) const {
  HWND button = Item(id);
  if (button && !::IsWindowEnabled(button)) {
    ADD_FAILURE() << "pressed the disabled control " << id << " of \"" << Title() << "\"";
    return;
  }
  ::PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void ModalWindow::Type(int id, const std::string& text) const {
  if (!Item(id)) ADD_FAILURE() << "no control " << id << " to type into in \"" << Title() << "\"";
  ::SetDlgItemTextA(window_, id, text.c_str());
}

void ModalWindow::SetCheck(int id, bool checked) const {
  HWND button = Item(id);
  if (!button) {
    ADD_FAILURE() << "no check box " << id << " in \"" << Title() << "\"";
    return;
  }
  ::SendMessageA(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  ::PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

ShownWindow ModalWindow::Snapshot() const {
  ShownWindow s{Owner(), Title(), MessageText(), Icon(), {}};
  for (HWND child : Children(window_)) {
    const LONG type = ::GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK;
    if (ClassOf(child) == "Button" && ::IsWindowVisible(child) && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON))
      s.buttons.push_back(::GetDlgCtrlID(child));
  }
  return s;
}


WindowMatcher AnyDialog() {
  return [](HWND) { return true; };
}

WindowMatcher Titled(const std::string& title) {
  return [title](HWND window) { return TextOf(window) == title; };
}

WindowMatcher FromTemplate(HMODULE module, UINT id) {
  // The template made into a hidden, inert dialog tells its caption and control ids.
  HWND made = ::CreateDialogParamA(module, MAKEINTRESOURCEA(id), nullptr, &InertDialog, 0);
  if (!made) ADD_FAILURE() << "dialog template " << id << " cannot be made, error " << ::GetLastError();
  const std::string caption = TextOf(made);
  std::vector<int> ids;
  for (HWND child : Children(made)) ids.push_back(::GetDlgCtrlID(child));
  const bool known = made != nullptr;
  if (known) ::DestroyWindow(made);
  return [known, caption, ids](HWND window) {
    if (!known || TextOf(window) != caption) return false;
    for (int control : ids)
      if (!::GetDlgItem(window, control)) return false;
    return true;
  };
}

ModalDriver::ModalDriver() {
  if (g_driver) ADD_FAILURE() << "two modal drivers at once";
  g_driver = this;
  timer_ = ::SetTimer(nullptr, 0, 20, &ModalDriver::OnTimer);
  if (!timer_) ADD_FAILURE() << "SetTimer failed, error " << ::GetLastError();
}

ModalDriver::~ModalDriver() {
  if (timer_) ::KillTimer(nullptr, timer_);
  if (g_driver == this) g_driver = nullptr;
  Finish();
}

ModalDriver& ModalDriver::Then(const std::string& what, WindowMatcher match, StepAction action) {
  steps_.push_back(Step{what, std::move(match), std::move(action)});
  return *this;
}

void ModalDriver::Finish() {
  for (const Step& step : steps_) ADD_FAILURE() << "expected dialog never appeared: " << step.what;
  for (const std::string& text : unexpected_) ADD_FAILURE() << "unexpected dialog: " << text;
  steps_.clear();
  unexpected_.clear();
}

void CALLBACK ModalDriver::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (g_driver) g_driver->Tick();
}

void ModalDriver::Tick() {
  if (running_) return;
  HWND window = FrontModal();
  if (!window) return;
  ModalWindow modal(window);
  if (!steps_.empty() && steps_.front().match(window)) {
    Step step = std::move(steps_.front());
    steps_.erase(steps_.begin());
    shown_.push_back(modal.Snapshot());
    running_ = true;
    step.action(modal);
    running_ = false;
  } else if (window != lastActed_ || ::GetTickCount() - actedAt_ >= 3000) {
    // (A dialog a step has just answered may need a moment to go away.)
    unexpected_.push_back("\"" + modal.Title() + "\": " + modal.MessageText() +
                          (steps_.empty() ? " (no step queued)" : " (next step: " + steps_.front().what + ")"));
    ::EndDialog(window, IDCANCEL);
  } else {
    return;
  }
  lastActed_ = window;
  actedAt_ = ::GetTickCount();
}

}  // namespace testkit
