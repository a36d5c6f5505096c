#include "kit/FakeHost.h"

#include <gtest/gtest.h>

#include <oleauto.h>

#include <algorithm>
#include <array>
#include <utility>

#include "kit/ModalDriver.h"

namespace testkit {

std::string HostCall::ToString() const {
  std::string s = name + "(";
  for (size_t i = 0; i < args.size(); ++i) s += (i ? "," : "") + std::to_string(args[i]);
  return s + ")";
}

long long Arg(HWND window) { return static_cast<long long>(reinterpret_cast<intptr_t>(window)); }

HRESULT FakeHost::Log(HRESULT result, const char* name, std::vector<long long> args, std::wstring text) {
  calls.push_back(HostCall{name, std::move(args), std::move(text)});
  return result;
}

std::vector<std::string> FakeHost::Trace() const {
  std::vector<std::string> trace;
  for (const HostCall& c : calls) trace.push_back(c.ToString());
  return trace;
}

size_t FakeHost::Count(const std::string& name) const {
  return static_cast<size_t>(
      std::count_if(calls.begin(), calls.end(), [&](const HostCall& c) { return c.name == name; }));
}

std::vector<std::wstring> FakeHost::StatusTexts() const {
  std::vector<std::wstring> texts;
  for (const HostCall& c : calls)
    if (c.name == "ShowStatus") texts.push_back(c.text);
  return texts;
}

namespace {

// The slots take the object first, as a COM method takes its this pointer.
using Self = FakeObject*;

BSTR Allocate(const std::wstring& text) { return ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

long long Unsigned(HRESULT code) { return static_cast<long long>(static_cast<unsigned long>(code)); }

HRESULT STDMETHODCALLTYPE QueryInterface(Self s, REFIID iid, void** out) {
  const bool known = IsEqualIID(iid, IID_IUnknown) || (*s->answers && IsEqualIID(iid, *s->iid));
  *out = known ? s : nullptr;
  if (known) ++s->refs;
  return known ? S_OK : E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE AddRef(Self s) { return static_cast<ULONG>(++s->refs); }

ULONG STDMETHODCALLTYPE Release(Self s) {
  EXPECT_GT(s->refs, 1) << "the page released a host object more often than it took it";
  return static_cast<ULONG>(--s->refs);
}

// A reserved slot: its number in the log, and a failure of the test.
template <size_t N>
HRESULT STDMETHODCALLTYPE Reserved(Self s) {
  ADD_FAILURE() << "the page called reserved slot " << N;
  return s->host.Log(E_NOTIMPL, ("Reserved" + std::to_string(N)).c_str());
}

template <typename Fn>
void* Slot(Fn fn) { return reinterpret_cast<void*>(fn); }

// A table of `sizeof...(N)` slots: IUnknown's three, and reserved ones for the caller to replace.
template <size_t... N>
std::array<void*, sizeof...(N)> Table(std::index_sequence<N...>) {
  std::array<void*, sizeof...(N)> slots = {Slot(&Reserved<N>)...};
  slots[0] = Slot(&QueryInterface);
  slots[1] = Slot(&AddRef);
  slots[2] = Slot(&Release);
  return slots;
}


HRESULT STDMETHODCALLTYPE SetPageFrame(Self s, HWND frame, LONG reserved) {
  s->host.frame = frame;
  return s->host.Log(S_OK, "SetPageFrame", {Arg(frame), reserved});
}

HRESULT STDMETHODCALLTYPE PageActivated(Self s, LONG reserved) {
  return s->host.Log(S_OK, "PageActivated", {reserved});
}

HRESULT STDMETHODCALLTYPE EndTokenOperation(Self s) { return s->host.Log(S_OK, "EndTokenOperation"); }

HRESULT STDMETHODCALLTYPE BeginTokenOperation(Self s) { return s->host.Log(S_OK, "BeginTokenOperation"); }

HRESULT STDMETHODCALLTYPE Refresh(Self s, BOOL full) {
  return s->host.Log(full ? s->host.refreshFullResult : S_OK, "Refresh", {full});
}

BOOL CALLBACK RelayToDialog(HWND window, LPARAM code) {
  if (IsDialog(window)) ::SendMessageA(window, WM_TOKENPAGE_NOTIFY, static_cast<WPARAM>(code), 0);
  return TRUE;
}

HRESULT STDMETHODCALLTYPE ReportPasswordState(Self s, LONG code, LONG tokenId) {
  s->host.Log(S_OK, "ReportPasswordState", {code, tokenId});
  if (s->host.frame) ::EnumChildWindows(s->host.frame, &RelayToDialog, code);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetErrorText(Self s, HRESULT code, BSTR* text) {
  *text = s->host.hasErrorText ? Allocate(s->host.errorText) : nullptr;
  return s->host.Log(s->host.errorTextResult, "GetErrorText", {Unsigned(code)});
}

HRESULT STDMETHODCALLTYPE ShowStatus(Self s, HWND owner, BSTR text, LONG reserved) {
  s->host.statusShown = true;
  return s->host.Log(S_OK, "ShowStatus", {Arg(owner), reserved},
                     text ? std::wstring(text, ::SysStringLen(text)) : std::wstring());
}

HRESULT STDMETHODCALLTYPE HideStatus(Self s) {
  s->host.statusShown = false;
  return s->host.Log(S_OK, "HideStatus");
}

// The logged argument is the flag as the page preset it.
HRESULT STDMETHODCALLTYPE QueryRefreshNeeded(Self s, LONG* needed) {
  s->host.Log(S_OK, "QueryRefreshNeeded", {*needed});
  *needed = s->host.refreshNeeded;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetAutoRegistration(Self s, BOOL* enabled, LONG* value) {
  *enabled = s->host.autoRegistrationEnabled;
  *value = 0;
  return s->host.Log(S_OK, "GetAutoRegistration");
}

HRESULT STDMETHODCALLTYPE SetAutoRegistration(Self s, BOOL enabled) {
  return s->host.Log(S_OK, "SetAutoRegistration", {enabled});
}

HRESULT STDMETHODCALLTYPE IsAutoRegistrationOffered(Self s, LONG* offered) {
  s->host.Log(S_OK, "IsAutoRegistrationOffered", {*offered});
  *offered = s->host.autoRegistrationOffered;
  return S_OK;
}


HRESULT STDMETHODCALLTYPE AttachPage(Self s, LONG reserved) {
  return s->host.Log(s->host.attachPageResult, "AttachPage", {reserved});
}

HRESULT STDMETHODCALLTYPE CloseToken(Self s) { return s->host.Log(S_OK, "CloseToken"); }

HRESULT STDMETHODCALLTYPE OpenToken(Self s, LONG reserved, LONG flag) {
  return s->host.Log(s->host.openTokenResult, "OpenToken", {reserved, flag});
}

HRESULT STDMETHODCALLTYPE GetSerialNumber(Self s, BSTR* serial) {
  *serial = Allocate(s->host.serial);
  return s->host.Log(S_OK, "GetSerialNumber");
}

HRESULT STDMETHODCALLTYPE GetTokenId(Self s, LONG* id) {
  *id = s->host.tokenId;
  return s->host.Log(S_OK, "GetTokenId");
}

HRESULT STDMETHODCALLTYPE UpdateTokenStatus(Self s) { return s->host.Log(S_OK, "UpdateTokenStatus"); }

HRESULT STDMETHODCALLTYPE ChangeUserPin(Self s) { return s->host.Log(s->host.changeUserPinResult, "ChangeUserPin"); }

HRESULT STDMETHODCALLTYPE ReportResult(Self s, HRESULT openResult) {
  return s->host.Log(s->host.reportResult.value_or(openResult), "ReportResult", {Unsigned(openResult)});
}

HRESULT STDMETHODCALLTYPE AskPasswordChange(Self s, BSTR* oldPassword, BSTR* newPassword) {
  *oldPassword = Allocate(s->host.oldPassword);
  *newPassword = Allocate(s->host.newPassword);
  return s->host.Log(s->host.askPasswordChangeResult, "AskPasswordChange");
}

// The logged arguments are the values as the page preset them.
HRESULT STDMETHODCALLTYPE GetPinState(Self s, LONG* first, LONG* second) {
  s->host.Log(S_OK, "GetPinState", {*first, *second});
  *first = s->host.pinFirst;
  *second = s->host.pinSecond;
  return s->host.getPinStateResult;
}

HRESULT STDMETHODCALLTYPE AskPassword(Self s, HWND owner, BSTR* password) {
  *password = Allocate(s->host.password);
  return s->host.Log(s->host.askPasswordResult, "AskPassword", {Arg(owner)});
}

// The slot numbers of the host's interfaces, counted from QueryInterface.
std::array<void*, 33> StatusTable() {
  auto slots = Table(std::make_index_sequence<33>());
  slots[8] = Slot(&SetPageFrame);
  slots[12] = Slot(&PageActivated);
  slots[13] = Slot(&EndTokenOperation);
  slots[14] = Slot(&BeginTokenOperation);
  slots[20] = Slot(&Refresh);
  slots[24] = Slot(&ReportPasswordState);
  slots[25] = Slot(&GetErrorText);
  slots[27] = Slot(&ShowStatus);
  slots[28] = Slot(&HideStatus);
  slots[29] = Slot(&QueryRefreshNeeded);
  slots[30] = Slot(&GetAutoRegistration);
  slots[31] = Slot(&SetAutoRegistration);
  slots[32] = Slot(&IsAutoRegistrationOffered);
  return slots;
}

std::array<void*, 55> TokenTable() {
  auto slots = Table(std::make_index_sequence<55>());
  slots[7] = Slot(&AttachPage);
  slots[9] = Slot(&CloseToken);
  slots[10] = Slot(&OpenToken);
  slots[11] = Slot(&GetSerialNumber);
  slots[14] = Slot(&GetTokenId);
  slots[23] = Slot(&UpdateTokenStatus);
  slots[32] = Slot(&ChangeUserPin);
  slots[45] = Slot(&ReportResult);
  slots[48] = Slot(&AskPasswordChange);
  slots[51] = Slot(&GetPinState);
  slots[54] = Slot(&AskPassword);
  return slots;
}

const std::array<void*, 33> kStatusSlots = StatusTable();
const std::array<void*, 55> kTokenSlots = TokenTable();
const std::array<void*, 7> kSiteSlots = Table(std::make_index_sequence<7>());
const bool kAnswers = true;

}  // namespace

FakeHost::FakeHost()
    : status{kStatusSlots.data(), *this, &IID_IHostStatus, &answersStatus},
      token{kTokenSlots.data(), *this, &IID_IHostToken, &answersToken},
      site{kSiteSlots.data(), *this, &IID_IPropertyPageSite, &kAnswers} {}

}  // namespace testkit

