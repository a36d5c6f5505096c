#include "kit/PageHarness.h"

#include <gtest/gtest.h>

namespace testkit {

PageHarness::PageHarness(const ModuleUnderTest& module)
    : PageHarness([&module](IUnknown* outer, REFIID iid, void** out) { return module.CreatePage(outer, iid, out); }) {}

PageHarness::PageHarness(Factory factory) : factory_(std::move(factory)) {
  frame_ = ::CreateWindowExA(0, "STATIC", "Token Utility Test Frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 60, 640,
                             480, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (frame_)
    parent_ = ::CreateWindowExA(WS_EX_CONTROLPARENT, "STATIC", "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 10, 10,
                                600, 400, frame_, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (!Ready()) ADD_FAILURE() << "cannot create the host windows (is DISPLAY set?), error " << ::GetLastError();
}

PageHarness::~PageHarness() {
  Release();
  if (frame_) ::DestroyWindow(frame_);
}

HRESULT PageHarness::Create() {
  return page_ ? S_OK : factory_(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(&page_));
}

HRESULT PageHarness::Connect(ULONG objects) {
  HRESULT hr = page_->SetPageSite(host.Site());
  IUnknown* both[2] = {host.StatusObject(), host.TokenObject()};
  return FAILED(hr) ? hr : page_->SetObjects(objects, both);
}

HRESULT PageHarness::Activate(const RECT& rect) { return page_->Activate(parent_, &rect, FALSE); }

HRESULT PageHarness::Open() {
  HRESULT hr = Create();
  if (SUCCEEDED(hr)) hr = Connect();
  return FAILED(hr) ? hr : Activate();
}

void PageHarness::Release() {
  if (!page_) return;
  page_->Deactivate();
  page_->SetPageSite(nullptr);
  page_->Release();
  page_ = nullptr;
}

std::string PageHarness::ItemText(int id) const {
  char text[512] = "";
  ::GetDlgItemTextA(PageWindow(), id, text, sizeof text);
  return text;
}

RECT PageHarness::RectIn(HWND window, HWND in) {
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  ::MapWindowPoints(nullptr, in, reinterpret_cast<POINT*>(&rect), 2);
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
