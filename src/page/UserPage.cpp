#include "page/UserPage.h"

HRESULT UserPage::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  return ComObjectRoot::Create<UserPage>(outer, iid, out);
}

UserPage::UserPage(IUnknown* outer) : ComObjectRoot(outer) {}

UserPage::~UserPage() {
  if (site_) site_->Release();
}

HRESULT UserPage::InternalQueryInterface(REFIID iid, void** out) {
  if (IsEqualIID(iid, IID_IPropertyPage)) {
    *out = static_cast<IPropertyPage*>(this);
    OuterAddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT UserPage::SetPageSite(IPropertyPageSite* site) {
  if (site) {
    if (site_) return E_UNEXPECTED;
    site_ = site;
    site_->AddRef();
  } else if (site_) {
    site_->Release();
    site_ = nullptr;
  }
  return S_OK;
}

HRESULT UserPage::Activate(HWND, LPCRECT, BOOL) { return E_NOTIMPL; }
HRESULT UserPage::Deactivate() { return S_OK; }
HRESULT UserPage::GetPageInfo(PROPPAGEINFO*) { return E_NOTIMPL; }
HRESULT UserPage::SetObjects(ULONG, IUnknown**) { return E_NOTIMPL; }
HRESULT UserPage::Show(UINT) { return E_UNEXPECTED; }
HRESULT UserPage::Move(LPCRECT) { return E_UNEXPECTED; }
HRESULT UserPage::IsPageDirty() { return S_FALSE; }
HRESULT UserPage::Apply() { return S_OK; }
HRESULT UserPage::Help(LPCOLESTR) { return S_OK; }
HRESULT UserPage::TranslateAccelerator(MSG*) { return S_FALSE; }
