#pragma once
// A page of the real DLL in a host-like window, with the fake host.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kit/ModalDriver.h"
#include "kit/PageHarness.h"
#include "kit/SoftToken.h"
#include "res/resource.h"

// Rectangles compare and print in the checks.
inline bool operator==(const RECT& a, const RECT& b) { return ::EqualRect(&a, &b) != FALSE; }
inline void PrintTo(const RECT& r, std::ostream* os) {
  *os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

using ::testing::Contains;
using ::testing::Field;
using testkit::Arg;
using testkit::BoxIcon;
using testkit::Call;
using testkit::ModalWindow;
using testkit::ShownWindow;

// The page's box for a token operation that failed with `code`.
inline std::string Failure(const char* what, unsigned code) {
  char hex[16];
  ::wsprintfA(hex, "%x", code);
  return std::string("An error occurred while ") + what + ".\nError Code is  0x" + hex + ".";
}

class PageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module.loaded()) << "cannot load the page DLL, error " << ::GetLastError();
    ASSERT_TRUE(harness.Ready());
  }

  // Opens the page the way the host does and forgets what the host saw so far.
  void OpenAndClear() {
    const HRESULT hr = harness.Open();
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    ASSERT_NE(nullptr, harness.PageWindow());
    host().Clear();
  }

  testkit::FakeHost& host() { return harness.host; }
  IPropertyPage* page() { return harness.page(); }

  // The controls of the page's table, in table order.
  static constexpr int kTable[] = {IDC_CHANGE_USER_PIN, IDC_CERTIFICATE_GROUP, IDC_MANAGE,
                                   IDC_IMPORT,          IDC_PKI_STORAGE_GROUP, IDC_CHANGE_PASSWORD,
                                   IDC_PIN_BLOCKED,     IDC_PASSWORD_BLOCKED,  IDC_AUTO_REGISTRATION};

  // The table's controls, each "S" or "h" (shown, hidden) followed by "E" or "d" (enabled, disabled).
  std::string States() const {
    std::string states;
    for (int id : kTable)
      states += std::string(states.empty() ? "" : " ") + (harness.ItemShown(id) ? "S" : "h") +
                (harness.ItemEnabled(id) ? "E" : "d");
    return states;
  }

  // Where the page has put control `id`.
  RECT At(int id) const { return harness.RectIn(harness.Item(id), harness.PageWindow()); }

  testkit::ModuleUnderTest module;
  testkit::PageHarness harness{module};
};

// Its driver answers the dialogs a test expects; any other dialog fails the test.
class DrivenPageTest : public PageTest {
 protected:
  // Expects a box of the page with `text` and `icon`; runs `then` and presses OK.
  void ExpectBox(const std::string& text, BoxIcon icon = BoxIcon::Error, std::function<void()> then = nullptr) {
    driver.Then(text, testkit::Titled("User Tools"), [text, icon, then](ModalWindow& box) {
      EXPECT_EQ(text, box.MessageText());
      EXPECT_EQ(icon, box.Icon()) << ToString(box.Icon());
      if (then) then();
      box.Press(IDOK);
    });
  }

  testkit::ModalDriver driver;
};

// A page already open, with what the host saw of the opening forgotten.
class OpenPageTest : public DrivenPageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    if (!HasFatalFailure()) OpenAndClear();
  }
};

// The page open on a software token in slot 3 ("0a1b2c3d", which the host hands in capitals),
// after a decoy in slot 1, so that the slot is found by its serial and not by its place; the
// token's calls traced from there.
class PageOnTokenTest : public DrivenPageTest {
 protected:
  static constexpr CK_SLOT_ID kSlot = 3;
  static constexpr char kOldPassword[] = "old-password";

  void SetUp() override {
    PageTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(token.ready()) << "cannot load ZeltP11.dll, error " << ::GetLastError();
    ASSERT_EQ(CKR_OK, token.CreateToken(1, "99990000", kOldPassword));
    ASSERT_EQ(CKR_OK, token.CreateToken(kSlot, "0a1b2c3d", kOldPassword));
    host().serial = L"0A1B2C3D";
    OpenAndClear();
    token.StartTrace();
  }
  // The page and its hold on the library go before the token.
  void TearDown() override { harness.Release(); }

  // Presses `button` (0: the host's refresh notification) with the driver answering the boxes;
  // the handler's result.
  LRESULT Press(int button) {
    const LRESULT result = button ? harness.Click(button) : harness.Notify(TPN_REFRESH, 0);
    driver.Finish();
    return result;
  }

  testkit::SoftToken token;
};
