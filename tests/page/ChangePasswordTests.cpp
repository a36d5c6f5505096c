// Change Password and Change User PIN through the page's buttons: what the user
// sees, what reaches the software token and what the host is told.
#include "page/PageFixture.h"

namespace {

const char kChanged[] = "Password has been changed successfully.";
const char kIncorrect[] = "Incorrect password! Please try again.";

// True when `expected` appears in `trace` in this order (other calls may come between).
::testing::AssertionResult InOrder(const std::vector<std::string>& expected, const std::vector<std::string>& trace) {
  size_t next = 0;
  for (const std::string& call : trace)
    if (next < expected.size() && call == expected[next]) ++next;
  if (next == expected.size()) return ::testing::AssertionSuccess();
  std::string all;
  for (const std::string& call : trace) all += "\n  " + call;
  return ::testing::AssertionFailure() << "missing " << expected[next] << " (and what follows it) in:" << all;
}

const char kChanging[] = "changing the password";

}  // namespace

using ChangePasswordTest = PageOnTokenTest;

TEST_F(ChangePasswordTest, TheRightOldPasswordChangesTheTokenShowsSuccessAndLeavesNoSession) {
  ExpectBox(kChanged, BoxIcon::Information);
  EXPECT_EQ(S_OK, Press(IDC_CHANGE_PASSWORD));
  // Owned by the page window, whose top-level window the system makes the owner.
  EXPECT_EQ(harness.frame(), driver.Shown().at(0).owner);
  EXPECT_TRUE(token.UserPinIs(kSlot, "new-password"));
  EXPECT_FALSE(token.UserPinIs(kSlot, kOldPassword));
  EXPECT_TRUE(token.UserPinIs(1, kOldPassword)) << "the decoy token was changed";
  EXPECT_EQ(0u, token.SessionCount(kSlot));

  const LONG unblocked = TPN_PASSWORD_UNBLOCKED;
  EXPECT_TRUE(InOrder({Call("BeginTokenOperation"), Call("OpenToken", 0, 1), Call("ReportResult", 0),
                       Call("AskPasswordChange"), Call("ShowStatus", Arg(harness.PageWindow()), 0),
                       Call("GetSerialNumber"), Call("CloseToken"), Call("GetTokenId"),
                       Call("ReportPasswordState", unblocked, 0x51), Call("HideStatus"), Call("EndTokenOperation"),
                       Call("Refresh", 0), Call("GetTokenId"), Call("ReportPasswordState", unblocked, 0x51)},
                      host().Trace()));
  EXPECT_THAT(host().calls, Contains(Field(&testkit::HostCall::text, L"Certificate password is being changed...")));
}

// Each attempt runs in a guard of its own; a cancelled entry shows nothing and never reaches the token.
// 259 characters still fit the password buffer and reach the token, as a try.
TEST_F(ChangePasswordTest, AWrongOldPasswordAsksAgainUntilTheUserCancels) {
  host().oldPassword = std::wstring(259, L'w');
  ExpectBox(kIncorrect);
  ExpectBox(kIncorrect, BoxIcon::Error, [this] { host().askPasswordChangeResult = S_FALSE; });
  EXPECT_EQ(S_OK, Press(IDC_CHANGE_PASSWORD));
  EXPECT_EQ(3u, host().Count("AskPasswordChange"));
  EXPECT_EQ(3u, host().Count("BeginTokenOperation"));
  EXPECT_EQ(3u, host().Count("EndTokenOperation"));
  EXPECT_EQ(2u, token.Calls("C_Login").size());
  EXPECT_EQ(2u, token.PinFailures(kSlot)) << "the try counter moves by exactly the attempts made";
  EXPECT_TRUE(token.UserPinIs(kSlot, kOldPassword));
}

// Only what the user typed is ever tried: a password that the ANSI code page cannot hold would
// reach the token as '?' (and be stored so), and one longer than a password buffer cannot be
// the token's. Neither costs a try, and the user is told why.
TEST_F(ChangePasswordTest, PasswordsThatCannotBeSentAsTypedAreRefusedWithoutATry) {
  const std::string notRepresentable =
      "The password contains characters that cannot be used on this computer. Nothing was sent to the token; "
      "please enter the password again with other characters.";
  const std::string tooLong =
      "The password is longer than 259 characters. Nothing was sent to the token; please enter a shorter password.";
  const struct {
    std::wstring oldPassword, newPassword;
    const std::string& message;
  } cases[] = {
      {L"wrong-password", L"\x043f\x0430\x0440\x043e\x043b\x044c-12", notRepresentable},  // Cyrillic
      {L"old-password", L"\x5bc6\x7801-12345", notRepresentable},                           // CJK
      {L"old-password", L"emoji-\xd83d\xdd11", notRepresentable},                           // U+1F511
      {L"\x043f\x0430\x0440\x043e\x043b\x044c", L"new-password", notRepresentable},
      {std::wstring(5000, L'w'), L"new-password", tooLong},
      {L"old-password", std::wstring(260, L'n'), tooLong},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.oldPassword.size() << "/" << c.newPassword.size());
    host().oldPassword = c.oldPassword;
    host().newPassword = c.newPassword;
    token.StartTrace();
    ExpectBox(c.message);
    EXPECT_EQ(S_OK, Press(IDC_CHANGE_PASSWORD));
    EXPECT_EQ(1u, host().Count("AskPasswordChange")) << "asked once: the flow ends with the message";
    host().Clear();
    EXPECT_TRUE(token.Calls("C_Login").empty());
    EXPECT_TRUE(token.Calls("C_SetPIN").empty());
    EXPECT_EQ(0u, token.PinFailures(kSlot)) << "a refused password cost a try";
    EXPECT_TRUE(token.UserPinIs(kSlot, kOldPassword));
  }
}

