// Change Password and Change User PIN through the page's buttons: what the user
// sees, what reaches the software token and what the host is told.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kit/FakeHost.h"
#include "kit/ModalDriver.h"
#include "kit/ModuleUnderTest.h"
#include "kit/PageHarness.h"
#include "kit/SoftToken.h"
#include "page/HostInterfaces.h"
#include "res/resource.h"

using testkit::Arg;
using testkit::BoxIcon;
using testkit::Call;
using testkit::ModalWindow;
using testkit::ShownWindow;

namespace {

const CK_SLOT_ID kSlot = 3;
const char kOldPassword[] = "old-password";

// True when `expected` appears in `trace` in this order (other calls may come between).
::testing::AssertionResult InOrder(const std::vector<std::string>& expected, const std::vector<std::string>& trace) {
  size_t next = 0;
  for (const std::string& call : trace) {
    if (next < expected.size() && call == expected[next]) ++next;
  }
  if (next == expected.size()) return ::testing::AssertionSuccess();
  std::string all;
  for (const std::string& call : trace) all += "\n  " + call;
  return ::testing::AssertionFailure() << "missing " << expected[next] << " (and what follows it) in:" << all;
}

std::string CodeLine(unsigned code) {
  char text[64];
  wsprintfA(text, "Error Code is  0x%x.", code);
  return text;
}

}  // namespace

// The token outlives the page: the members are destroyed in reverse order.
class ChangePasswordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(token.ready()) << "cannot load ZeltP11.dll, error " << ::GetLastError();
    ASSERT_TRUE(module.loaded()) << "cannot load the page DLL, error " << ::GetLastError();
    ASSERT_TRUE(harness.Ready()) << "no display";
    // A decoy first, so that the slot is found by its serial and not by its place.
    ASSERT_EQ(CKR_OK, token.CreateToken(1, "99990000", kOldPassword));
    ASSERT_EQ(CKR_OK, token.CreateToken(kSlot, "0a1b2c3d", kOldPassword));
    host().serial = L"0A1B2C3D";
    host().oldPassword = L"old-password";
    host().newPassword = L"new-password";
    const HRESULT hr = harness.Open();
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    host().Clear();
    token.StartTrace();
  }

  // Presses Change Password with `driver` answering the boxes; the handler's result.
  LRESULT ChangePassword(testkit::ModalDriver& driver) {
    const LRESULT result = harness.Click(IDC_CHANGE_PASSWORD);
    driver.Finish();
    return result;
  }

  // Adds a step to `driver` that expects a box titled "User Tools" with `text`, records it in
  // `shown`, runs `then` and presses OK.
  void ExpectBox(testkit::ModalDriver& driver, const std::string& text, std::function<void()> then = nullptr) {
    driver.Then(text, testkit::Titled("User Tools"), [this, text, then](ModalWindow& box) {
      shown.push_back(box.Snapshot());
      EXPECT_EQ(text, box.MessageText());
      if (then) then();
      box.Press(IDOK);
    });
  }

  testkit::FakeHost& host() { return harness.host; }

  std::vector<ShownWindow> shown;
  testkit::SoftToken token;
  testkit::ModuleUnderTest module;
  testkit::PageHarness harness{module};
};

TEST_F(ChangePasswordTest, TheRightOldPasswordChangesTheTokenShowsSuccessAndLeavesNoSession) {
  testkit::ModalDriver driver;
  ExpectBox(driver, "Password has been changed successfully.");

  EXPECT_EQ(S_OK, ChangePassword(driver));

  ASSERT_EQ(1u, shown.size());
  EXPECT_EQ(BoxIcon::Information, shown[0].icon) << ToString(shown[0].icon);
  // Owned by the page window, whose top-level window the system makes the owner.
  EXPECT_EQ(::GetAncestor(harness.PageWindow(), GA_ROOT), shown[0].owner);
  // Counted before the checks below, which open sessions of their own.
  EXPECT_EQ(1u, token.Calls("C_OpenSession").size());
  EXPECT_EQ(1u, token.Calls("C_CloseAllSessions").size());
  EXPECT_TRUE(token.UserPinIs(kSlot, "new-password"));
  EXPECT_FALSE(token.UserPinIs(kSlot, kOldPassword));
  EXPECT_TRUE(token.UserPinIs(1, kOldPassword)) << "the decoy token was changed";
  EXPECT_EQ(0u, token.SessionCount(kSlot));

  const HWND page = harness.PageWindow();
  EXPECT_TRUE(InOrder({Call("BeginTokenOperation"), Call("OpenToken", 0, 1), Call("ReportResult", 0),
                       Call("AskPasswordChange"), Call("ShowStatus", Arg(page), 0), Call("GetSerialNumber"),
                       Call("CloseToken"), Call("GetTokenId"), Call("ReportPasswordState", 8, 0x51),
                       Call("HideStatus"), Call("EndTokenOperation"), Call("Refresh", 0), Call("GetTokenId"),
                       Call("ReportPasswordState", 8, 0x51)},
                      host().Trace()));
  for (const testkit::HostCall& call : host().calls) {
    if (call.name == "ShowStatus") {
      EXPECT_EQ(L"Certificate password is being changed...", call.text);
    }
  }
}

