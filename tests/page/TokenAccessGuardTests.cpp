// The bracket of every token operation, as the host sees it through the
// page's guarded buttons.
#include "page/PageFixture.h"

#include "cryptoki/CkStatus.h"
#include "cryptoki/CryptokiBinding.h"
#include "cryptoki/TokenAccessGuard.h"

using testkit::Arg;
using testkit::Call;

namespace {

// Manage's work between the guard's begin and end, when the inventory cannot be read.
std::vector<std::string> ManageBody(HWND page, HRESULT readResult) {
  return {
      Call("GetSerialNumber"),
      Call("CloseToken"),
      Call("ShowStatus", Arg(page), 0),
      Call("HideStatus"),
      Call("GetErrorText", static_cast<long long>(static_cast<unsigned long>(readResult))),
      Call("HideStatus"),
  };
}

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<std::string>& GuardEnd() {
  static const std::vector<std::string> end = {Call("CloseToken"), Call("EndTokenOperation"), Call("Refresh", 0)};
  return end;
}

}  // namespace

class GuardTest : public PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    if (HasFatalFailure()) return;
    OpenAndClear();
  }
};

TEST_F(GuardTest, ABegunOperationOpensTheTokenReportsTheResultAndEndsWithCloseAndRefresh) {
  testkit::ModalDriver driver;
  driver.AnswerBox(IDOK);
  harness.Click(IDC_MANAGE);
  driver.Finish();
  std::vector<std::string> begin = {Call("BeginTokenOperation"), Call("QueryRefreshNeeded", 0),
                                    Call("OpenToken", 0, 1), Call("UpdateTokenStatus"), Call("ReportResult", 0)};
  // The suite's token store holds no token, so the inventory cannot be read.
  const std::vector<std::string> body =
      ManageBody(harness.PageWindow(), MapCkResult(CryptokiBinding::kNoTokenPresent));
  EXPECT_EQ(Joined(Joined(begin, body), GuardEnd()), host().Trace());

  // Every Manage asks for the serial number again.
  host().serial = L"second";
  driver.AnswerBox(IDOK);
  harness.Click(IDC_MANAGE);
  driver.Finish();
  EXPECT_EQ(2u, host().Count("GetSerialNumber"));
  EXPECT_EQ(2u, host().Count("BeginTokenOperation"));
  EXPECT_EQ(2u, host().Count("EndTokenOperation"));
}

TEST_F(GuardTest, ARefreshTheHostAsksForComesFirstAndOpensWithoutItsFlag) {
  host().refreshNeeded = 1;
  host().openTokenResult = 0x80100001;
  host().reportResultOverride = true;
  host().reportResultValue = E_FAIL;
  EXPECT_EQ(E_FAIL, harness.Click(IDC_IMPORT));
  const std::vector<std::string> expected = Joined(
      {Call("BeginTokenOperation"), Call("QueryRefreshNeeded", 0), Call("Refresh", 1), Call("OpenToken", 0, 0),
       Call("ReportResult", 0x80100001LL)},
      GuardEnd());
  EXPECT_EQ(expected, host().Trace()) << "a token that did not open gets no UpdateTokenStatus";
}

TEST_F(GuardTest, AFailedRefreshAbortsBeforeTheTokenIsOpened) {
  host().refreshNeeded = 1;
  host().refreshFullResult = S_FALSE;
  EXPECT_EQ(E_FAIL, harness.Click(IDC_MANAGE));
  const std::vector<std::string> expected =
      Joined({Call("BeginTokenOperation"), Call("QueryRefreshNeeded", 0), Call("Refresh", 1)}, GuardEnd());
  EXPECT_EQ(expected, host().Trace());
  EXPECT_EQ(0u, host().Count("OpenToken"));
}

TEST_F(GuardTest, TheHostsReportDecidesWhetherTheOperationGoesOn) {
  // The token did not open, but the host's report lets the operation continue.
  host().openTokenResult = 0x80100001;
  host().reportResultOverride = true;
  host().reportResultValue = S_OK;
  testkit::ModalDriver driver;
  driver.Then("import", testkit::AnyDialog(), [](testkit::ModalWindow& dialog) { dialog.Press(IDCANCEL); });
  EXPECT_EQ(S_OK, harness.Click(IDC_IMPORT));
  driver.Finish();
  const std::vector<std::string> expected = Joined(
      {Call("BeginTokenOperation"), Call("QueryRefreshNeeded", 0), Call("OpenToken", 0, 1),
       Call("ReportResult", 0x80100001LL), Call("GetSerialNumber"), Call("CloseToken")},
      GuardEnd());
  EXPECT_EQ(expected, host().Trace());

  // And a token that opened can still be refused by the host's report.
  host().Clear();
  host().openTokenResult = S_OK;
  host().reportResultValue = E_ABORT;
  EXPECT_EQ(E_FAIL, harness.Click(IDC_MANAGE));
  EXPECT_EQ(Joined({Call("BeginTokenOperation"), Call("QueryRefreshNeeded", 0), Call("OpenToken", 0, 1),
                    Call("UpdateTokenStatus"), Call("ReportResult", 0)},
                   GuardEnd()),
            host().Trace());
}

TEST_F(GuardTest, AQuietRefreshThatCannotOpenTheTokenStopsAfterTheBracket) {
  host().openTokenResult = 0x80100001;
  ASSERT_EQ(S_OK, page()->Deactivate());
  host().Clear();
  ASSERT_EQ(S_OK, harness.Activate());
  const std::vector<std::string> trace = host().TraceFrom("BeginTokenOperation");
  const std::vector<std::string> expected = {
      Call("BeginTokenOperation"), Call("QueryRefreshNeeded", 0), Call("OpenToken", 0, 1),
      Call("CloseToken"),          Call("EndTokenOperation"),     Call("Refresh", 0),
      Call("IsAutoRegistrationOffered", 0)};
  EXPECT_EQ(expected, trace) << "quiet: no ReportResult, and no serial number without an open token";
}

TEST_F(PageTest, AGuardWithoutTheTokenInterfaceEndsTheHostsOperationWithoutClosingTheToken) {
  ASSERT_EQ(S_OK, harness.Create());
  ASSERT_EQ(S_OK, harness.Connect(1));
  ASSERT_EQ(E_POINTER, harness.Activate());
  host().Clear();
  EXPECT_EQ(E_FAIL, harness.Click(IDC_MANAGE));
  const std::vector<std::string> expected = {Call("EndTokenOperation"), Call("Refresh", 0)};
  EXPECT_EQ(expected, host().Trace());
}

TEST(TokenAccessGuard, WithoutAPageBeginIsUnexpected) {
  TokenAccessGuard guard(nullptr);
  EXPECT_EQ(E_UNEXPECTED, guard.Begin(TRUE));
  EXPECT_EQ(E_UNEXPECTED, guard.Begin(FALSE));
}
