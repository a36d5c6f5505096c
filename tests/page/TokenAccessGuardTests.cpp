// The bracket of every token operation, as the host sees it through the
// page's guarded buttons.
#include "cryptoki/CkStatus.h"
#include "cryptoki/CryptokiBinding.h"
#include "page/PageFixture.h"

namespace {

// What the host sees of a guarded operation that does `body` with the token.
std::vector<std::string> Bracketed(const std::vector<std::string>& body) {
  std::vector<std::string> all = {Call("BeginTokenOperation"), Call("QueryRefreshNeeded", 0)};
  all.insert(all.end(), body.begin(), body.end());
  for (const std::string& end : {Call("CloseToken"), Call("EndTokenOperation"), Call("Refresh", 0)}) all.push_back(end);
  return all;
}

}  // namespace

using GuardTest = OpenPageTest;

// Manage, when the inventory cannot be read (the suite's token store holds no token).
TEST_F(GuardTest, ABegunOperationOpensTheTokenReportsTheResultAndEndsWithCloseAndRefresh) {
  const unsigned code = MapCkResult(CryptokiBinding::kNoTokenPresent);
  const std::string text = Failure("reading certificates from the Zelt", code);
  ExpectBox(text, BoxIcon::Error, [&] { EXPECT_FALSE(host().statusShown) << "the status text goes before the box"; });
  EXPECT_EQ(-1, harness.Click(IDC_MANAGE));
  driver.Finish();
  const std::vector<std::string> body = {
      Call("OpenToken", 0, 1), Call("UpdateTokenStatus"),  Call("ReportResult", 0),
      Call("GetSerialNumber"), Call("CloseToken"),         Call("ShowStatus", Arg(harness.PageWindow()), 0),
      Call("HideStatus"),      Call("GetErrorText", code), Call("HideStatus")};
  EXPECT_EQ(Bracketed(body), host().Trace());
  EXPECT_THAT(host().calls, Contains(Field(&testkit::HostCall::text, L"Reading certificates from the token...")));

  // Every Manage asks for the serial number again.
  ExpectBox(text);
  harness.Click(IDC_MANAGE);
  driver.Finish();
  EXPECT_EQ(2u, host().Count("GetSerialNumber"));
}

// A refresh the host asks for comes first and opens without the flag; the host's report
// of the opening decides whether the operation goes on.
TEST_F(GuardTest, TheHostsRefreshAndReportDecideWhetherTheOperationGoesOn) {
  const struct {
    int button;
    LONG refreshNeeded;
    HRESULT opened, reported;
    LRESULT result;
    std::vector<std::string> body;
  } cases[] = {
      {IDC_IMPORT, 1, SCARD_E_NO_SMARTCARD, E_FAIL, E_FAIL,
       {Call("Refresh", 1), Call("OpenToken", 0, 0), Call("ReportResult", 0x8010000C)}},
      {IDC_IMPORT, 0, SCARD_E_NO_SMARTCARD, S_OK, S_OK,
       {Call("OpenToken", 0, 1), Call("ReportResult", 0x8010000C), Call("GetSerialNumber"), Call("CloseToken")}},
      {IDC_MANAGE, 0, S_OK, E_ABORT, E_FAIL,
       {Call("OpenToken", 0, 1), Call("UpdateTokenStatus"), Call("ReportResult", 0)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body[1]);
    host().Clear();
    host().refreshNeeded = c.refreshNeeded;
    host().openTokenResult = c.opened;
    host().reportResult = c.reported;
    if (c.result == S_OK)
      driver.Then("import", testkit::Titled("Import Certificate"), [](ModalWindow& d) { d.Press(IDCANCEL); });
    EXPECT_EQ(c.result, harness.Click(c.button));
    driver.Finish();
    EXPECT_EQ(Bracketed(c.body), host().Trace());
  }
}

TEST_F(GuardTest, AFailedRefreshEndsEveryGuardedButtonWithEFailBeforeTheTokenIsOpened) {
  host().refreshNeeded = 1;
  host().refreshFullResult = S_FALSE;
  for (int button : {IDC_MANAGE, IDC_IMPORT, IDC_CHANGE_PASSWORD, IDC_CHANGE_USER_PIN}) {
    SCOPED_TRACE(button);
    host().Clear();
    EXPECT_EQ(E_FAIL, harness.Click(button));  // and no dialog
    driver.Finish();
    EXPECT_EQ(Bracketed({Call("Refresh", 1)}), host().Trace());
  }
}

// Without the token interface the guard only ends the host's operation; without the status
// interface too the buttons reach nothing of the host and Auto Registration ends with -1.
TEST_F(DrivenPageTest, WithoutAHostInterfaceTheButtonsEndQuietly) {
  for (bool status : {true, false}) {
    SCOPED_TRACE(status ? "no token interface" : "no host interface");
    host().answersStatus = status;
    ASSERT_EQ(S_OK, harness.Create());
    ASSERT_EQ(S_OK, harness.Connect(1));
    ASSERT_EQ(E_POINTER, harness.Activate());
    host().Clear();
    EXPECT_EQ(E_FAIL, harness.Click(IDC_MANAGE));  // and no dialog
    EXPECT_EQ(E_FAIL, harness.Click(IDC_IMPORT));
    // Auto Registration needs only the status interface; without it nothing opens.
    if (!status) {
      EXPECT_EQ(-1, harness.Click(IDC_AUTO_REGISTRATION));
    }
    const std::vector<std::string> ends = {Call("EndTokenOperation"), Call("Refresh", 0), Call("EndTokenOperation"),
                                           Call("Refresh", 0)};
    EXPECT_EQ(status ? ends : std::vector<std::string>{}, host().Trace());
    harness.Release();
  }
}
