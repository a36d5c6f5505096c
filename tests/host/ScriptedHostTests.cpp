// TokenUtility.exe as a scripted run sees it: whatever the page shows while it activates or
// while the application closes, the run ends on time and no prompt answers for the user.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/ChildProcess.h"
#include "kit/Paths.h"
#include "kit/SoftToken.h"

namespace {

const CK_SLOT_ID kSlot = 2;
const DWORD kWatchdogExit = 3;  // the host's own watchdog: the run hung

class ScriptedHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(token.ready()) << "cannot load ZeltP11.dll, error " << ::GetLastError();
    ASSERT_EQ(CKR_OK, token.CreateToken(kSlot, "5C21A7D0", "pki-password"));
  }

  // Runs the host with the page from beside this test (and `environment`); it must end within
  // `seconds` (else it is stopped) and not through its own watchdog.
  void Run(const std::wstring& arguments, DWORD seconds, const std::wstring& serial = L"5C21A7D0",
           const testkit::Environment& environment = {}) {
    const std::wstring bin = testkit::BinDir();
    const std::wstring command = L"\"" + bin + L"TokenUtility.exe\" --page-dll \"" + bin + L"ZeltUtilUserPage.dll\" " +
                           L"--serial " + serial + L" " + arguments;
    // Without a standard error the host would report its own failures in a message box.
    const testkit::ChildRun run = testkit::RunChild(command, seconds * 1000, environment);
    ASSERT_TRUE(run.started) << "cannot start the host, error " << run.startError;
    EXPECT_FALSE(run.timedOut) << "the host still ran after " << seconds << " s; it wrote:\n" << run.output;
    EXPECT_NE(static_cast<long>(kWatchdogExit), run.exitCode) << "the host's watchdog had to end the run; it wrote:\n"
                                                              << run.output;
  }

  testkit::SoftToken token;
};

}  // namespace

// The page tells the user when the library cannot be loaded, while it is being activated: the
// box runs a modal loop before the host's own loop has started.
TEST_F(ScriptedHost, ABoxWhileThePageActivatesDoesNotHangTheRun) {
  // The host initialises the library first; the second initialisation is the page's.
  Run(L"--exit-after 2000", 30, L"5C21A7D0", {{L"ZELT_SOFTTOKEN_FAIL", L"C_Initialize:2:0x6"}});
}

// The application closing while "Incorrect password! Please try again." is up ends that box and,
// with it, the page's retry: the prompt that the page asks for next is ended by the same quit,
// which is a cancel, not an empty password. The token counts exactly the one wrong password typed.
TEST_F(ScriptedHost, ClosingWhileTheWrongPasswordBoxIsUpCostsNoFurtherTry) {
  Run(L"--old-password wrong-password --new-password new-password --click 206 --click-after 300 --exit-after 2500",
      40);
  EXPECT_EQ(1u, token.PinFailures(kSlot));
  EXPECT_EQ(CKR_OK, token.vendor()->Q_GetPinStatus(kSlot, Q_PIN_USER)) << "not locked";
}

// Two tokens whose serials overlap, the shown one first or second in slot order: the password
// change reaches the shown token only, and the other one counts no failure.
TEST_F(ScriptedHost, ThePageChangesOnlyTheTokenThatTheHostShows) {
  ASSERT_EQ(CKR_OK, token.DeleteToken(kSlot));
  for (const bool shownFirst : {false, true}) {
    SCOPED_TRACE(shownFirst ? "shown token in the first slot" : "shown token in the second slot");
    const CK_SLOT_ID shown = shownFirst ? 1 : 3, other = shownFirst ? 3 : 1;
    ASSERT_EQ(CKR_OK, token.CreateToken(other, "ZT4A7C210", "other-password"));
    ASSERT_EQ(CKR_OK, token.CreateToken(shown, "ZT4A7C21", "shown-password"));
    Run(L"--old-password shown-password --new-password changed-password --click 206 --click-after 300 "
        L"--exit-after 3000", 40, L"ZT4A7C21");
    EXPECT_TRUE(token.UserPinIs(shown, "changed-password"));
    EXPECT_TRUE(token.UserPinIs(other, "other-password"));
    EXPECT_EQ(0u, token.PinFailures(other)) << "a try counted against the token the user was not looking at";
    ASSERT_EQ(CKR_OK, token.DeleteToken(1));
    ASSERT_EQ(CKR_OK, token.DeleteToken(3));
  }
}