TEST_F(ChangePasswordTest, WrongPasswordsUntilTheTokenLocksEndWithTheErrorAndTheBlockedLabel) {
  host().oldPassword = L"wrong-password";
  // The token locks at its fifth failure; the sixth login is refused as locked, and is not asked again.
  for (int i = 0; i < 5; ++i) ExpectBox(kIncorrect);
  ExpectBox(Failure(kChanging, 0xB00100A4));
  EXPECT_EQ(S_OK, Press(IDC_CHANGE_PASSWORD));
  EXPECT_EQ(6u, host().Count("AskPasswordChange"));
  EXPECT_EQ(CKR_PIN_LOCKED, token.vendor()->Q_GetPinStatus(kSlot, Q_PIN_USER));
  EXPECT_EQ(0u, token.SessionCount(kSlot));
  EXPECT_TRUE(InOrder({Call("GetErrorText", 0xB00100A4), Call("ReportPasswordState", TPN_PASSWORD_BLOCKED, 0x51)},
                      host().Trace()));
  EXPECT_TRUE(harness.ItemShown(IDC_PASSWORD_BLOCKED)) << "the host relayed the blocked code to the page";
}

TEST_F(ChangePasswordTest, ATokenThatIsNotThereEndsWithE1AndNoReport) {
  host().serial = L"FFFF0000";
  ASSERT_EQ(CKR_OK, token.DeleteToken(1));
  ASSERT_EQ(CKR_OK, token.DeleteToken(kSlot));
  ExpectBox(Failure(kChanging, 0xB00100E1));
  EXPECT_EQ(S_OK, Press(IDC_CHANGE_PASSWORD));
  EXPECT_TRUE(token.Calls("C_OpenSession").empty());
  EXPECT_EQ(0u, host().Count("ReportPasswordState"));
}

// A failing Cryptoki call of one attempt: the box shows its mapped code, or the success
// when the change was made all the same, and no session is left behind.
TEST_F(ChangePasswordTest, AFailingCryptokiCallEndsWithItsCodeAndNoSession) {
  const struct {
    const char* function;
    CK_RV rv;
    unsigned code;  // shown, or 0 when the password changed all the same
  } cases[] = {
      // The decoy's information fails: it is skipped and the token is still found.
      {"C_GetTokenInfo", CKR_DEVICE_REMOVED, 0},
      {"C_SetPIN", CKR_PIN_LEN_RANGE, 0xB00100A2},
      {"Q_GetPinStatus", CKR_DEVICE_ERROR, 0},
  };
  std::string password = kOldPassword;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    host().oldPassword = std::wstring(password.begin(), password.end());
    const std::string next = std::string("after-") + c.function;
    host().newPassword = std::wstring(next.begin(), next.end());
    token.ResetHooks();
    ASSERT_EQ(CKR_OK, token.Inject(c.function, 1, c.rv));
    ExpectBox(c.code ? Failure(kChanging, c.code) : kChanged, c.code ? BoxIcon::Error : BoxIcon::Information);
    EXPECT_EQ(S_OK, Press(IDC_CHANGE_PASSWORD));
    EXPECT_EQ(0u, token.SessionCount(kSlot));
    if (!c.code) password = next;
    EXPECT_TRUE(token.UserPinIs(kSlot, password)) << "expected the password " << password;
    EXPECT_FALSE(harness.ItemShown(IDC_PASSWORD_BLOCKED));
  }
}

// Change User PIN: the host does the work; the page reports only its success.
TEST_F(ChangePasswordTest, ChangeUserPinShowsOnlyTheHostsSuccessAndAlwaysUpdatesTheStatus) {
  for (HRESULT answer : {S_OK, S_FALSE, static_cast<HRESULT>(0x8010006B)}) {
    SCOPED_TRACE(answer);
    host().Clear();
    host().changeUserPinResult = answer;
    if (answer == S_OK) ExpectBox("User PIN has been changed successfully.", BoxIcon::Information);
    EXPECT_EQ(S_OK, Press(IDC_CHANGE_USER_PIN));
    EXPECT_TRUE(InOrder({Call("ReportResult", 0), Call("ChangeUserPin"), Call("UpdateTokenStatus"),
                         Call("CloseToken"), Call("EndTokenOperation"), Call("Refresh", 0)},
                        host().Trace()));
  }
  EXPECT_EQ(std::vector<std::string>{}, token.Trace()) << "the user PIN never goes through Cryptoki";
}

class ChangePasswordWithoutLibrary : public DrivenPageTest {
 protected:
  void TearDown() override { ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_REFUSE_LOAD", nullptr); }
};

TEST_F(ChangePasswordWithoutLibrary, ALibraryThatCannotBeLoadedShowsItAndEndsWithEFail) {
  // Loading fails only while the library is not already in the process.
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_REFUSE_LOAD", L"1");
  // Activation tries first, quietly for the host but not for the user.
  for (int box = 0; box < 2; ++box) ExpectBox("Cryptoki library could not be loaded!");
  ASSERT_EQ(S_OK, harness.Open());
  EXPECT_EQ(E_FAIL, harness.Click(IDC_CHANGE_PASSWORD));
  driver.Finish();
  EXPECT_EQ(nullptr, ::GetModuleHandleA("ZeltP11.dll"));
  EXPECT_EQ(0u, host().Count("ShowStatus"));
}
