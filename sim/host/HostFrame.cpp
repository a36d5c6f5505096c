#include "HostFrame.h"

#include <commctrl.h>

#include "ErrorText.h"
#include "HostResource.h"
#include "Screenshot.h"
#include "tokenkit/WideText.h"

namespace {

const wchar_t kFrameClass[] = L"ZeltTokenUtilityFrame";
const wchar_t kPageAreaClass[] = L"ZeltTokenUtilityPageArea";
// {CE757092-6AD6-4BDC-B959-883065EE2EDA}, the class of the user page.
const CLSID kUserPageClass = {0xCE757092, 0x6AD6, 0x4BDC, {0xB9, 0x59, 0x88, 0x30, 0x65, 0xEE, 0x2E, 0xDA}};

constexpr int kMargin = 8;
constexpr int kHeaderHeight = 20;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kApplyId = 0x3021;
constexpr UINT_PTR kClickTimer = 1;
constexpr UINT_PTR kExitTimer = 2;
constexpr UINT_PTR kStepTimer = 3;
// The page's size when it cannot say: its dialog of 270 x 180 units in an 8-point font.
constexpr SIZE kFallbackPageSize = {405, 293};

std::wstring executableFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path, n < MAX_PATH ? n : 0);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

std::wstring codeText(HRESULT hr) {
  wchar_t text[16];
  wsprintfW(text, L"0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::wstring describeFailure(HRESULT hr) {
  const std::wstring words = errortext::describe(hr);
  return words.empty() ? L"Error code " + codeText(hr) + L"." : words;
}

HFONT createMessageFont() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return ::CreateFontIndirectW(&metrics.lfMessageFont);
}

void registerClasses() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.lpszClassName = kPageAreaClass;
  ::RegisterClassExW(&wc);
}

}  // namespace

void printLine(const std::string& text) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (!out || out == INVALID_HANDLE_VALUE) return;
  const std::string line = text + "\n";
  DWORD written = 0;
  ::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

HostFrame::~HostFrame() {
  closePage();
  if (context_.frame && ::IsWindow(context_.frame)) ::DestroyWindow(context_.frame);
}

HRESULT HostFrame::createPage(std::wstring* source) {
  if (options_.pageDll.empty()) {
    const HRESULT hr = ::CoCreateInstance(kUserPageClass, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                          page_.ReceiveVoid());
    if (SUCCEEDED(hr) && page_) {
      *source = L"registered class";
      return hr;
    }
  }
  // Not registered (or a file was named): take the class factory from the module itself.
  const std::wstring path = options_.pageDll.empty() ? executableFolder() + L"ZeltUtilUserPage.dll"
                                                     : widetext::fromUtf8(options_.pageDll);
  pageModule_.reset(::LoadLibraryW(path.c_str()));
  if (!pageModule_) return HRESULT_FROM_WIN32(::GetLastError());
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto getClassObject =
      reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(::GetProcAddress(pageModule_.get(), "DllGetClassObject")));
  if (!getClassObject) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  ComPtr<IClassFactory> factory;
  HRESULT hr = getClassObject(kUserPageClass, IID_IClassFactory, factory.ReceiveVoid());
  if (FAILED(hr)) return hr;
  if (!factory) return E_POINTER;
  hr = factory->CreateInstance(nullptr, IID_IPropertyPage, page_.ReceiveVoid());
  if (SUCCEEDED(hr) && page_) *source = path;
  return SUCCEEDED(hr) && !page_ ? E_POINTER : hr;
}

