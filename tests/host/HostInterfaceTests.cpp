// The host's interface objects as the page sees them: through the slots of their tables.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostContext.h"
#include "HostStatus.h"
#include "HostToken.h"
#include "kit/Registry.h"
#include "model/ComPtr.h"
#include "model/ScopedBstr.h"
#include "page/HostInterfaces.h"

namespace {

const wchar_t kTestKey[] = L"Software\\Zelt Tests\\Token Utility host";

// Calls a slot of a COM table by number, as the page's compiled code does.
template <typename Fn>
Fn slot(void* object, int index) {
  return reinterpret_cast<Fn>((*reinterpret_cast<void***>(object))[index]);
}

class HostObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::DeleteKeyTree(HKEY_CURRENT_USER, kTestKey);
    context_.settings = HostSettings(kTestKey);
    status_ = ComPtr<HostStatus>::Adopt(new HostStatus(context_));
    token_ = ComPtr<HostToken>::Adopt(new HostToken(context_));
  }
  void TearDown() override { testkit::DeleteKeyTree(HKEY_CURRENT_USER, kTestKey); }

  HostContext context_;
  ComPtr<HostStatus> status_;
  ComPtr<HostToken> token_;
};

TEST_F(HostObjects, ErrorTextDescribesMappedCryptokiAndSystemCodesThroughSlot25AndRefusesUnknownOnes) {
  using GetErrorTextFn = HRESULT(STDMETHODCALLTYPE*)(void*, HRESULT, BSTR*);
  ScopedBstr text;
  HRESULT hr = slot<GetErrorTextFn>(status_.Get(), 25)(status_.Get(), static_cast<HRESULT>(0xB00100A0), text.Receive());
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  ASSERT_NE(nullptr, text.Get());
  std::wstring words = text.Get();
  EXPECT_NE(std::wstring::npos, words.find(L"The password is incorrect.")) << words;
  EXPECT_NE(std::wstring::npos, words.find(L"CKR_PIN_INCORRECT")) << words;
  EXPECT_NE(std::wstring::npos, words.find(L"0xB00100A0")) << words;

  EXPECT_EQ(S_OK, status_->GetErrorText(static_cast<HRESULT>(0xB00100E0), text.Receive()));
  EXPECT_NE(std::wstring::npos, std::wstring(text.Get()).find(L"The token is not connected.")) << text.Get();

  // System codes are described too.
  hr = status_->GetErrorText(E_ACCESSDENIED, text.Receive());
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  words = text.Get();
  EXPECT_GT(words.size(), std::wstring(L"\n(Error code 0x80070005)").size()) << "some words before the code";
  EXPECT_NE(std::wstring::npos, words.find(L"0x80070005")) << words;

  // Unknown: the page then shows the code itself.
  hr = status_->GetErrorText(static_cast<HRESULT>(0x2BADF00D), text.Receive());
  EXPECT_EQ(E_FAIL, hr) << std::hex << hr;
  EXPECT_EQ(nullptr, text.Get());
}

TEST_F(HostObjects, AutoRegistrationFlagIsKeptInTheHostsRegistryKey) {
  BOOL enabled = FALSE;
  LONG ignored = 77;
  ASSERT_EQ(S_OK, status_->GetAutoRegistration(&enabled, &ignored));
  EXPECT_TRUE(enabled) << "enabled until the user turns it off";

  using SetFn = HRESULT(STDMETHODCALLTYPE*)(void*, BOOL);
  ASSERT_EQ(S_OK, slot<SetFn>(status_.Get(), 31)(status_.Get(), FALSE));
  DWORD stored = 99;
  ASSERT_TRUE(testkit::ReadDword(HKEY_CURRENT_USER, kTestKey, L"AutoRegistration", &stored));
  EXPECT_EQ(0u, stored);
  ASSERT_EQ(S_OK, status_->GetAutoRegistration(&enabled, &ignored));
  EXPECT_FALSE(enabled);

  // A second host (a later run) reads what the first stored.
  HostContext later;
  later.settings = HostSettings(kTestKey);
  ComPtr<HostStatus> again = ComPtr<HostStatus>::Adopt(new HostStatus(later));
  ASSERT_EQ(S_OK, again->GetAutoRegistration(&enabled, &ignored));
  EXPECT_FALSE(enabled);
}

TEST_F(HostObjects, AutoRegistrationIsOfferedUnlessTheOptionOrTheRegistrySaysNo) {
  using OfferedFn = HRESULT(STDMETHODCALLTYPE*)(void*, LONG*);
  LONG offered = 0;
  ASSERT_EQ(S_OK, slot<OfferedFn>(status_.Get(), 32)(status_.Get(), &offered));
  EXPECT_NE(0, offered);

  context_.offerAutoRegistration = false;  // --no-auto-registration
  offered = 1;
  ASSERT_EQ(S_OK, status_->IsAutoRegistrationOffered(&offered));
  EXPECT_EQ(0, offered);

  context_.offerAutoRegistration = true;
  ASSERT_EQ(ERROR_SUCCESS, context_.settings.setAutoRegistrationOffered(false));
  offered = 1;
  ASSERT_EQ(S_OK, status_->IsAutoRegistrationOffered(&offered));
  EXPECT_EQ(0, offered);
}

