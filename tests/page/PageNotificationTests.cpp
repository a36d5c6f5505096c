// What the host's notifications, the keyboard and the button messages do to
// an active page.
#include "page/PageFixture.h"

class PageNotifyTest : public OpenPageTest {
 protected:
  static MSG Key(UINT message, WPARAM key, HWND window) { return MSG{window, message, key, 0, 0, {}}; }
};

// Each notification in turn, with the PIN blocked: the table's states afterwards, and
// whether the PIN state was asked for.
TEST_F(PageNotifyTest, EachNotificationSetsTheControlsOfItsStateAndOtherCodesChangeNothing) {
  host().pinFirst = 0;
  host().pinSecond = 1;
  const struct {
    WPARAM code;
    LPARAM value;
    const char* states;
    bool asksPin;
  } steps[] = {
      {TPN_DISABLE, 9, "hd hd hd hd hd hd Sd hd Sd", true},
      {TPN_PASSWORD_BLOCKED, 0, "hd hd hd hd hd hd Sd Sd Sd", false},
      // Reset enables everything and hides both labels, leaving the rest as it is.
      {TPN_RESET, 0, "hE hE hE hE hE hE hE hE SE", false},
      // States 1 and 2 show every managed control; the labels and Auto Registration keep
      // their visibility, and the token buttons follow the code.
      {TPN_ENABLE, 1, "SE SE SE SE SE SE SE hE SE", true},
      {TPN_DISABLE, 2, "SE SE Sd Sd SE Sd SE hE SE", true},
      // Another state hides and disables them, but the token buttons still follow the code.
      {TPN_ENABLE, 7, "hd hd hE hE hd hE Sd hd Sd", true},
      // State 0 matches every entry through the table's empty places.
      {TPN_DISABLE, 0, "SE SE Sd Sd SE Sd SE hE SE", true},
      {TPN_DISABLE, 3, "hd hd hd hd hd hd Sd hd Sd", true},
      {TPN_ENABLE, 0, "SE SE SE SE SE SE SE hE SE", true},
      {TPN_PASSWORD_BLOCKED, 0, "SE SE SE SE SE SE SE SE SE", false},
      {0, 1, "SE SE SE SE SE SE SE SE SE", false},
      {6, 1, "SE SE SE SE SE SE SE SE SE", false},
      {0xFFFFFFFF, 1, "SE SE SE SE SE SE SE SE SE", false},
      {TPN_PASSWORD_UNBLOCKED, 0, "SE SE SE SE SE SE SE hE SE", false},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(::testing::Message() << "code " << s.code << " value " << s.value);
    host().Clear();
    EXPECT_EQ(0, harness.Notify(s.code, s.value));
    EXPECT_EQ(s.states, States());
    EXPECT_EQ(s.asksPin ? std::vector<std::string>{Call("GetPinState", 0, 0)} : std::vector<std::string>{},
              host().Trace());
  }
}

TEST_F(PageNotifyTest, ThePinLabelShowsOnlyForAPinStateOfZeroAndNotZero) {
  const struct {
    LONG first, second;
    HRESULT result;
    bool blocked;
  } cases[] = {{0, 0x7FFFFFFF, S_OK, true}, {1, 1, S_OK, false}, {0, 0, S_OK, false}, {0, 1, S_FALSE, false}};
  for (const auto& c : cases) {
    host().pinFirst = c.first;
    host().pinSecond = c.second;
    host().getPinStateResult = c.result;
    harness.Notify(TPN_ENABLE, 1);
    EXPECT_EQ(c.blocked, harness.ItemShown(IDC_PIN_BLOCKED))
        << "GetPinState " << c.first << "," << c.second << " -> " << std::hex << c.result;
  }
}

