// The host's interface objects as the page sees them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostContext.h"
#include "HostStatus.h"
#include "kit/Registry.h"
#include "model/ComPtr.h"
#include "model/ScopedBstr.h"
#include "page/HostInterfaces.h"

namespace {

const wchar_t kTestKey[] = L"Software\\Zelt Tests\\Token Utility host";

class HostObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::DeleteKeyTree(HKEY_CURRENT_USER, kTestKey);
    context_.settings = HostSettings(kTestKey);
  }
  void TearDown() override { testkit::DeleteKeyTree(HKEY_CURRENT_USER, kTestKey); }

  HostContext context_;
  ComPtr<HostStatus> status_ = ComPtr<HostStatus>::Adopt(new HostStatus(context_));
};

TEST_F(HostObjects, ErrorTextDescribesMappedCryptokiAndSystemCodesAndRefusesUnknownOnes) {
  ScopedBstr text;
  HRESULT hr = status_->GetErrorText(static_cast<HRESULT>(0xB00100A0), text.Receive());
  ASSERT_EQ(S_OK, hr) << std::hex << hr;
  std::wstring words = text.Get();
  for (const wchar_t* part : {L"The password is incorrect.", L"CKR_PIN_INCORRECT", L"0xB00100A0"})
    EXPECT_NE(std::wstring::npos, words.find(part)) << words;

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

TEST_F(HostObjects, AutoRegistrationIsKeptInTheHostsKeyAndOfferedUnlessTheOptionOrTheKeySaysNo) {
  BOOL enabled = FALSE;
  LONG ignored = 77;
  ASSERT_EQ(S_OK, status_->GetAutoRegistration(&enabled, &ignored));
  EXPECT_TRUE(enabled) << "enabled until the user turns it off";
  ASSERT_EQ(S_OK, status_->SetAutoRegistration(FALSE));
  // A second host (a later run) reads what the first stored.
  HostContext later;
  later.settings = HostSettings(kTestKey);
  ASSERT_EQ(S_OK, ComPtr<HostStatus>::Adopt(new HostStatus(later))->GetAutoRegistration(&enabled, &ignored));
  EXPECT_FALSE(enabled);

  LONG offered = 0;
  ASSERT_EQ(S_OK, status_->IsAutoRegistrationOffered(&offered));
  EXPECT_NE(0, offered);
  context_.offerAutoRegistration = false;  // --no-auto-registration
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
  ASSERT_NE(nullptr, ::CreateDialogIndirectParamW(nullptr, &tmpl.t, area, recordingProc, 0));
  context_.pageArea = area;
  gNotifications.clear();

  EXPECT_EQ(S_OK, status_->ReportPasswordState(TPN_PASSWORD_BLOCKED, 3));
  EXPECT_EQ(S_OK, status_->ReportPasswordState(TPN_PASSWORD_UNBLOCKED, 3));
  // Sent, not posted: the page shows the label before the call returns.
  const std::vector<std::pair<WPARAM, LPARAM>> expected = {{TPN_PASSWORD_BLOCKED, 3}, {TPN_PASSWORD_UNBLOCKED, 3}};
  EXPECT_EQ(expected, gNotifications);
  ::DestroyWindow(area);
}

}  // namespace
