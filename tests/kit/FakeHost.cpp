#include "kit/FakeHost.h"

#include <gtest/gtest.h>

#include <oleauto.h>

#include <algorithm>
#include <cstring>

namespace testkit {

std::string HostCall::ToString() const {
  std::string s = name + "(";
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) s += ",";
    s += std::to_string(args[i]);
  }
  return s + ")";
}

std::string Call(const char* name) { return HostCall{name, {}, {}}.ToString(); }
std::string Call(const char* name, long long a) { return HostCall{name, {a}, {}}.ToString(); }
std::string Call(const char* name, long long a, long long b) { return HostCall{name, {a, b}, {}}.ToString(); }
std::string Call(const char* name, long long a, long long b, long long c) {
  return HostCall{name, {a, b, c}, {}}.ToString();
}
long long Arg(HWND window) { return static_cast<long long>(reinterpret_cast<intptr_t>(window)); }

namespace {

BSTR Allocate(const std::wstring& text) { return ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

struct RelayTarget {
  LONG code;
  std::vector<HWND> dialogs;
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM param) {
  char name[16] = "";
  ::GetClassNameA(window, name, sizeof name);
  if (std::strcmp(name, "#32770") == 0) reinterpret_cast<RelayTarget*>(param)->dialogs.push_back(window);
  return TRUE;
}

}  // namespace

// ---------------------------------------------------------------- FakeHost

FakeHost::FakeHost() : status(*this), token(*this) {}

void FakeHost::Log(const char* name, std::vector<long long> args, std::wstring text) {
  calls.push_back(HostCall{name, std::move(args), std::move(text)});
}

std::vector<std::string> FakeHost::Trace() const {
  std::vector<std::string> trace;
  for (const HostCall& c : calls) trace.push_back(c.ToString());
  return trace;
}

std::vector<std::string> FakeHost::Names() const {
  std::vector<std::string> names;
  for (const HostCall& c : calls) names.push_back(c.name);
  return names;
}

size_t FakeHost::Count(const std::string& name) const {
  return static_cast<size_t>(
      std::count_if(calls.begin(), calls.end(), [&](const HostCall& c) { return c.name == name; }));
}

std::vector<std::string> FakeHost::TraceFrom(const std::string& name) const {
  std::vector<std::string> trace;
  bool found = false;
  for (const HostCall& c : calls) {
    found = found || c.name == name;
    if (found) trace.push_back(c.ToString());
  }
  return trace;
}

void FakeHost::Relay(LONG code) {
  if (!relayPasswordState) return;
  RelayTarget target{code, {}};
  if (relayWindow)
    target.dialogs.push_back(relayWindow);
  else if (frame)
    ::EnumChildWindows(frame, &CollectDialogs, reinterpret_cast<LPARAM>(&target));
  for (HWND dialog : target.dialogs) ::SendMessageA(dialog, WM_TOKENPAGE_NOTIFY, static_cast<WPARAM>(code), 0);
}

// ---------------------------------------------------------------- status

HRESULT FakeHostStatus::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || (host_.answersStatus && IsEqualIID(iid, IID_IHostStatus))) {
    *out = static_cast<IHostStatus*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG FakeHostStatus::AddRef() { return static_cast<ULONG>(++refs_); }

ULONG FakeHostStatus::Release() {
  EXPECT_GT(refs_, 1) << "the page released the host status object more often than it took it";
  return static_cast<ULONG>(--refs_);
}

HRESULT FakeHostStatus::Reserved(const char* name) {
  host_.Log(name);
  ADD_FAILURE() << "the page called a slot it never uses: " << name;
  return E_NOTIMPL;
}

HRESULT FakeHostStatus::SetPageFrame(HWND frame, LONG reserved) {
  host_.Log("SetPageFrame", {Arg(frame), reserved});
  host_.frame = frame;
  return host_.setPageFrameResult;
}

HRESULT FakeHostStatus::PageActivated(LONG reserved) {
  host_.Log("PageActivated", {reserved});
  return host_.pageActivatedResult;
}

HRESULT FakeHostStatus::EndTokenOperation() {
  host_.Log("EndTokenOperation");
  return S_OK;
}

HRESULT FakeHostStatus::BeginTokenOperation() {
  host_.Log("BeginTokenOperation");
  return S_OK;
}

HRESULT FakeHostStatus::Refresh(BOOL full) {
  host_.Log("Refresh", {full});
  return full ? host_.refreshFullResult : host_.refreshResult;
}

HRESULT FakeHostStatus::ReportPasswordState(LONG code, LONG tokenId) {
  host_.Log("ReportPasswordState", {code, tokenId});
  host_.Relay(code);
  return S_OK;
}

HRESULT FakeHostStatus::GetErrorText(HRESULT code, BSTR* text) {
  host_.Log("GetErrorText", {static_cast<long long>(static_cast<unsigned long>(code))});
  if (!text) return E_POINTER;
  *text = host_.hasErrorText ? Allocate(host_.errorText) : nullptr;
  return host_.errorTextResult;
}

HRESULT FakeHostStatus::ShowStatus(HWND owner, BSTR text, LONG reserved) {
  host_.Log("ShowStatus", {Arg(owner), reserved}, text ? std::wstring(text, ::SysStringLen(text)) : std::wstring());
  host_.statusShown = true;
  return host_.showStatusResult;
}

HRESULT FakeHostStatus::HideStatus() {
  host_.Log("HideStatus");
  host_.statusShown = false;
  return host_.hideStatusResult;
}

HRESULT FakeHostStatus::QueryRefreshNeeded(LONG* needed) {
  host_.Log("QueryRefreshNeeded", {needed ? *needed : -1});
  if (!needed) return E_POINTER;
  *needed = host_.refreshNeeded;
  return host_.queryRefreshNeededResult;
}

HRESULT FakeHostStatus::GetAutoRegistration(BOOL* enabled, LONG* value) {
  host_.Log("GetAutoRegistration");
  if (!enabled || !value) return E_POINTER;
  *enabled = host_.autoRegistrationEnabled;
  *value = host_.autoRegistrationValue;
  return host_.getAutoRegistrationResult;
}

HRESULT FakeHostStatus::SetAutoRegistration(BOOL enabled) {
  host_.Log("SetAutoRegistration", {enabled});
  return host_.setAutoRegistrationResult;
}

HRESULT FakeHostStatus::IsAutoRegistrationOffered(LONG* offered) {
  // The logged argument is the flag as the page preset it.
  host_.Log("IsAutoRegistrationOffered", {offered ? *offered : -1});
  if (!offered) return E_POINTER;
  *offered = host_.autoRegistrationOffered;
  return host_.isAutoRegistrationOfferedResult;
}

// ---------------------------------------------------------------- token

HRESULT FakeHostToken::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || (host_.answersToken && IsEqualIID(iid, IID_IHostToken))) {
    *out = static_cast<IHostToken*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG FakeHostToken::AddRef() { return static_cast<ULONG>(++refs_); }

ULONG FakeHostToken::Release() {
  EXPECT_GT(refs_, 1) << "the page released the host token object more often than it took it";
  return static_cast<ULONG>(--refs_);
}

HRESULT FakeHostToken::Reserved(const char* name) {
  host_.Log(name);
  ADD_FAILURE() << "the page called a slot it never uses: " << name;
  return E_NOTIMPL;
}

HRESULT FakeHostToken::AttachPage(LONG reserved) {
  host_.Log("AttachPage", {reserved});
  return host_.attachPageResult;
}

HRESULT FakeHostToken::CloseToken() {
  host_.Log("CloseToken");
  return host_.closeTokenResult;
}

HRESULT FakeHostToken::OpenToken(LONG reserved, LONG flag) {
  host_.Log("OpenToken", {reserved, flag});
  return host_.openTokenResult;
}

HRESULT FakeHostToken::GetSerialNumber(BSTR* serial) {
  host_.Log("GetSerialNumber");
  if (!serial) return E_POINTER;
  *serial = host_.hasSerial ? Allocate(host_.serial) : nullptr;
  return host_.getSerialNumberResult;
}

HRESULT FakeHostToken::GetTokenId(LONG* id) {
  host_.Log("GetTokenId");
  if (!id) return E_POINTER;
  *id = host_.tokenId;
  return host_.getTokenIdResult;
}

HRESULT FakeHostToken::UpdateTokenStatus() {
  host_.Log("UpdateTokenStatus");
  return host_.updateTokenStatusResult;
}

HRESULT FakeHostToken::ChangeUserPin() {
  host_.Log("ChangeUserPin");
  return host_.changeUserPinResult;
}

HRESULT FakeHostToken::ReportResult(HRESULT openResult) {
  host_.Log("ReportResult", {static_cast<long long>(static_cast<unsigned long>(openResult))});
  return host_.reportResultOverride ? host_.reportResultValue : openResult;
}

HRESULT FakeHostToken::AskPasswordChange(BSTR* oldPassword, BSTR* newPassword) {
  host_.Log("AskPasswordChange");
  if (!oldPassword || !newPassword) return E_POINTER;
  *oldPassword = Allocate(host_.oldPassword);
  *newPassword = host_.nullNewPassword ? nullptr : Allocate(host_.newPassword);
  return host_.askPasswordChangeResult;
}

HRESULT FakeHostToken::GetPinState(LONG* first, LONG* second) {
  // The logged arguments are the values as the page preset them.
  host_.Log("GetPinState", {first ? *first : -1, second ? *second : -1});
  if (!first || !second) return E_POINTER;
  *first = host_.pinFirst;
  *second = host_.pinSecond;
  return host_.getPinStateResult;
}

HRESULT FakeHostToken::AskPassword(HWND owner, BSTR* password) {
  host_.Log("AskPassword", {Arg(owner)});
  if (!password) return E_POINTER;
  *password = Allocate(host_.password);
  return host_.askPasswordResult;
}

}  // namespace testkit
