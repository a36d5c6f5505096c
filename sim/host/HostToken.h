#pragma once
// The host token interface that the page gets from the second object of SetObjects.
#include <string>

#include "HostContext.h"
#include "SecretText.h"
#include "SingleInterfaceObject.h"
#include "page/HostInterfaces.h"

class HostToken : public SingleInterfaceObject<IHostToken> {
 public:
  explicit HostToken(HostContext& context) : SingleInterfaceObject(IID_IHostToken), context_(&context) {}
  void detach() { context_ = nullptr; }

#define HOST_NOT_IMPLEMENTED(n) \
  HRESULT STDMETHODCALLTYPE Reserved##n() override { return E_NOTIMPL; }
  HOST_NOT_IMPLEMENTED(3)
  HOST_NOT_IMPLEMENTED(4)
  HOST_NOT_IMPLEMENTED(5)
  HOST_NOT_IMPLEMENTED(6)
  HOST_NOT_IMPLEMENTED(8)
  HOST_NOT_IMPLEMENTED(12)
  HOST_NOT_IMPLEMENTED(13)
  HOST_NOT_IMPLEMENTED(15)
  HOST_NOT_IMPLEMENTED(16)
  HOST_NOT_IMPLEMENTED(17)
  HOST_NOT_IMPLEMENTED(18)
  HOST_NOT_IMPLEMENTED(19)
  HOST_NOT_IMPLEMENTED(20)
  HOST_NOT_IMPLEMENTED(21)
  HOST_NOT_IMPLEMENTED(22)
  HOST_NOT_IMPLEMENTED(24)
  HOST_NOT_IMPLEMENTED(25)
  HOST_NOT_IMPLEMENTED(26)
  HOST_NOT_IMPLEMENTED(27)
  HOST_NOT_IMPLEMENTED(28)
  HOST_NOT_IMPLEMENTED(29)
  HOST_NOT_IMPLEMENTED(30)
  HOST_NOT_IMPLEMENTED(31)
  HOST_NOT_IMPLEMENTED(33)
  HOST_NOT_IMPLEMENTED(34)
  HOST_NOT_IMPLEMENTED(35)
  HOST_NOT_IMPLEMENTED(36)
  HOST_NOT_IMPLEMENTED(37)
  HOST_NOT_IMPLEMENTED(38)
  HOST_NOT_IMPLEMENTED(39)
  HOST_NOT_IMPLEMENTED(40)
  HOST_NOT_IMPLEMENTED(41)
  HOST_NOT_IMPLEMENTED(42)
  HOST_NOT_IMPLEMENTED(43)
  HOST_NOT_IMPLEMENTED(44)
  HOST_NOT_IMPLEMENTED(46)
  HOST_NOT_IMPLEMENTED(47)
  HOST_NOT_IMPLEMENTED(49)
  HOST_NOT_IMPLEMENTED(50)
  HOST_NOT_IMPLEMENTED(52)
  HOST_NOT_IMPLEMENTED(53)
#undef HOST_NOT_IMPLEMENTED

  HRESULT STDMETHODCALLTYPE AttachPage(LONG reserved) override;
  HRESULT STDMETHODCALLTYPE CloseToken() override;
  HRESULT STDMETHODCALLTYPE OpenToken(LONG reserved, LONG flag) override;
  HRESULT STDMETHODCALLTYPE GetSerialNumber(BSTR* serial) override;
  HRESULT STDMETHODCALLTYPE GetTokenId(LONG* id) override;
  HRESULT STDMETHODCALLTYPE UpdateTokenStatus() override;
  HRESULT STDMETHODCALLTYPE ChangeUserPin() override;
  HRESULT STDMETHODCALLTYPE ReportResult(HRESULT openResult) override;
  HRESULT STDMETHODCALLTYPE AskPasswordChange(BSTR* oldPassword, BSTR* newPassword) override;
  HRESULT STDMETHODCALLTYPE GetPinState(LONG* first, LONG* second) override;
  HRESULT STDMETHODCALLTYPE AskPassword(HWND owner, BSTR* password) override;

 private:
  // The old and new value of a change, from the answers or from the dialog. False: cancelled.
  bool askChange(bool pin, const std::wstring& note, SecretText* oldValue, SecretText* newValue);
  // Shows a failure of the device PIN change and says whether to ask again.
  bool pinChangeFailed(unsigned long rv, std::wstring* note);

  HostContext* context_;
};