TEST_F(ChangePasswordTest, AWrongOldPasswordAsksAgainUntilTheRightOneComes) {
  host().oldPassword = L"wrong-password";
  testkit::ModalDriver driver;
  ExpectBox(driver, "Incorrect password! Please try again.", [this] { host().oldPassword = L"old-password"; });
  ExpectBox(driver, "Password has been changed successfully.");

  EXPECT_EQ(S_OK, ChangePassword(driver));

  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ(BoxIcon::Error, shown[0].icon) << ToString(shown[0].icon);
  EXPECT_EQ(2u, host().Count("AskPasswordChange"));
  EXPECT_EQ(2u, host().Count("BeginTokenOperation")) << "each attempt runs in a guard of its own";
  EXPECT_EQ(2u, host().Count("EndTokenOperation"));
  EXPECT_EQ(2u, token.Calls("C_OpenSession").size());
  EXPECT_TRUE(token.UserPinIs(kSlot, "new-password"));
  EXPECT_EQ(0u, token.SessionCount(kSlot));
}

TEST_F(ChangePasswordTest, ACancelAfterAWrongPasswordEndsSilently) {
  host().oldPassword = L"wrong-password";
  testkit::ModalDriver driver;
  ExpectBox(driver, "Incorrect password! Please try again.", [this] { host().askPasswordChangeResult = S_FALSE; });

  EXPECT_EQ(S_OK, ChangePassword(driver));

  EXPECT_EQ(1u, shown.size()) << "the cancel shows nothing";
  EXPECT_EQ(2u, host().Count("AskPasswordChange"));
  EXPECT_EQ(1u, token.Calls("C_Login").size()) << "a cancelled entry never reaches the token";
  EXPECT_EQ(host().Count("BeginTokenOperation"), host().Count("EndTokenOperation"));
  EXPECT_TRUE(token.UserPinIs(kSlot, kOldPassword));
}

TEST_F(ChangePasswordTest, WrongPasswordsUntilTheTokenLocksEndWithTheErrorAndTheBlockedLabel) {
  host().oldPassword = L"wrong-password";
  testkit::ModalDriver driver;
  // The token locks at its fifth failure; the sixth login is refused as locked.
  for (int i = 0; i < 5; ++i) ExpectBox(driver, "Incorrect password! Please try again.");
  ExpectBox(driver, "An error occurred while changing the password.\n" + CodeLine(0xB00100A4));

  EXPECT_EQ(S_OK, ChangePassword(driver));

  EXPECT_EQ(6u, shown.size());
  EXPECT_TRUE(token.UserPinLocked(kSlot));
  EXPECT_EQ(0u, token.SessionCount(kSlot));
  EXPECT_TRUE(InOrder({Call("GetErrorText", 0xB00100A4), Call("ReportPasswordState", 7, 0x51)}, host().Trace()));
  EXPECT_TRUE(harness.ItemShown(IDC_PASSWORD_BLOCKED)) << "the host relayed code 7 to the page";
  EXPECT_EQ("Password is blocked!", harness.ItemText(IDC_PASSWORD_BLOCKED));
}

TEST_F(ChangePasswordTest, ALockedTokenEndsWithB00100A4AndTheHostIsToldCode7) {
  ASSERT_EQ(CKR_OK, token.vendor()->Q_SetPinLock(kSlot, Q_PIN_USER, CK_TRUE));
  testkit::ModalDriver driver;
  ExpectBox(driver, "An error occurred while changing the password.\n" + CodeLine(0xB00100A4));

  EXPECT_EQ(S_OK, ChangePassword(driver));

  ASSERT_EQ(1u, shown.size());
  EXPECT_EQ(BoxIcon::Error, shown[0].icon) << ToString(shown[0].icon);
  EXPECT_EQ(1u, host().Count("AskPasswordChange")) << "only a wrong password asks again";
  EXPECT_EQ(2u, host().Count("ReportPasswordState")) << "after the attempt and after the flow";
  EXPECT_EQ(Call("ReportPasswordState", 7, 0x51), host().TraceFrom("ReportPasswordState").front());
  EXPECT_TRUE(harness.ItemShown(IDC_PASSWORD_BLOCKED));
}