bool HostFrame::create(std::string* error) {
  registerClasses();
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpfnWndProc = frameProc;
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  wc.hIcon = ::LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_TOKEN));
  wc.lpszClassName = kFrameClass;
  ::RegisterClassExW(&wc);
  context_.frame = ::CreateWindowExW(WS_EX_CONTROLPARENT, kFrameClass, L"Token Utility",
                                     WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                                     CW_USEDEFAULT, CW_USEDEFAULT, 480, 420, nullptr, nullptr, wc.hInstance, this);
  if (!context_.frame) {
    *error = "cannot create the main window (error " + std::to_string(::GetLastError()) +
             "; is there a display?)";
    return false;
  }
  font_.reset(createMessageFont());

  std::wstring source;
  const HRESULT created = createPage(&source);
  SIZE pageSize = kFallbackPageSize;
  std::wstring title = L"User";
  if (SUCCEEDED(created)) {
    PROPPAGEINFO info = {};
    info.cb = sizeof info;
    if (SUCCEEDED(page_->GetPageInfo(&info))) {
      if (info.pszTitle && *info.pszTitle) title = info.pszTitle;
      if (info.size.cx > 0 && info.size.cy > 0) pageSize = info.size;
    }
    ::CoTaskMemFree(info.pszTitle);
    ::CoTaskMemFree(info.pszDocString);
    ::CoTaskMemFree(info.pszHelpFile);
  }
  buildWindow(pageSize, title);
  context_.refresh(false);
  // Started before the page is activated: a message box that the page shows while it
  // activates runs a modal loop, and a scripted run must still end on time.
  if (options_.exitAfterMs) ::SetTimer(context_.frame, kExitTimer, options_.exitAfterMs, nullptr);

  if (FAILED(created)) {
    showPageError(L"The user page could not be created.\n\n" + describeFailure(created));
  } else {
    site_ = ComPtr<PageSite>::Adopt(new PageSite(context_.buttons[2]));
    statusObject_ = ComPtr<HostStatus>::Adopt(new HostStatus(context_));
    tokenObject_ = ComPtr<HostToken>::Adopt(new HostToken(context_));
    IUnknown* objects[2] = {static_cast<IHostStatus*>(statusObject_.Get()), static_cast<IHostToken*>(tokenObject_.Get())};
    HRESULT hr = page_->SetPageSite(site_.Get());
    if (SUCCEEDED(hr)) hr = page_->SetObjects(2, objects);
    RECT area;
    ::GetClientRect(context_.pageArea, &area);
    if (SUCCEEDED(hr)) hr = page_->Activate(context_.pageArea, &area, FALSE);
    if (SUCCEEDED(hr)) {
      pageActive_ = true;
      page_->Show(SW_SHOWNORMAL);
    } else {
      // A page dialog that was made before the failure stays hidden under the message.
      showPageError(L"The user page could not be shown: IPropertyPage::Activate failed.\n\n" + describeFailure(hr));
    }
  }

  ::ShowWindow(context_.frame, SW_SHOWNORMAL);
  ::UpdateWindow(context_.frame);
  ::SetForegroundWindow(context_.frame);
  if (options_.clickId) ::SetTimer(context_.frame, kClickTimer, options_.clickAfterMs, nullptr);
  if (!steps_.empty()) ::SetTimer(context_.frame, kStepTimer, options_.clickAfterMs, nullptr);
  return true;
}

