#pragma once
// A stand-in for the host application: its page site, and the two objects a
// host hands a page through SetObjects, one answering the host status
// interface and one the host token interface. Each is a table of slots by
// number, the layout a host built elsewhere has; a slot the page never uses
// fails the test. Every call is logged in order with its arguments; results
// and out values are programmable through the public fields of FakeHost.
#include <ocidl.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "page/HostInterfaces.h"

namespace testkit {

struct HostCall {
  std::string name;
  std::vector<long long> args;  // numbers and handles, in argument order
  std::wstring text;            // the wide text of ShowStatus
  // "Name(a,b)", the form the traces compare.
  std::string ToString() const;
};

// "Name(a,b)" for expected traces: Call("OpenToken", 0, 1).
template <typename... Args>
std::string Call(const char* name, Args... args) {
  return HostCall{name, {static_cast<long long>(args)...}, {}}.ToString();
}
long long Arg(HWND window);

class FakeHost;

// One host object: its slot table first, as a COM object starts.
struct FakeObject {
  void* const* slots;
  FakeHost& host;
  const IID* iid;       // answered by QueryInterface, with IID_IUnknown...
  const bool* answers;  // ...while this holds
  LONG refs = 1;        // the FakeHost's own
};

class FakeHost {
 public:
  FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // The objects to hand to SetObjects: status first, token second.
  IUnknown* StatusObject() { return reinterpret_cast<IUnknown*>(&status); }
  IUnknown* TokenObject() { return reinterpret_cast<IUnknown*>(&token); }
  // The page site, whose methods the page never calls.
  IPropertyPageSite* Site() { return reinterpret_cast<IPropertyPageSite*>(&site); }

  // --- what reached the host ---
  std::vector<HostCall> calls;
  std::vector<std::string> Trace() const;       // every call as "Name(a,b)"
  size_t Count(const std::string& name) const;  // calls of one operation
  std::vector<std::wstring> StatusTexts() const;  // the texts of ShowStatus, in order
  void Clear() { calls.clear(); }
  // True while a ShowStatus text is shown (no HideStatus after it).
  bool statusShown = false;
  // From SetPageFrame; ReportPasswordState is relayed with the same code, as
  // the real host does, to every dialog below it.
  HWND frame = nullptr;

  // --- status interface answers ---
  bool answersStatus = true;         // QueryInterface for IID_IHostStatus
  HRESULT refreshFullResult = S_OK;  // Refresh(TRUE)
  LONG refreshNeeded = 0;            // QueryRefreshNeeded's flag
  // GetErrorText: the text is handed out (when hasErrorText) whatever the result.
  HRESULT errorTextResult = E_FAIL;
  bool hasErrorText = false;
  std::wstring errorText;
  BOOL autoRegistrationEnabled = FALSE;
  LONG autoRegistrationOffered = 1;

  // --- token interface answers ---
  bool answersToken = true;  // QueryInterface for IID_IHostToken
  HRESULT attachPageResult = S_OK;
  HRESULT openTokenResult = S_OK;
  std::wstring serial = L"0123ABCD";
  LONG tokenId = 0x51;
  HRESULT changeUserPinResult = S_OK;
  std::optional<HRESULT> reportResult;  // ReportResult's answer, when not its argument
  HRESULT askPasswordChangeResult = S_OK;
  std::wstring oldPassword = L"old-password";
  std::wstring newPassword = L"new-password";
  HRESULT getPinStateResult = S_OK;
  LONG pinFirst = 1;
  LONG pinSecond = 0;
  HRESULT askPasswordResult = S_OK;
  std::wstring password = L"password";

  FakeObject status;
  FakeObject token;
  FakeObject site;

  HRESULT Log(HRESULT result, const char* name, std::vector<long long> args = {}, std::wstring text = {});
};

}  // namespace testkit
