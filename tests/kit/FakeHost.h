#pragma once
// A stand-in for the host application: the two objects a host hands a page
// through SetObjects, one answering the host status interface and one the host
// token interface. Every call is logged in order with its arguments; results
// and out values are programmable through the public fields of FakeHost.
#include <windows.h>

#include <string>
#include <vector>

#include "page/HostInterfaces.h"

namespace testkit {

struct HostCall {
  std::string name;
  std::vector<long long> args;  // numbers and handles, in argument order
  std::wstring text;            // the wide text of ShowStatus
  // "Name(a,b)", the form the trace helpers compare.
  std::string ToString() const;
};

// "Name(a,b)" for expected traces: Call("OpenToken", 0, 1).
std::string Call(const char* name);
std::string Call(const char* name, long long a);
std::string Call(const char* name, long long a, long long b);
std::string Call(const char* name, long long a, long long b, long long c);
long long Arg(HWND window);

class FakeHost;

class FakeHostStatus final : public IHostStatus {
 public:
  explicit FakeHostStatus(FakeHost& host) : host_(host) {}
  LONG refs() const { return refs_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

#define FAKE_RESERVED(n) \
  HRESULT STDMETHODCALLTYPE Reserved##n() override { return Reserved("IHostStatus::Reserved" #n); }
  FAKE_RESERVED(3)
  FAKE_RESERVED(4)
  FAKE_RESERVED(5)
  FAKE_RESERVED(6)
  FAKE_RESERVED(7)
  HRESULT STDMETHODCALLTYPE SetPageFrame(HWND frame, LONG reserved) override;
  FAKE_RESERVED(9)
  FAKE_RESERVED(10)
  FAKE_RESERVED(11)
  HRESULT STDMETHODCALLTYPE PageActivated(LONG reserved) override;
  HRESULT STDMETHODCALLTYPE EndTokenOperation() override;
  HRESULT STDMETHODCALLTYPE BeginTokenOperation() override;
  FAKE_RESERVED(15)
  FAKE_RESERVED(16)
  FAKE_RESERVED(17)
  FAKE_RESERVED(18)
  FAKE_RESERVED(19)
  HRESULT STDMETHODCALLTYPE Refresh(BOOL full) override;
  FAKE_RESERVED(21)
  FAKE_RESERVED(22)
  FAKE_RESERVED(23)
  HRESULT STDMETHODCALLTYPE ReportPasswordState(LONG code, LONG tokenId) override;
  HRESULT STDMETHODCALLTYPE GetErrorText(HRESULT code, BSTR* text) override;
  FAKE_RESERVED(26)
  HRESULT STDMETHODCALLTYPE ShowStatus(HWND owner, BSTR text, LONG reserved) override;
  HRESULT STDMETHODCALLTYPE HideStatus() override;
  HRESULT STDMETHODCALLTYPE QueryRefreshNeeded(LONG* needed) override;
  HRESULT STDMETHODCALLTYPE GetAutoRegistration(BOOL* enabled, LONG* value) override;
  HRESULT STDMETHODCALLTYPE SetAutoRegistration(BOOL enabled) override;
  HRESULT STDMETHODCALLTYPE IsAutoRegistrationOffered(LONG* offered) override;

 private:
  HRESULT Reserved(const char* name);
  FakeHost& host_;
  LONG refs_ = 1;  // the FakeHost's own
};

class FakeHostToken final : public IHostToken {
 public:
  explicit FakeHostToken(FakeHost& host) : host_(host) {}
  LONG refs() const { return refs_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  FAKE_RESERVED(3)
  FAKE_RESERVED(4)
  FAKE_RESERVED(5)
  FAKE_RESERVED(6)
  HRESULT STDMETHODCALLTYPE AttachPage(LONG reserved) override;
  FAKE_RESERVED(8)
  HRESULT STDMETHODCALLTYPE CloseToken() override;
  HRESULT STDMETHODCALLTYPE OpenToken(LONG reserved, LONG flag) override;
  HRESULT STDMETHODCALLTYPE GetSerialNumber(BSTR* serial) override;
  FAKE_RESERVED(12)
  FAKE_RESERVED(13)
  HRESULT STDMETHODCALLTYPE GetTokenId(LONG* id) override;
  FAKE_RESERVED(15)
  FAKE_RESERVED(16)
  FAKE_RESERVED(17)
  FAKE_RESERVED(18)
  FAKE_RESERVED(19)
  FAKE_RESERVED(20)
  FAKE_RESERVED(21)
  FAKE_RESERVED(22)
  HRESULT STDMETHODCALLTYPE UpdateTokenStatus() override;
  FAKE_RESERVED(24)
  FAKE_RESERVED(25)
  FAKE_RESERVED(26)
  FAKE_RESERVED(27)
  FAKE_RESERVED(28)
  FAKE_RESERVED(29)
  FAKE_RESERVED(30)
  FAKE_RESERVED(31)
  HRESULT STDMETHODCALLTYPE ChangeUserPin() override;
  FAKE_RESERVED(33)
  FAKE_RESERVED(34)
  FAKE_RESERVED(35)
  FAKE_RESERVED(36)
  FAKE_RESERVED(37)
  FAKE_RESERVED(38)
  FAKE_RESERVED(39)
  FAKE_RESERVED(40)
  FAKE_RESERVED(41)
  FAKE_RESERVED(42)
  FAKE_RESERVED(43)
  FAKE_RESERVED(44)
  HRESULT STDMETHODCALLTYPE ReportResult(HRESULT openResult) override;
  FAKE_RESERVED(46)
  FAKE_RESERVED(47)
  HRESULT STDMETHODCALLTYPE AskPasswordChange(BSTR* oldPassword, BSTR* newPassword) override;
  FAKE_RESERVED(49)
  FAKE_RESERVED(50)
  HRESULT STDMETHODCALLTYPE GetPinState(LONG* first, LONG* second) override;
  FAKE_RESERVED(52)
  FAKE_RESERVED(53)
  HRESULT STDMETHODCALLTYPE AskPassword(HWND owner, BSTR* password) override;
#undef FAKE_RESERVED

 private:
  HRESULT Reserved(const char* name);
  FakeHost& host_;
  LONG refs_ = 1;
};

class FakeHost {
 public:
  FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // The objects to hand to SetObjects: status first, token second.
  IUnknown* StatusObject() { return &status; }
  IUnknown* TokenObject() { return &token; }