TEST_F(PageNotifyTest, RefreshUpdatesThePinLabelAndRefreshesThePasswordStateLoudly) {
  host().pinFirst = 0;
  host().pinSecond = 2;
  EXPECT_EQ(0, harness.Notify(TPN_REFRESH, 0));
  EXPECT_TRUE(harness.ItemShown(IDC_PIN_BLOCKED));
  const std::vector<std::string> expected = {
      Call("GetPinState", 0, 0), Call("BeginTokenOperation"), Call("QueryRefreshNeeded", 0), Call("OpenToken", 0, 1),
      Call("UpdateTokenStatus"), Call("ReportResult", 0),      Call("GetSerialNumber"),      Call("CloseToken"),
      Call("CloseToken"),        Call("EndTokenOperation"),    Call("Refresh", 0)};
  EXPECT_EQ(expected, host().Trace());
}

// Tab and mnemonics of the host's sheet reach into the page's controls.
TEST_F(PageNotifyTest, ChangingTheExtendedStyleKeepsThePageAControlParent) {
  ::SetWindowLongA(harness.PageWindow(), GWL_EXSTYLE, WS_EX_TRANSPARENT);
  const LONG style = ::GetWindowLongA(harness.PageWindow(), GWL_EXSTYLE);
  EXPECT_TRUE(style & WS_EX_CONTROLPARENT);
  EXPECT_TRUE(style & WS_EX_TRANSPARENT);
}

TEST_F(PageNotifyTest, EnterRunsTheFocusedButtonF5RefreshesAndOtherKeysGoToTheDialogManager) {
  ASSERT_EQ(S_OK, page()->Show(SW_SHOW));
  // The host translates the message of the focused window.
  MSG enter = Key(WM_KEYDOWN, VK_RETURN, harness.Item(IDC_AUTO_REGISTRATION));
  driver.Then("settings", testkit::Titled("Auto Certificate Registration Settings"),
              [](ModalWindow& dialog) { dialog.Press(IDCANCEL); });
  EXPECT_EQ(S_OK, page()->TranslateAccelerator(&enter));
  driver.Finish();
  EXPECT_EQ(std::vector<std::string>{Call("GetAutoRegistration")}, host().Trace());

  host().Clear();
  enter.hwnd = harness.Item(IDC_PIN_BLOCKED);
  EXPECT_EQ(S_OK, page()->TranslateAccelerator(&enter)) << "Enter on a label does nothing";
  EXPECT_EQ(std::vector<std::string>{}, host().Trace());
  for (MSG f5 : {Key(WM_KEYDOWN, VK_F5, harness.Item(IDC_MANAGE)), Key(WM_SYSKEYDOWN, VK_F5, harness.frame())}) {
    host().Clear();
    EXPECT_EQ(S_OK, page()->TranslateAccelerator(&f5));
    EXPECT_EQ(std::vector<std::string>{Call("Refresh", 1)}, host().Trace()) << "message " << f5.message;
  }

  // Other keys of the page's controls go through the dialog manager; the rest is not taken.
  host().Clear();
  ::SetFocus(harness.Item(IDC_CHANGE_USER_PIN));
  MSG tab = Key(WM_KEYDOWN, VK_TAB, harness.Item(IDC_CHANGE_USER_PIN));
  EXPECT_EQ(S_OK, page()->TranslateAccelerator(&tab));
  for (MSG other : {Key(WM_KEYDOWN, 'A', harness.frame()), Key(WM_MOUSEMOVE, 0, harness.frame()),
                    Key(WM_PAINT, 0, harness.Item(IDC_MANAGE))})
    EXPECT_EQ(S_FALSE, page()->TranslateAccelerator(&other)) << "message " << other.message;
  EXPECT_EQ(E_POINTER, page()->TranslateAccelerator(nullptr));
  EXPECT_EQ(std::vector<std::string>{}, host().Trace());
}

TEST_F(PageNotifyTest, ButtonsActOnlyOnTheClickNotification) {
  for (int id : {IDC_MANAGE, IDC_IMPORT, IDC_AUTO_REGISTRATION, IDC_CHANGE_USER_PIN, IDC_CHANGE_PASSWORD})
    for (WORD code : {BN_DOUBLECLICKED, BN_SETFOCUS, BN_KILLFOCUS})
      ::SendMessageA(harness.PageWindow(), WM_COMMAND, MAKEWPARAM(id, code),
                     reinterpret_cast<LPARAM>(harness.Item(id)));
  EXPECT_EQ(std::vector<std::string>{}, host().Trace());
}
