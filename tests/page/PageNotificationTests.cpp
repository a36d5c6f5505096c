// What the host's notifications, the keyboard and the button messages do to
// an active page.
#include "page/PageFixture.h"

using testkit::Arg;
using testkit::Call;

class PageNotifyTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    if (HasFatalFailure()) return;
    OpenAndClear();
  }

  MSG Key(UINT message, WPARAM key, HWND window) const {
    MSG msg = {};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = key;
    return msg;
  }
};

TEST_F(PageNotifyTest, EnableAndDisableWithStateOneOrTwoShowEveryManagedControl) {
  for (WPARAM code : {WPARAM(TPN_ENABLE), WPARAM(TPN_DISABLE)}) {
    for (LPARAM state : {1, 2}) {
      SCOPED_TRACE("code " + std::to_string(code) + " state " + std::to_string(state));
      harness.Notify(TPN_DISABLE, 9);  // start from everything hidden
      EXPECT_EQ(0, harness.Notify(code, state));
      // The token buttons follow the code; the kept-visibility controls are enabled but keep
      // their visibility.
      EXPECT_EQ(code == TPN_ENABLE ? "SE SE SE SE SE SE hE hE SE" : "SE SE Sd Sd SE Sd hE hE SE", States());
    }
  }
}

TEST_F(PageNotifyTest, AnotherNonZeroStateHidesAndDisablesButTheTokenButtonsFollowTheCode) {
  EXPECT_EQ(0, harness.Notify(TPN_ENABLE, 7));
  EXPECT_THAT(States(), MatchesRegex("hd hd hE hE hd hE hd .. Sd")) << "Auto Registration kept visible, disabled";
  EXPECT_EQ(0, harness.Notify(TPN_DISABLE, 3));
  EXPECT_THAT(States(), MatchesRegex("hd hd hd hd hd hd .. .. .."));
}

TEST_F(PageNotifyTest, StateZeroMatchesEveryEntryThroughTheEmptyPlaces) {
  harness.Notify(TPN_ENABLE, 7);
  EXPECT_EQ(0, harness.Notify(TPN_DISABLE, 0));
  EXPECT_THAT(States(), MatchesRegex("SE .. Sd Sd .. Sd .. .. SE"));
  EXPECT_EQ(0, harness.Notify(TPN_ENABLE, 0));
  EXPECT_THAT(States(), MatchesRegex("SE SE SE SE SE SE .. .. .."));
}

TEST_F(PageNotifyTest, ThePinLabelFollowsThePinStateAfterEveryStateChange) {
  struct Case {
    LONG first, second;
    HRESULT result;
    bool blocked;
  } cases[] = {
      {0, 1, S_OK, true},      {0, 0x7FFFFFFF, S_OK, true}, {1, 1, S_OK, false},
      {0, 0, S_OK, false},     {0, 1, E_FAIL, false},       {0, 1, S_FALSE, false},
  };
  for (const Case& c : cases) {
    host().pinFirst = c.first;
    host().pinSecond = c.second;
    host().getPinStateResult = c.result;
    host().Clear();
    harness.Notify(TPN_ENABLE, 1);
    EXPECT_EQ(c.blocked, harness.ItemShown(IDC_PIN_BLOCKED))
        << "GetPinState " << c.first << "," << c.second << " -> " << std::hex << c.result;
    EXPECT_EQ(std::vector<std::string>{Call("GetPinState", 0, 0)}, host().Trace());
    host().Clear();
    harness.Notify(TPN_DISABLE, 5);
    EXPECT_EQ(c.blocked, harness.ItemShown(IDC_PIN_BLOCKED)) << "after TPN_DISABLE";
    EXPECT_EQ(1u, host().Count("GetPinState"));
  }
}

TEST_F(PageNotifyTest, ResetEnablesEveryControlAndHidesBothLabelsWithoutTouchingVisibility) {
  host().pinFirst = 0;
  host().pinSecond = 1;
  harness.Notify(TPN_DISABLE, 7);
  harness.Notify(TPN_PASSWORD_BLOCKED, 0);
  ASSERT_TRUE(harness.ItemShown(IDC_PIN_BLOCKED));
  ASSERT_TRUE(harness.ItemShown(IDC_PASSWORD_BLOCKED));
  ASSERT_FALSE(harness.ItemEnabled(IDC_MANAGE));

  EXPECT_EQ(0, harness.Notify(TPN_RESET, 0));
  EXPECT_EQ("hE hE hE hE hE hE hE hE SE", States());
}

