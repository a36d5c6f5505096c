#include "kit/PageHarness.h"

#include <gtest/gtest.h>

#include <cstring>

namespace testkit {

namespace {

const char kHostClass[] = "ZeltTestHostWindow";

bool RegisterHostClass() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &::DefWindowProcA;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kHostClass;
  registered = ::RegisterClassA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return registered;
}

}  // namespace

// ---------------------------------------------------------------- FakePageSite

HRESULT FakePageSite::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyPageSite)) {
    *out = static_cast<IPropertyPageSite*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT FakePageSite::OnStatusChange(DWORD) {
  ++statusChanges;
  return S_OK;
}

HRESULT FakePageSite::GetLocaleID(LCID* locale) {
  if (!locale) return E_POINTER;
  *locale = LOCALE_USER_DEFAULT;
  return S_OK;
}

HRESULT FakePageSite::GetPageContainer(IUnknown** container) {
  if (container) *container = nullptr;
  return E_NOTIMPL;
}

HRESULT FakePageSite::TranslateAccelerator(MSG*) { return S_FALSE; }

// ---------------------------------------------------------------- PageHarness

PageHarness::PageHarness(const ModuleUnderTest& module)
    : factory_([&module](IUnknown* outer, REFIID iid, void** out) { return module.CreatePage(outer, iid, out); }) {
  MakeWindows();
}

PageHarness::PageHarness(Factory factory) : factory_(std::move(factory)) { MakeWindows(); }

void PageHarness::MakeWindows() {
  if (!RegisterHostClass()) {
    ADD_FAILURE() << "cannot register the host window class, error " << ::GetLastError();
    return;
  }
  frame_ = ::CreateWindowExA(0, kHostClass, "Token Utility Test Frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 60,
                             640, 480, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (frame_)
    parent_ = ::CreateWindowExA(WS_EX_CONTROLPARENT, kHostClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 10,
                                10, 600, 400, frame_, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (!Ready())
    ADD_FAILURE() << "cannot create the host windows (is DISPLAY set?), error " << ::GetLastError();
}

PageHarness::~PageHarness() {
  Release();
  if (frame_) ::DestroyWindow(frame_);
}

HRESULT PageHarness::Create() {
  if (page_) return S_OK;
  return factory_(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(&page_));
}

HRESULT PageHarness::Connect(ULONG objects) {
  if (!page_) return E_UNEXPECTED;
  HRESULT hr = page_->SetPageSite(&site);
  if (FAILED(hr)) return hr;
  IUnknown* both[2] = {host.StatusObject(), host.TokenObject()};
  return page_->SetObjects(objects, both);
}

HRESULT PageHarness::Activate(const RECT& rect) {
  if (!page_) return E_UNEXPECTED;
  return page_->Activate(parent_, &rect, FALSE);
}

HRESULT PageHarness::Open() {
  HRESULT hr = Create();
  if (FAILED(hr)) return hr;
  hr = Connect();
  if (FAILED(hr)) return hr;
  return Activate();
}

HRESULT PageHarness::Deactivate() { return page_ ? page_->Deactivate() : E_UNEXPECTED; }

void PageHarness::Release() {
  if (!page_) return;
  page_->Deactivate();
  page_->SetPageSite(nullptr);
  page_->Release();
  page_ = nullptr;
}

HWND PageHarness::PageWindow() const {
  return parent_ ? ::FindWindowExA(parent_, nullptr, "#32770", nullptr) : nullptr;
}

bool PageHarness::ItemShown(int id) const {
  HWND item = Item(id);
  return item && (::GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool PageHarness::ItemEnabled(int id) const {
  HWND item = Item(id);
  return item && ::IsWindowEnabled(item);
}

std::string PageHarness::ItemText(int id) const {
  char text[512] = "";
  ::GetDlgItemTextA(PageWindow(), id, text, sizeof text);
  return text;
}

RECT PageHarness::ItemRect(int id) const {
  RECT rect = {};
  ::GetWindowRect(Item(id), &rect);
  ::MapWindowPoints(nullptr, PageWindow(), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

RECT PageHarness::DialogUnits(int left, int top, int width, int height) const {
  // As the dialog manager places a control: origin and size are converted
  // separately, so the far edge may differ by one pixel from a mapped rectangle.
  RECT origin = {left, top, left, top};
  RECT size = {0, 0, width, height};
  ::MapDialogRect(PageWindow(), &origin);
  ::MapDialogRect(PageWindow(), &size);
  return RECT{origin.left, origin.top, origin.left + size.right, origin.top + size.bottom};
}

LRESULT PageHarness::Click(int id) const {
  return ::SendMessageA(PageWindow(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
}

LRESULT PageHarness::Notify(WPARAM code, LPARAM value) const {
  return ::SendMessageA(PageWindow(), WM_TOKENPAGE_NOTIFY, code, value);
}

}  // namespace testkit
