// Change Password and Change User PIN through the page's buttons: what the user
// sees, what reaches the software token and what the host is told.
#include <functional>

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

std::string Failed(const char* code) {
  return std::string("An error occurred while changing the password.\nError Code is  0x") + code + ".";
}

}  // namespace

class ChangePasswordTest : public PageOnTokenTest {
 protected:
  LRESULT Press(int button = IDC_CHANGE_PASSWORD) { return PageOnTokenTest::Press(button); }

  // Expects a box of the page with `text` and `icon`; runs `then` and presses OK.
  void ExpectBox(const std::string& text, BoxIcon icon = BoxIcon::Error, std::function<void()> then = nullptr) {
    driver.Then(text, testkit::Titled("User Tools"), [text, icon, then](ModalWindow& box) {
      EXPECT_EQ(text, box.MessageText());
      EXPECT_EQ(icon, box.Icon()) << ToString(box.Icon());
      if (then) then();
      box.Press(IDOK);
    });
  }
};

TEST_F(ChangePasswordTest, TheRightOldPasswordChangesTheTokenShowsSuccessAndLeavesNoSession) {
  ExpectBox(kChanged, BoxIcon::Information);
  EXPECT_EQ(S_OK, Press());
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
TEST_F(ChangePasswordTest, AWrongOldPasswordAsksAgainUntilTheUserCancels) {
  host().oldPassword = L"wrong-password";
  ExpectBox(kIncorrect);
  ExpectBox(kIncorrect, BoxIcon::Error, [this] { host().askPasswordChangeResult = S_FALSE; });
  EXPECT_EQ(S_OK, Press());
  EXPECT_EQ(3u, host().Count("AskPasswordChange"));
  EXPECT_EQ(3u, host().Count("BeginTokenOperation"));
  EXPECT_EQ(3u, host().Count("EndTokenOperation"));
  EXPECT_EQ(2u, token.Calls("C_Login").size());
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
    const CK_ULONG before = token.PinFailures(kSlot);
    token.StartTrace();
    ExpectBox(c.message);
    EXPECT_EQ(S_OK, Press());
    EXPECT_EQ(1u, host().Count("AskPasswordChange")) << "asked once: the flow ends with the message";
    host().Clear();
    EXPECT_TRUE(token.Calls("C_Login").empty());
    EXPECT_TRUE(token.Calls("C_SetPIN").empty());
    EXPECT_EQ(before, token.PinFailures(kSlot));
    EXPECT_TRUE(token.UserPinIs(kSlot, kOldPassword));
  }
  // 259 characters still fit the buffer and reach the token, as a try.
  host().oldPassword = std::wstring(259, L'w');
  host().newPassword = L"new-password";
  const CK_ULONG before = token.PinFailures(kSlot);
  ExpectBox(kIncorrect, BoxIcon::Error, [this] { host().askPasswordChangeResult = S_FALSE; });
  EXPECT_EQ(S_OK, Press());
  EXPECT_EQ(before + 1, token.PinFailures(kSlot)) << "the try counter moves by exactly the attempts made";
}

TEST_F(ChangePasswordTest, WrongPasswordsUntilTheTokenLocksEndWithTheErrorAndTheBlockedLabel) {
  host().oldPassword = L"wrong-password";
  // The token locks at its fifth failure; the sixth login is refused as locked, and is not asked again.
  for (int i = 0; i < 5; ++i) ExpectBox(kIncorrect);
  ExpectBox(Failed("b00100a4"));
  EXPECT_EQ(S_OK, Press());
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
  ExpectBox(Failed("b00100e1"));
  EXPECT_EQ(S_OK, Press());
  EXPECT_TRUE(token.Calls("C_OpenSession").empty());
  EXPECT_EQ(0u, host().Count("ReportPasswordState"));
}

// A failing Cryptoki call of one attempt: the box shows its mapped code, or the success
// when the change was made all the same, and no session is left behind.
TEST_F(ChangePasswordTest, AFailingCryptokiCallEndsWithItsCodeAndNoSession) {
  const struct {
    const char* function;
    CK_RV rv;
    const char* code;  // shown, or null when the password changed all the same
  } cases[] = {
      // The decoy's information fails: it is skipped and the token is still found.
      {"C_GetTokenInfo", CKR_DEVICE_REMOVED, nullptr},
      {"C_SetPIN", CKR_PIN_LEN_RANGE, "b00100a2"},
      {"Q_GetPinStatus", CKR_DEVICE_ERROR, nullptr},
  };
  std::string password = kOldPassword;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    host().oldPassword = std::wstring(password.begin(), password.end());
    const std::string next = std::string("after-") + c.function;
    host().newPassword = std::wstring(next.begin(), next.end());
    token.ResetHooks();
    ASSERT_EQ(CKR_OK, token.Inject(c.function, 1, c.rv));
    ExpectBox(c.code ? Failed(c.code) : kChanged, c.code ? BoxIcon::Error : BoxIcon::Information);
    EXPECT_EQ(S_OK, Press());
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

TEST(ChangePasswordWithoutLibrary, ALibraryThatCannotBeLoadedShowsItAndEndsWithEFail) {
  // Loading fails only while the library is not already in the process.
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_REFUSE_LOAD", L"1");
  {
    testkit::ModuleUnderTest module;
    testkit::PageHarness harness{module};
    ASSERT_TRUE(module.loaded() && harness.Ready()) << ::GetLastError();
    testkit::ModalDriver driver;
    // Activation tries first, quietly for the host but not for the user.
    for (const char* when : {"activation", "change"})
      driver.Then(when, testkit::Titled("User Tools"), [](ModalWindow& box) {
        EXPECT_EQ("Cryptoki library could not be loaded!", box.MessageText());
        box.Press(IDOK);
      });
    ASSERT_EQ(S_OK, harness.Open());
    EXPECT_EQ(E_FAIL, harness.Click(IDC_CHANGE_PASSWORD));
    driver.Finish();
    EXPECT_EQ(nullptr, ::GetModuleHandleA("ZeltP11.dll"));
    EXPECT_EQ(0u, harness.host.Count("ShowStatus"));
  }
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_REFUSE_LOAD", nullptr);
}