TEST_F(ChangePasswordTest, ANullNewPasswordReachesSetPinWithLengthZero) {
  host().nullNewPassword = true;
  testkit::ModalDriver driver;
  // The token refuses a null PIN pointer: the flow reports its code.
  ExpectBox(driver, "An error occurred while changing the password.\n" + CodeLine(0xB0010007));

  EXPECT_EQ(S_OK, ChangePassword(driver));

  const auto setPin = token.Calls("C_SetPIN");
  ASSERT_EQ(1u, setPin.size());
  EXPECT_NE(std::string::npos, setPin[0].find("pNewPin=NULL")) << setPin[0];
  EXPECT_NE(std::string::npos, setPin[0].find("ulNewLen=0")) << setPin[0];
  EXPECT_TRUE(token.UserPinIs(kSlot, kOldPassword));
}

TEST_F(ChangePasswordTest, ATokenThatIsNotThereEndsWithE1) {
  host().serial = L"FFFF0000";
  ASSERT_EQ(CKR_OK, token.DeleteToken(1));
  ASSERT_EQ(CKR_OK, token.DeleteToken(kSlot));
  testkit::ModalDriver driver;
  ExpectBox(driver, "An error occurred while changing the password.\n" + CodeLine(0xB00100E1));

  EXPECT_EQ(S_OK, ChangePassword(driver));
  EXPECT_TRUE(token.Calls("C_OpenSession").empty());
  EXPECT_EQ(0u, host().Count("ReportPasswordState")) << "no slot, no report";
}

TEST_F(ChangePasswordTest, ACancelledEntryShowsNothingAndNeverLoadsTheToken) {
  host().askPasswordChangeResult = E_ABORT;
  testkit::ModalDriver driver;
  EXPECT_EQ(S_OK, ChangePassword(driver));
  EXPECT_TRUE(driver.Shown().empty());
  EXPECT_TRUE(token.Calls("C_Login").empty());
  EXPECT_TRUE(InOrder({Call("AskPasswordChange"), Call("CloseToken"), Call("EndTokenOperation"), Call("Refresh", 0)},
                      host().Trace()));
}

TEST_F(ChangePasswordTest, AGuardThatCannotBeginEndsWithEFailAndNoMessage) {
  host().openTokenResult = 0x80100069;
  host().reportResultOverride = true;
  host().reportResultValue = 0x80100069;
  testkit::ModalDriver driver;
  EXPECT_EQ(E_FAIL, ChangePassword(driver));
  EXPECT_EQ(0u, host().Count("AskPasswordChange"));
}

// Every Cryptoki call of one attempt, failing in turn: the flow shows the
// mapped code, never hangs or crashes, and leaves no session behind.
TEST_F(ChangePasswordTest, AFailureAtEachCryptokiCallEndsWithItsCodeAndNoSession) {
  struct Case {
    const char* function;
    CK_RV rv;
    bool changed;  // the password changed all the same
  };
  const Case cases[] = {
      {"C_GetSlotList", CKR_DEVICE_ERROR, false},
      // The decoy's information fails: it is skipped and the token is still found.
      {"C_GetTokenInfo", CKR_DEVICE_REMOVED, true},
      {"C_OpenSession", CKR_SESSION_COUNT, false},
      {"C_Login", CKR_DEVICE_MEMORY, false},
      {"C_SetPIN", CKR_PIN_LEN_RANGE, false},
      // Failures after the change do not undo it.
      {"C_Logout", CKR_DEVICE_ERROR, true},
      {"C_CloseSession", CKR_SESSION_CLOSED, true},
      {"C_CloseAllSessions", CKR_DEVICE_ERROR, true},
      {"Q_GetPinStatus", CKR_DEVICE_ERROR, true},
  };
  std::string password = kOldPassword;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    host().Clear();
    host().oldPassword = std::wstring(password.begin(), password.end());
    const std::string next = std::string("after-") + c.function;
    host().newPassword = std::wstring(next.begin(), next.end());
    token.ResetHooks();
    ASSERT_EQ(CKR_OK, token.Inject(c.function, 1, c.rv));

    shown.clear();
    testkit::ModalDriver driver;
    const std::string text = c.changed ? std::string("Password has been changed successfully.")
                                       : "An error occurred while changing the password.\n" +
                                             CodeLine(0xB0010000u | static_cast<unsigned>(c.rv));
    ExpectBox(driver, text);
    EXPECT_EQ(S_OK, ChangePassword(driver));

    EXPECT_EQ(1u, shown.size());
    EXPECT_EQ(0u, token.SessionCount(kSlot));
    if (c.changed) password = next;
    EXPECT_TRUE(token.UserPinIs(kSlot, password)) << "expected the password " << password;
    EXPECT_EQ(host().Count("BeginTokenOperation"), host().Count("EndTokenOperation"));
    EXPECT_FALSE(harness.ItemShown(IDC_PASSWORD_BLOCKED));
  }
}

