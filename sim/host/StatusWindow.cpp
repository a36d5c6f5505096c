#include "StatusWindow.h"

#include "PromptDialog.h"

namespace {

const wchar_t kClassName[] = L"ZeltTokenUtilityStatus";
constexpr int kMargin = 16;

HFONT createMessageFont() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return ::CreateFontIndirectW(&metrics.lfMessageFont);
}

}  // namespace

StatusWindow::~StatusWindow() {
  if (window_) ::DestroyWindow(window_);
}

LRESULT CALLBACK StatusWindow::proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<StatusWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == WM_PAINT) {
    self->paint(window);
    return 0;
  }
  if (message == WM_CLOSE) return 0;  // only HideStatus removes it
  return ::DefWindowProcW(window, message, wParam, lParam);
}

SIZE StatusWindow::measure(HWND window) const {
  HDC dc = ::GetDC(window);
  HGDIOBJ old = ::SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : ::GetStockObject(DEFAULT_GUI_FONT));
  RECT r = {0, 0, 420, 0};
  ::DrawTextW(dc, text_.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::ReleaseDC(window, dc);
  return SIZE{r.right < 260 ? 260 : r.right, r.bottom};
}

void StatusWindow::paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(window, &ps);
  RECT client;
  ::GetClientRect(window, &client);
  ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
  HGDIOBJ old = ::SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  ::InflateRect(&client, -kMargin, -kMargin);
  ::DrawTextW(dc, text_.c_str(), -1, &client, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::EndPaint(window, &ps);
}

void StatusWindow::show(HWND owner, const std::wstring& text) {
  text_ = text;
  if (!font_) font_.reset(createMessageFont());
  if (!window_) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    if (!::GetClassInfoExW(::GetModuleHandleW(nullptr), kClassName, &wc)) {
      wc.lpfnWndProc = proc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT));
      wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
      wc.lpszClassName = kClassName;
      ::RegisterClassExW(&wc);
    }
    window_ = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME, kClassName, L"Token Utility",
                                WS_POPUP | WS_CAPTION, 0, 0, 300, 100, owner, nullptr, ::GetModuleHandleW(nullptr), this);
    if (!window_) return;
  }
  const SIZE size = measure(window_);
  RECT frame = {0, 0, size.cx + 2 * kMargin, size.cy + 2 * kMargin};
  ::AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION, FALSE, WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME);
  ::SetWindowPos(window_, HWND_TOP, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOACTIVATE);
  centreOverOwner(window_, owner);
  ::ShowWindow(window_, SW_SHOWNOACTIVATE);
  ::InvalidateRect(window_, nullptr, TRUE);
  ::UpdateWindow(window_);
}

void StatusWindow::hide() {
  if (window_) ::ShowWindow(window_, SW_HIDE);
  text_.clear();
}