TEST_F(PageNotifyTest, PasswordBlockedShowsTheLabelAndUnblockedHidesIt) {
  EXPECT_EQ(0, harness.Notify(TPN_PASSWORD_BLOCKED, 0));
  EXPECT_TRUE(harness.ItemShown(IDC_PASSWORD_BLOCKED));
  EXPECT_EQ("Password is blocked!", harness.ItemText(IDC_PASSWORD_BLOCKED));
  EXPECT_EQ(0, harness.Notify(TPN_PASSWORD_UNBLOCKED, 0));
  EXPECT_FALSE(harness.ItemShown(IDC_PASSWORD_BLOCKED));

  // The host answers a password-state report with the same notification.
  host().status.ReportPasswordState(TPN_PASSWORD_BLOCKED, host().tokenId);
  EXPECT_TRUE(harness.ItemShown(IDC_PASSWORD_BLOCKED));
  host().status.ReportPasswordState(TPN_PASSWORD_UNBLOCKED, host().tokenId);
  EXPECT_FALSE(harness.ItemShown(IDC_PASSWORD_BLOCKED));
  EXPECT_TRUE(host().Count("GetPinState") == 0) << "nothing but the label changes";
}

TEST_F(PageNotifyTest, RefreshUpdatesThePinLabelAndRefreshesThePasswordStateLoudly) {
  host().pinFirst = 0;
  host().pinSecond = 2;
  EXPECT_EQ(0, harness.Notify(TPN_REFRESH, 0));
  EXPECT_TRUE(harness.ItemShown(IDC_PIN_BLOCKED));
  const std::vector<std::string> expected = {
      Call("GetPinState", 0, 0),
      Call("BeginTokenOperation"),
      Call("QueryRefreshNeeded", 0),
      Call("OpenToken", 0, 1),
      Call("UpdateTokenStatus"),
      Call("ReportResult", 0),
      Call("GetSerialNumber"),
      Call("CloseToken"),
      Call("CloseToken"),
      Call("EndTokenOperation"),
      Call("Refresh", 0),
  };
  EXPECT_EQ(expected, host().Trace());
}

TEST_F(PageNotifyTest, OtherCodesChangeNothingAndAnswerZero) {
  host().pinFirst = 0;
  host().pinSecond = 1;
  harness.Notify(TPN_ENABLE, 7);
  harness.Notify(TPN_PASSWORD_BLOCKED, 0);
  const std::string before = States();
  host().Clear();
  for (WPARAM code : {WPARAM(0), WPARAM(1), WPARAM(2), WPARAM(6), WPARAM(10), WPARAM(1000), WPARAM(0xFFFFFFFF)}) {
    EXPECT_EQ(0, harness.Notify(code, 1)) << "code " << code;
    EXPECT_EQ(before, States()) << "code " << code;
  }
  EXPECT_TRUE(host().calls.empty()) << "the host saw " << host().calls.front().ToString();
}

