#include "kit/ModalDriver.h"

#include <gtest/gtest.h>

#include <cstring>

namespace testkit {

namespace {

ModalDriver* g_driver = nullptr;

std::string ClassOf(HWND window) {
  char name[64] = "";
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  if (!window) return std::string();
  const int length = ::GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int n = ::GetWindowTextA(window, &text[0], length + 1);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

std::vector<HWND> Children(HWND window) {
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

BOOL CALLBACK FindFrontModal(HWND window, LPARAM param) {
  if (ClassOf(window) != "#32770" || !::IsWindowVisible(window) || !::IsWindowEnabled(window)) return TRUE;
  *reinterpret_cast<HWND*>(param) = window;
  return FALSE;
}

// The enabled, visible dialog of this thread that is on top: the one a modal loop is running for.
HWND FrontModal() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindFrontModal, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string Ansi(const wchar_t* text) {
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, &s[0], n, nullptr, nullptr);
  s.resize(static_cast<size_t>(n - 1));
  return s;
}

// Caption and control ids of a dialog template (either layout).
class TemplateWalker {
 public:
  TemplateWalker(const BYTE* data, DWORD size) : data_(data), size_(size) {}

  bool Walk(std::string& caption, std::vector<int>& ids) {
    WORD version = 0, signature = 0;
    if (!Read(version) || !Read(signature)) return false;
    const bool extended = version == 1 && signature == 0xFFFF;
    DWORD style = 0, exStyle = 0, helpId = 0;
    WORD count = 0;
    short box[4];
    if (extended) {
      if (!Read(helpId) || !Read(exStyle) || !Read(style)) return false;
    } else {
      style = MAKELONG(version, signature);
      if (!Read(exStyle)) return false;
    }
    if (!Read(count) || !Read(box)) return false;
    const wchar_t* title = nullptr;
    if (!NameOrOrdinal() || !NameOrOrdinal() || !(title = String())) return false;
    caption = Ansi(title);
    if (style & DS_SETFONT) {
      WORD points = 0, weight = 0;
      BYTE italic = 0, charset = 0;
      if (!Read(points)) return false;
      if (extended && (!Read(weight) || !Read(italic) || !Read(charset))) return false;
      if (!String()) return false;
    }
    for (WORD i = 0; i < count; ++i) {
      offset_ = (offset_ + 3) & ~3u;
      DWORD itemStyle = 0, itemExStyle = 0, itemHelp = 0, id32 = 0;
      WORD id16 = 0, extra = 0;
      short itemBox[4];
      if (extended) {
        if (!Read(itemHelp) || !Read(itemExStyle) || !Read(itemStyle) || !Read(itemBox) || !Read(id32)) return false;
      } else {
        if (!Read(itemStyle) || !Read(itemExStyle) || !Read(itemBox) || !Read(id16)) return false;
        id32 = id16;
      }
      if (!NameOrOrdinal() || !NameOrOrdinal() || !Read(extra)) return false;
      offset_ += extra;
      const int id = static_cast<int>(static_cast<short>(LOWORD(id32)));
      if (id != -1) ids.push_back(static_cast<int>(LOWORD(id32)));
    }
    return true;
  }

 private:
  template <typename T>
  bool Read(T& value) {
    if (offset_ > size_ || size_ - offset_ < sizeof(T)) return false;
    std::memcpy(&value, data_ + offset_, sizeof(T));
    offset_ += sizeof(T);
    return true;
  }
  const wchar_t* String() {
    const DWORD start = offset_;
    WORD c = 0;
    do {
      if (!Read(c)) return nullptr;
    } while (c);
    return reinterpret_cast<const wchar_t*>(data_ + start);
  }
  bool NameOrOrdinal() {
    WORD first = 0;
    if (!Read(first)) return false;
    if (first == 0) return true;
    if (first == 0xFFFF) return Read(first);
    offset_ -= sizeof(WORD);
    return String() != nullptr;
  }

  const BYTE* data_;
  DWORD size_;
  DWORD offset_ = 0;
};

}  // namespace

const char* ToString(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::None: return "none";
    case BoxIcon::Error: return "error";
    case BoxIcon::Question: return "question";
    case BoxIcon::Warning: return "warning";
    case BoxIcon::Information: return "information";
    case BoxIcon::Other: return "other";
  }
  return "?";
}

// ---------------------------------------------------------------- ModalWindow

std::string ModalWindow::Title() const { return TextOf(window_); }

std::string ModalWindow::ItemText(int id) const { return TextOf(Item(id)); }

BoxIcon ModalWindow::Icon() const {
  // Message boxes show the shared system icons, so the handles compare equal.
  // (Windows loads them the same way; a box with a custom icon counts as Other.)
  for (HWND child : Children(window_)) {
    if (ClassOf(child) != "Static" || !::IsWindowVisible(child)) continue;
    if ((::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    HICON icon = reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0));
    if (!icon) continue;
    if (icon == ::LoadIcon(nullptr, IDI_HAND)) return BoxIcon::Error;
    if (icon == ::LoadIcon(nullptr, IDI_QUESTION)) return BoxIcon::Question;
    if (icon == ::LoadIcon(nullptr, IDI_EXCLAMATION)) return BoxIcon::Warning;
    if (icon == ::LoadIcon(nullptr, IDI_ASTERISK)) return BoxIcon::Information;
    return BoxIcon::Other;
  }
  return BoxIcon::None;
}

std::vector<ButtonInfo> ModalWindow::Buttons() const {
  std::vector<ButtonInfo> buttons;
  for (HWND child : Children(window_)) {
    if (ClassOf(child) != "Button" || !::IsWindowVisible(child)) continue;
    const LONG type = ::GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK;
    if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) continue;
    buttons.push_back(ButtonInfo{::GetDlgCtrlID(child), TextOf(child)});
  }
  return buttons;
}

