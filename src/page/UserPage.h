#pragma once
#include <ocidl.h>
#include <windows.h>

#include "server/ComObjectRoot.h"

// The user property page. (Minimal: answers IUnknown and IPropertyPage.)
class UserPage : public ComObjectRoot, public IPropertyPage {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out);

  explicit UserPage(IUnknown* outer);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return OuterQueryInterface(iid, out); }
  ULONG STDMETHODCALLTYPE AddRef() override { return OuterAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return OuterRelease(); }

  // IPropertyPage
  HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
  HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  HRESULT STDMETHODCALLTYPE Deactivate() override;
  HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
  HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
  HRESULT STDMETHODCALLTYPE Show(UINT cmd) override;
  HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE IsPageDirty() override;
  HRESULT STDMETHODCALLTYPE Apply() override;
  HRESULT STDMETHODCALLTYPE Help(LPCOLESTR dir) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* msg) override;

 protected:
  ~UserPage() override;
  HRESULT InternalQueryInterface(REFIID iid, void** out) override;

 private:
  IPropertyPageSite* site_ = nullptr;
};
