#pragma once
// The host status interface that the page gets from the first object of SetObjects.
#include "HostContext.h"
#include "SingleInterfaceObject.h"
#include "page/HostInterfaces.h"

class HostStatus : public SingleInterfaceObject<IHostStatus> {
 public:
  explicit HostStatus(HostContext& context) : SingleInterfaceObject(IID_IHostStatus), context_(&context) {}
  // The frame goes before the page lets go of this object: calls after that fail.
  void detach() { context_ = nullptr; }

#define HOST_NOT_IMPLEMENTED(n) \
  HRESULT STDMETHODCALLTYPE Reserved##n() override { return E_NOTIMPL; }
  HOST_NOT_IMPLEMENTED(3)
  HOST_NOT_IMPLEMENTED(4)
  HOST_NOT_IMPLEMENTED(5)
  HOST_NOT_IMPLEMENTED(6)
  HOST_NOT_IMPLEMENTED(7)
  HOST_NOT_IMPLEMENTED(9)
  HOST_NOT_IMPLEMENTED(10)
  HOST_NOT_IMPLEMENTED(11)
  HOST_NOT_IMPLEMENTED(15)
  HOST_NOT_IMPLEMENTED(16)
  HOST_NOT_IMPLEMENTED(17)
  HOST_NOT_IMPLEMENTED(18)
  HOST_NOT_IMPLEMENTED(19)
  HOST_NOT_IMPLEMENTED(21)
  HOST_NOT_IMPLEMENTED(22)
  HOST_NOT_IMPLEMENTED(23)
  HOST_NOT_IMPLEMENTED(26)
#undef HOST_NOT_IMPLEMENTED

  HRESULT STDMETHODCALLTYPE SetPageFrame(HWND frame, LONG reserved) override;
  HRESULT STDMETHODCALLTYPE PageActivated(LONG reserved) override;
  HRESULT STDMETHODCALLTYPE EndTokenOperation() override;
  HRESULT STDMETHODCALLTYPE BeginTokenOperation() override;
  HRESULT STDMETHODCALLTYPE Refresh(BOOL full) override;
  HRESULT STDMETHODCALLTYPE ReportPasswordState(LONG code, LONG tokenId) override;
  HRESULT STDMETHODCALLTYPE GetErrorText(HRESULT code, BSTR* text) override;
  HRESULT STDMETHODCALLTYPE ShowStatus(HWND owner, BSTR text, LONG reserved) override;
  HRESULT STDMETHODCALLTYPE HideStatus() override;
  HRESULT STDMETHODCALLTYPE QueryRefreshNeeded(LONG* needed) override;
  HRESULT STDMETHODCALLTYPE GetAutoRegistration(BOOL* enabled, LONG* value) override;
  HRESULT STDMETHODCALLTYPE SetAutoRegistration(BOOL enabled) override;
  HRESULT STDMETHODCALLTYPE IsAutoRegistrationOffered(LONG* offered) override;

 private:
  HostContext* context_;
};