// A stand-in for the page's dialog: records the notifications it is sent.
std::vector<std::pair<WPARAM, LPARAM>> gNotifications;
INT_PTR CALLBACK recordingProc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TOKENPAGE_NOTIFY) gNotifications.emplace_back(wParam, lParam);
  return message == WM_INITDIALOG;
}

TEST_F(HostObjects, ReportPasswordStateSendsTheSameCodeToThePageWindow) {
  HWND area = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, area) << "no window: is DISPLAY set? error " << ::GetLastError();
  struct {
    DLGTEMPLATE t;
    WORD menu, cls, title;
  } tmpl = {};
  tmpl.t.style = WS_CHILD;
  HWND page = ::CreateDialogIndirectParamW(nullptr, &tmpl.t, area, recordingProc, 0);
  ASSERT_NE(nullptr, page);
  context_.pageArea = area;
  gNotifications.clear();

  using ReportFn = HRESULT(STDMETHODCALLTYPE*)(void*, LONG, LONG);
  EXPECT_EQ(S_OK, slot<ReportFn>(status_.Get(), 24)(status_.Get(), TPN_PASSWORD_BLOCKED, 3));
  EXPECT_EQ(S_OK, status_->ReportPasswordState(TPN_PASSWORD_UNBLOCKED, 3));
  ASSERT_EQ(2u, gNotifications.size()) << "sent, not posted: the page shows the label before the call returns";
  EXPECT_EQ(static_cast<WPARAM>(TPN_PASSWORD_BLOCKED), gNotifications[0].first);
  EXPECT_EQ(3, gNotifications[0].second);
  EXPECT_EQ(static_cast<WPARAM>(TPN_PASSWORD_UNBLOCKED), gNotifications[1].first);
  ::DestroyWindow(area);
}

TEST_F(HostObjects, ObjectsAnswerOnlyTheirInterfaceIdsAndReservedSlotsAnswerNotImplemented) {
  ComPtr<IHostStatus> status;
  EXPECT_EQ(S_OK, status_->QueryInterface(IID_IHostStatus, status.ReceiveVoid()));
  ComPtr<IHostToken> token;
  EXPECT_EQ(S_OK, token_->QueryInterface(IID_IHostToken, token.ReceiveVoid()));
  ComPtr<IUnknown> other;
  EXPECT_EQ(E_NOINTERFACE, status_->QueryInterface(IID_IHostToken, other.ReceiveVoid()));
  EXPECT_EQ(E_NOINTERFACE, token_->QueryInterface(IID_IHostStatus, other.ReceiveVoid()));
  using NoArgFn = HRESULT(STDMETHODCALLTYPE*)(void*);
  for (int index : {3, 9, 26}) EXPECT_EQ(E_NOTIMPL, slot<NoArgFn>(status_.Get(), index)(status_.Get())) << index;
  for (int index : {3, 8, 33, 53}) EXPECT_EQ(E_NOTIMPL, slot<NoArgFn>(token_.Get(), index)(token_.Get())) << index;
}

TEST_F(HostObjects, PasswordPromptsTakeScriptedAnswersInOrderAndCancel) {
  std::string error;
  ASSERT_TRUE(context_.answers.addText("# scripted\npassword=first\npassword=<cancel>\n"
                                       "old-password=old\nnew-password=new\n",
                                       &error))
      << error;
  using AskFn = HRESULT(STDMETHODCALLTYPE*)(void*, HWND, BSTR*);
  ScopedBstr password(ScopedBstr::Kind::Secret);
  EXPECT_EQ(S_OK, slot<AskFn>(token_.Get(), 54)(token_.Get(), nullptr, password.Receive()));
  ASSERT_NE(nullptr, password.Get());
  EXPECT_STREQ(L"first", password.Get());
  const HRESULT hr = token_->AskPassword(nullptr, password.Receive());
  EXPECT_NE(S_OK, hr) << "the second answer cancels";
  EXPECT_EQ(nullptr, password.Get());

  using ChangeFn = HRESULT(STDMETHODCALLTYPE*)(void*, BSTR*, BSTR*);
  ScopedBstr oldPassword(ScopedBstr::Kind::Secret), newPassword(ScopedBstr::Kind::Secret);
  EXPECT_EQ(S_OK, slot<ChangeFn>(token_.Get(), 48)(token_.Get(), oldPassword.Receive(), newPassword.Receive()));
  EXPECT_STREQ(L"old", oldPassword.Get());
  EXPECT_STREQ(L"new", newPassword.Get());
}

}  // namespace
