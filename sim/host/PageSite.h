#pragma once
// The frame's IPropertyPageSite: the page reports a change of its dirty state through it.
#include <ocidl.h>

#include "SingleInterfaceObject.h"

class PageSite : public SingleInterfaceObject<IPropertyPageSite> {
 public:
  // `apply` is enabled while the page reports changes to apply.
  explicit PageSite(HWND apply) : SingleInterfaceObject(IID_IPropertyPageSite), apply_(apply) {}
  void detach() { apply_ = nullptr; }

  HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) override {
    if (apply_ && (flags & PROPPAGESTATUS_DIRTY)) ::EnableWindow(apply_, TRUE);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* locale) override {
    if (!locale) return E_POINTER;
    *locale = ::GetUserDefaultLCID();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown** container) override {
    if (container) *container = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }

 private:
  HWND apply_;
};