bool ModalWindow::IsChecked(int id) const { return ::IsDlgButtonChecked(window_, id) == BST_CHECKED; }

bool ModalWindow::IsEnabled(int id) const { return Item(id) && ::IsWindowEnabled(Item(id)); }

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

void ModalWindow::End(INT_PTR result) const { ::EndDialog(window_, result); }

ShownWindow ModalWindow::Snapshot() const {
  ShownWindow s;
  s.window = window_;
  s.owner = Owner();
  s.title = Title();
  s.text = MessageText();
  s.icon = Icon();
  s.buttons = Buttons();
  return s;
}

// ---------------------------------------------------------------- matchers

WindowMatcher AnyDialog() {
  return [](HWND) { return true; };
}

WindowMatcher Titled(const std::string& title) {
  return [title](HWND window) { return TextOf(window) == title; };
}

WindowMatcher FromTemplate(HMODULE module, UINT id) {
  std::string caption;
  std::vector<int> ids;
  bool parsed = false;
  if (HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5))) {
    HGLOBAL loaded = ::LoadResource(module, found);
    const BYTE* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    parsed = data && TemplateWalker(data, ::SizeofResource(module, found)).Walk(caption, ids);
  }
  if (!parsed) ADD_FAILURE() << "dialog template " << id << " cannot be read";
  return [parsed, caption, ids](HWND window) {
    if (!parsed || TextOf(window) != caption) return false;
    for (int control : ids)
      if (!::GetDlgItem(window, control)) return false;
    return true;
  };
}

// ---------------------------------------------------------------- ModalDriver

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

ModalDriver& ModalDriver::AnswerBox(int button) {
  return Then("message box answered with " + std::to_string(button), AnyDialog(),
              [button](ModalWindow& box) { box.Press(button); });
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
    ShownWindow shown = modal.Snapshot();
    shown.expected = true;
    shown_.push_back(shown);
    running_ = true;
    step.action(modal);
    running_ = false;
    lastActed_ = window;
    actedAt_ = ::GetTickCount();
    return;
  }
  // A dialog a step has just answered may need a moment to go away.
  if (window == lastActed_ && ::GetTickCount() - actedAt_ < 3000) return;
  ShownWindow shown = modal.Snapshot();
  shown_.push_back(shown);
  unexpected_.push_back("\"" + shown.title + "\": " + shown.text +
                        (steps_.empty() ? std::string(" (no step queued)") : " (next step: " + steps_.front().what + ")"));
  lastActed_ = window;
  actedAt_ = ::GetTickCount();
  ::EndDialog(window, IDCANCEL);
}

void PumpMessages(DWORD ms, const std::function<bool()>& done) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (done && done()) return;
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= ms) return;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

}  // namespace testkit