void HostFrame::buildWindow(SIZE pageSize, const std::wstring& title) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  HWND frame = context_.frame;
  auto child = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
    HWND w = ::CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, frame,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return w;
  };
  context_.header = child(0, L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX, 0);
  tab_ = child(0, WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP, 0);
  TCITEMW item = {};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<wchar_t*>(title.c_str());
  ::SendMessageW(tab_, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  context_.pageArea = child(WS_EX_CONTROLPARENT, kPageAreaClass, L"", WS_CLIPCHILDREN, 0);
  context_.buttons[0] = child(0, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK);
  context_.buttons[1] = child(0, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL);
  context_.buttons[2] = child(0, L"BUTTON", L"&Apply", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, kApplyId);
  context_.statusBar = child(0, STATUSCLASSNAMEW, L"", 0, 0);

  // The tab's display area takes the page's size.
  const int tabTop = kMargin + kHeaderHeight + 4;
  RECT tabRect = {kMargin, tabTop, kMargin + pageSize.cx, tabTop + pageSize.cy};
  ::SendMessageW(tab_, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&tabRect));
  ::OffsetRect(&tabRect, kMargin - tabRect.left, tabTop - tabRect.top);
  RECT display = tabRect;
  ::SendMessageW(tab_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  RECT statusRect;
  ::GetWindowRect(context_.statusBar, &statusRect);
  const int statusHeight = statusRect.bottom - statusRect.top;
  const int clientWidth = tabRect.right + kMargin;
  const int buttonTop = tabRect.bottom + kMargin;
  const int clientHeight = buttonTop + kButtonHeight + kMargin + statusHeight;

  ::MoveWindow(context_.header, kMargin, kMargin, clientWidth - 2 * kMargin, kHeaderHeight, FALSE);
  ::MoveWindow(tab_, tabRect.left, tabRect.top, tabRect.right - tabRect.left, tabRect.bottom - tabRect.top, FALSE);
  ::MoveWindow(context_.pageArea, display.left, display.top, display.right - display.left, display.bottom - display.top,
               FALSE);
  ::SetWindowPos(context_.pageArea, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  for (int i = 0; i < 3; ++i)
    ::MoveWindow(context_.buttons[i], clientWidth - kMargin - (3 - i) * kButtonWidth - (2 - i) * 6, buttonTop, kButtonWidth,
                 kButtonHeight, FALSE);

  RECT outer = {0, 0, clientWidth, clientHeight};
  const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(context_.frame, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(context_.frame, GWL_EXSTYLE));
  ::AdjustWindowRectEx(&outer, style, FALSE, exStyle);
  RECT work;
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  ::SetWindowPos(context_.frame, nullptr, work.left + ((work.right - work.left) - w) / 2,
                 work.top + ((work.bottom - work.top) - h) / 2, w, h, SWP_NOZORDER);
  ::SendMessageW(context_.statusBar, WM_SIZE, 0, 0);
}

void HostFrame::showPageError(const std::wstring& text) {
  RECT area;
  ::GetClientRect(context_.pageArea, &area);
  ::InflateRect(&area, -12, -12);
  errorText_ = ::CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, area.left,
                                 area.top, area.right - area.left, area.bottom - area.top, context_.pageArea, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(errorText_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  ::SetWindowPos(errorText_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  printLine("page: " + widetext::toUtf8(text));
}

void HostFrame::closePage() {
  if (page_) {
    // Also after a failed Activate: the page may have made its dialog before failing.
    page_->Deactivate();
    pageActive_ = false;
    IUnknown* none[1] = {nullptr};
    page_->SetObjects(0, none);
    page_->SetPageSite(nullptr);
    page_.Reset();
  }
  if (statusObject_) statusObject_->detach();
  if (tokenObject_) tokenObject_->detach();
  if (site_) site_->detach();
  statusObject_.Reset();
  tokenObject_.Reset();
  site_.Reset();
  context_.status.hide();
}

void HostFrame::onTimer(UINT_PTR id) {
  ::KillTimer(context_.frame, id);
  if (id == kClickTimer) {
    HWND page = context_.pageWindow();
    if (!page) {
      printLine("click: the page shows no window");
      return;
    }
    const int control = static_cast<int>(options_.clickId);
    ::PostMessageW(page, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(page, control)));
    return;
  }
  if (id == kStepTimer) {
    UINT delay = 0;
    const int code = steps_.tick(context_.frame, context_.pageWindow(), &delay);
    if (code == StepScript::kContinue) ::SetTimer(context_.frame, kStepTimer, delay, nullptr);
    else if (code != StepScript::kDone) ::PostQuitMessage(code);
    return;
  }
  if (id == kExitTimer) {
    if (!options_.screenshot.empty()) {
      std::string error;
      const RECT area = screenshot::hostArea(context_.frame);
      if (screenshot::save(area, widetext::fromUtf8(options_.screenshot), &error)) {
        printLine("screenshot: " + options_.screenshot);
      } else {
        printLine("screenshot failed: " + error);
        exitCode_ = 4;
      }
    }
    // Ends the modal loops of any dialog that is open, then the main loop.
    ::PostQuitMessage(exitCode_);
  }
}

bool HostFrame::routeToPage(MSG* msg) {
  if (!pageActive_ || !page_) return false;
  HWND page = context_.pageWindow();
  if (!page || (msg->hwnd != page && !::IsChild(page, msg->hwnd))) return false;
  return page_->TranslateAccelerator(msg) == S_OK;
}

int HostFrame::run() {
  MSG msg;
  int code = exitCode_;
  for (;;) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      code = static_cast<int>(msg.wParam);
      break;
    }
    if (got < 0) {
      code = 5;
      break;
    }
    if (routeToPage(&msg)) continue;
    if (::IsDialogMessageW(context_.frame, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  closed_ = true;
  closePage();
  return code;
}

LRESULT CALLBACK HostFrame::frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<HostFrame*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  return self ? self->handle(window, message, wParam, lParam) : ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT HostFrame::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          if (pageActive_ && page_) page_->Apply();
          ::DestroyWindow(window);
          return 0;
        case IDCANCEL:
          ::DestroyWindow(window);
          return 0;
        case kApplyId:
          if (pageActive_ && page_) page_->Apply();
          ::EnableWindow(context_.buttons[2], FALSE);
          return 0;
      }
      break;
    case WM_TIMER:
      onTimer(wParam);
      return 0;
    case WM_CLOSE:
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      closePage();
      if (!closed_) ::PostQuitMessage(exitCode_);
      context_.frame = nullptr;
      return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}