  // --- what reached the host ---
  std::vector<HostCall> calls;
  std::vector<std::string> Trace() const;           // every call as "Name(a,b)"
  std::vector<std::string> Names() const;           // every call's name
  size_t Count(const std::string& name) const;      // calls of one operation
  // The trace from the first call named `name` on (empty when there is none).
  std::vector<std::string> TraceFrom(const std::string& name) const;
  void Clear() { calls.clear(); }
  // True while a ShowStatus text is shown (no HideStatus after it).
  bool statusShown = false;
  HWND frame = nullptr;  // from SetPageFrame

  // --- status interface answers ---
  bool answersStatus = true;  // QueryInterface for IID_IHostStatus
  HRESULT setPageFrameResult = S_OK;
  HRESULT pageActivatedResult = S_OK;
  HRESULT refreshFullResult = S_OK;     // Refresh(TRUE)
  HRESULT refreshResult = S_OK;         // Refresh(FALSE)
  LONG refreshNeeded = 0;               // QueryRefreshNeeded's flag
  HRESULT queryRefreshNeededResult = S_OK;
  // ReportPasswordState is relayed to the page as WM_TOKENPAGE_NOTIFY with the
  // same code, as the real host does: to relayWindow when set, else to every
  // dialog below the frame given to SetPageFrame.
  bool relayPasswordState = true;
  HWND relayWindow = nullptr;
  // GetErrorText: the text is handed out (when hasErrorText) whatever the result.
  HRESULT errorTextResult = E_FAIL;
  bool hasErrorText = false;
  std::wstring errorText;
  HRESULT showStatusResult = S_OK;
  HRESULT hideStatusResult = S_OK;
  BOOL autoRegistrationEnabled = FALSE;
  LONG autoRegistrationValue = 0;
  HRESULT getAutoRegistrationResult = S_OK;
  HRESULT setAutoRegistrationResult = S_OK;
  LONG autoRegistrationOffered = 1;
  HRESULT isAutoRegistrationOfferedResult = S_OK;

  // --- token interface answers ---
  bool answersToken = true;  // QueryInterface for IID_IHostToken
  HRESULT attachPageResult = S_OK;
  HRESULT openTokenResult = S_OK;
  HRESULT closeTokenResult = S_OK;
  bool hasSerial = true;
  std::wstring serial = L"0123ABCD";
  HRESULT getSerialNumberResult = S_OK;
  LONG tokenId = 0x51;
  HRESULT getTokenIdResult = S_OK;
  HRESULT updateTokenStatusResult = S_OK;
  HRESULT changeUserPinResult = S_OK;
  // ReportResult answers its argument unless reportResultOverride is set.
  bool reportResultOverride = false;
  HRESULT reportResultValue = S_OK;
  HRESULT askPasswordChangeResult = S_OK;
  std::wstring oldPassword = L"old-password";
  std::wstring newPassword = L"new-password";
  bool nullNewPassword = false;  // hand out a null new password
  HRESULT getPinStateResult = S_OK;
  LONG pinFirst = 1;
  LONG pinSecond = 0;
  HRESULT askPasswordResult = S_OK;
  std::wstring password = L"password";

  FakeHostStatus status;
  FakeHostToken token;

  void Log(const char* name, std::vector<long long> args = {}, std::wstring text = std::wstring());
  void Relay(LONG code);
};

}  // namespace testkit
