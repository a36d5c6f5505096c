#include "dialogs/DialogWindow.h"

#include "server/Module.h"

namespace {

// Messages whose result a dialog procedure returns directly instead of in DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
  switch (message) {
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
      return true;
    default:
      return false;
  }
}

RECT WorkAreaOf(HWND window) {
  RECT work = {};
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  if (::GetMonitorInfoA(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info))
    work = info.rcWork;
  else
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

}  // namespace

BOOL DialogWindow::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  for (int i = 0; i < mapCount_; ++i) {
    for (size_t e = 0; e < maps_[i].count; ++e) {
      const MessageEntry& entry = maps_[i].entries[e];
      if (!Matches(entry, message, wParam, lParam)) continue;
      result = (this->*entry.handler)(message, wParam, lParam);
      return TRUE;
    }
  }
  return FALSE;
}

DLGPROC DialogWindow::GetDialogProc() { return &DialogWindow::DialogProc; }

void DialogWindow::OnFinalMessage(HWND) {}

DialogWindow::~DialogWindow() { DestroyDetached(); }

HWND DialogWindow::Create(HWND parent) {
  modal_ = false;
  HWND window = ::CreateDialogParamA(Module::Instance(), MAKEINTRESOURCEA(templateId_), parent, GetDialogProc(),
                                     reinterpret_cast<LPARAM>(this));
  if (window) window_ = window;
  return window;
}

INT_PTR DialogWindow::Run(HWND owner) {
  modal_ = true;
  const INT_PTR result = ::DialogBoxParamA(Module::Instance(), MAKEINTRESOURCEA(templateId_), owner,
                                           GetDialogProc(), reinterpret_cast<LPARAM>(this));
  modal_ = false;
  return result;
}

void DialogWindow::Destroy() {
  if (window_) ::DestroyWindow(window_);
  window_ = nullptr;
}

void DialogWindow::DestroyDetached() {
  HWND window = window_;
  if (!window) return;
  window_ = nullptr;
  ::SetWindowLongPtrA(window, DWLP_USER, 0);
  ::DestroyWindow(window);
}

void DialogWindow::CenterOverOwner(HWND window) {
  RECT box;
  if (!::GetWindowRect(window, &box)) return;
  const LONG width = box.right - box.left;
  const LONG height = box.bottom - box.top;
  const RECT work = WorkAreaOf(window);

  HWND owner = ::GetWindow(window, GW_OWNER);
  RECT center = work;
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &center);

  LONG left = (center.left + center.right) / 2 - width / 2;
  LONG top = (center.top + center.bottom) / 2 - height / 2;
  if (left + width > work.right) left = work.right - width;
  if (left < work.left) left = work.left;
  if (top + height > work.bottom) top = work.bottom - height;
  if (top < work.top) top = work.top;
  ::SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK DialogWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogWindow* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<DialogWindow*>(lParam);
    ::SetWindowLongPtrA(window, DWLP_USER, lParam);
    self->window_ = window;
    if (self->modal_) CenterOverOwner(window);
  } else {
    self = reinterpret_cast<DialogWindow*>(::GetWindowLongPtrA(window, DWLP_USER));
  }
  if (!self) return FALSE;

  LRESULT result = 0;
  const BOOL handled = self->ProcessWindowMessage(window, message, wParam, lParam, result);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrA(window, DWLP_USER, 0);
    if (self->window_ == window) self->window_ = nullptr;
    self->OnFinalMessage(window);
  }
  if (!handled) return FALSE;
  if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
  ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return TRUE;
}

void DialogWindow::AddMap(const MessageEntry* entries, size_t count) {
  // A dialog class, and the page class below the page base: never more.
  if (mapCount_ < kMaxMaps) maps_[mapCount_++] = MapRange{entries, count};
}

bool DialogWindow::Matches(const MessageEntry& entry, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (entry.kind) {
    case MapMessage:
      return message == entry.key;
    case MapCommand:
      return message == WM_COMMAND && LOWORD(wParam) == entry.key &&
             (entry.code == AnyCode || HIWORD(wParam) == entry.code);
    case MapNotify: {
      if (message != WM_NOTIFY || !lParam) return false;
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      return header->idFrom == entry.key && static_cast<UINT>(header->code) == entry.code;
    }
  }
  return false;
}