TEST(ChangePasswordWithoutLibrary, ALibraryThatCannotBeLoadedShows2207AndEndsWithEFail) {
  // Loading fails only while the library is not already in the process.
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_REFUSE_LOAD", L"1");
  {
    testkit::ModuleUnderTest module;
    ASSERT_TRUE(module.loaded()) << ::GetLastError();
    testkit::PageHarness harness{module};
    ASSERT_TRUE(harness.Ready());
    std::vector<std::string> texts;
    auto record = [&texts](ModalWindow& box) {
      texts.push_back(box.MessageText());
      box.Press(IDOK);
    };
    testkit::ModalDriver driver;
    // Activation tries first, quietly for the host but not for the user.
    driver.Then("activation", testkit::Titled("User Tools"), record);
    driver.Then("change", testkit::Titled("User Tools"), record);
    ASSERT_EQ(S_OK, harness.Open());
    EXPECT_EQ(E_FAIL, harness.Click(IDC_CHANGE_PASSWORD));
    driver.Finish();
    EXPECT_EQ(std::vector<std::string>(2, "Cryptoki library could not be loaded!"), texts);
    EXPECT_EQ(nullptr, ::GetModuleHandleA("ZeltP11.dll"));
    EXPECT_EQ(1u, harness.host.Count("AskPasswordChange"));
    EXPECT_EQ(0u, harness.host.Count("ShowStatus"));
  }
  ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_REFUSE_LOAD", nullptr);
}

// Change User PIN: the host does the work; the page reports only its success.
class ChangeUserPinTest : public ChangePasswordTest {};

TEST_F(ChangeUserPinTest, SuccessIsShownAndTheTokenStatusUpdated) {
  testkit::ModalDriver driver;
  ExpectBox(driver, "User PIN has been changed successfully.");
  EXPECT_EQ(S_OK, harness.Click(IDC_CHANGE_USER_PIN));
  driver.Finish();
  ASSERT_EQ(1u, shown.size());
  EXPECT_EQ(BoxIcon::Information, shown[0].icon) << ToString(shown[0].icon);
  EXPECT_TRUE(InOrder({Call("ReportResult", 0), Call("ChangeUserPin"), Call("UpdateTokenStatus"), Call("CloseToken"),
                       Call("EndTokenOperation"), Call("Refresh", 0)},
                      host().Trace()));
  EXPECT_TRUE(token.Trace().empty()) << "the user PIN never goes through Cryptoki";
}

TEST_F(ChangeUserPinTest, AFailedOrCancelledChangeShowsNothingButStillUpdatesTheStatus) {
  for (HRESULT answer : {S_FALSE, E_ABORT, static_cast<HRESULT>(0x8010006B)}) {
    host().Clear();
    host().changeUserPinResult = answer;
    testkit::ModalDriver driver;
    EXPECT_EQ(S_OK, harness.Click(IDC_CHANGE_USER_PIN)) << std::hex << answer;
    driver.Finish();
    EXPECT_TRUE(driver.Shown().empty()) << std::hex << answer;
    EXPECT_TRUE(InOrder({Call("ChangeUserPin"), Call("UpdateTokenStatus"), Call("EndTokenOperation")}, host().Trace()))
        << std::hex << answer;
  }
}

TEST_F(ChangeUserPinTest, AGuardThatCannotBeginEndsWithEFailWithoutAskingTheHost) {
  host().refreshNeeded = 1;
  host().refreshFullResult = E_FAIL;
  testkit::ModalDriver driver;
  EXPECT_EQ(E_FAIL, harness.Click(IDC_CHANGE_USER_PIN));
  driver.Finish();
  EXPECT_EQ(0u, host().Count("ChangeUserPin"));
  EXPECT_EQ(0u, host().Count("OpenToken"));
  EXPECT_EQ(1u, host().Count("EndTokenOperation"));
}