TEST_F(PageNotifyTest, ChangingTheExtendedStyleKeepsThePageAControlParent) {
  HWND window = harness.PageWindow();
  ::SetWindowLongA(window, GWL_EXSTYLE, 0);
  EXPECT_TRUE(::GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
  ::SetWindowLongA(window, GWL_EXSTYLE, WS_EX_TRANSPARENT);
  const LONG style = ::GetWindowLongA(window, GWL_EXSTYLE);
  EXPECT_TRUE(style & WS_EX_CONTROLPARENT);
  EXPECT_TRUE(style & WS_EX_TRANSPARENT);
}

TEST_F(PageNotifyTest, EnterOnAFocusedButtonRunsItsHandler) {
  ASSERT_EQ(S_OK, page()->Show(SW_SHOW));
  HWND button = harness.Item(IDC_AUTO_REGISTRATION);
  ::SetFocus(button);
  // The host translates the message of the focused window.
  MSG enter = Key(WM_KEYDOWN, VK_RETURN, button);
  testkit::ModalDriver driver;
  driver.Then("settings", testkit::AnyDialog(), [](testkit::ModalWindow& dialog) { dialog.Press(IDCANCEL); });
  EXPECT_EQ(S_OK, page()->TranslateAccelerator(&enter));
  driver.Finish();
  EXPECT_EQ(std::vector<std::string>{Call("GetAutoRegistration")}, host().Trace());

  // Manage runs its whole guarded flow, up to its message box.
  host().Clear();
  driver.AnswerBox(IDOK);
  enter.hwnd = harness.Item(IDC_MANAGE);
  EXPECT_EQ(S_OK, page()->TranslateAccelerator(&enter));
  driver.Finish();
  EXPECT_EQ(Call("BeginTokenOperation"), host().Trace().front());
  EXPECT_EQ(Call("Refresh", 0), host().Trace().back());
}

TEST_F(PageNotifyTest, EnterOnSomethingElseRunsNothingAndF5AsksTheHostForAFullRefreshBothConsumed) {
  MSG enter = Key(WM_KEYDOWN, VK_RETURN, harness.Item(IDC_PIN_BLOCKED));
  EXPECT_EQ(S_OK, page()->TranslateAccelerator(&enter));
  enter.hwnd = reinterpret_cast<HWND>(static_cast<intptr_t>(0x7FFFF0));
  EXPECT_EQ(S_OK, page()->TranslateAccelerator(&enter)) << "not a window";
  EXPECT_TRUE(host().calls.empty()) << "the host saw " << host().calls.front().ToString();

  for (MSG f5 : {Key(WM_KEYDOWN, VK_F5, harness.Item(IDC_MANAGE)), Key(WM_SYSKEYDOWN, VK_F5, harness.frame())}) {
    host().Clear();
    EXPECT_EQ(S_OK, page()->TranslateAccelerator(&f5));
    EXPECT_EQ(std::vector<std::string>{Call("Refresh", 1)}, host().Trace()) << "message " << f5.message;
  }
}

TEST_F(PageNotifyTest, OtherInputGoesThroughTheDialogManagerAndTheRestIsNotTaken) {
  ASSERT_EQ(S_OK, page()->Show(SW_SHOW));
  ::SetFocus(harness.Item(IDC_CHANGE_USER_PIN));
  MSG tab = Key(WM_KEYDOWN, VK_TAB, harness.Item(IDC_CHANGE_USER_PIN));
  EXPECT_EQ(S_OK, page()->TranslateAccelerator(&tab)) << "a key for the page's own control";
  MSG foreign = Key(WM_KEYDOWN, 'A', harness.frame());
  EXPECT_EQ(S_FALSE, page()->TranslateAccelerator(&foreign)) << "a key for a window outside the page";
  MSG mouse = Key(WM_MOUSEMOVE, 0, harness.frame());
  EXPECT_EQ(S_FALSE, page()->TranslateAccelerator(&mouse));
  MSG paint = Key(WM_PAINT, 0, harness.Item(IDC_MANAGE));
  EXPECT_EQ(S_FALSE, page()->TranslateAccelerator(&paint)) << "not an input message";
  EXPECT_EQ(E_POINTER, page()->TranslateAccelerator(nullptr));
  EXPECT_TRUE(host().calls.empty()) << "the host saw " << host().calls.front().ToString();
}

TEST_F(PageNotifyTest, ButtonsActOnlyOnTheClickNotification) {
  HWND page = harness.PageWindow();
  for (int id : {IDC_MANAGE, IDC_IMPORT, IDC_AUTO_REGISTRATION, IDC_CHANGE_USER_PIN, IDC_CHANGE_PASSWORD}) {
    for (WORD code : {WORD(BN_DOUBLECLICKED), WORD(BN_SETFOCUS), WORD(BN_KILLFOCUS)}) {
      ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(harness.Item(id)));
    }
  }
  EXPECT_TRUE(host().calls.empty()) << "the host saw " << host().calls.front().ToString();
  testkit::ModalDriver driver;
  driver.Then("settings", testkit::AnyDialog(), [](testkit::ModalWindow& dialog) { dialog.Press(IDCANCEL); });
  EXPECT_EQ(S_OK, harness.Click(IDC_AUTO_REGISTRATION));
  driver.Finish();
  EXPECT_EQ(std::vector<std::string>{Call("GetAutoRegistration")}, host().Trace());
}

// Without host interfaces the token buttons cannot begin their guard and show nothing.
TEST_F(PageTest, WithoutHostInterfacesTheButtonsEndQuietly) {
  host().answersStatus = false;
  ASSERT_EQ(S_OK, harness.Create());
  ASSERT_EQ(S_OK, harness.Connect());
  ASSERT_EQ(E_POINTER, harness.Activate());
  testkit::ModalDriver driver;  // fails the test on any dialog
  EXPECT_EQ(E_FAIL, harness.Click(IDC_MANAGE));
  EXPECT_EQ(E_FAIL, harness.Click(IDC_IMPORT));
  EXPECT_EQ(-1, harness.Click(IDC_AUTO_REGISTRATION));
  testkit::PumpMessages(100);
  driver.Finish();
  EXPECT_TRUE(host().calls.empty()) << "the host saw " << host().calls.front().ToString();
}
