#pragma once
// The page of the real DLL on a token of the software token, as the suites that walk its dialogs
// set it up: the token in `slot` with `serial` and the PKI password, the host answering with them
// (the serial in capitals, as a host reads it), and a driver for the dialogs. The token outlives
// the page: members go in reverse order.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <utility>

#include "kit/FakeHost.h"
#include "kit/ModalDriver.h"
#include "kit/ModuleUnderTest.h"
#include "kit/PageHarness.h"
#include "kit/SoftToken.h"
#include "kit/TokenContents.h"

namespace testkit {

class TokenPageTest : public ::testing::Test {
 protected:
  static constexpr char kPassword[] = "pki-password";

  TokenPageTest(CK_SLOT_ID slot, std::string serial) : slot_(slot), serial_(std::move(serial)) {}

  // Everything loaded and the token made, empty; the test fails at once otherwise.
  void SetUp() override {
    ASSERT_TRUE(soft.ready()) << "cannot load ZeltP11.dll, error " << ::GetLastError();
    ASSERT_TRUE(module.loaded()) << "cannot load the page DLL, error " << ::GetLastError();
    ASSERT_TRUE(harness.Ready()) << "no display";
    ASSERT_EQ(CKR_OK, soft.CreateToken(slot_, serial_, kPassword));
  }
  // Opens the page on the token and forgets what the host saw of it.
  void OpenPage() {
    host().serial.clear();
    for (char c : serial_) host().serial += static_cast<wchar_t>(std::towupper(static_cast<unsigned char>(c)));
    host().password.assign(kPassword, kPassword + sizeof kPassword - 1);
    const HRESULT hr = harness.Open();
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    host().Clear();
  }

  // Presses a button of the page and runs the queued steps; the handler's result.
  LRESULT Click(int button) {
    const LRESULT result = harness.Click(button);
    driver.Finish();
    return result;
  }
  // A step on the dialog made from template `id` of the page DLL.
  void OnTemplate(const std::string& what, UINT id, StepAction action) {
    driver.Then(what, FromTemplate(module.handle(), id), std::move(action));
  }
  // A step on a message box: its text (its start when `prefix`), title and icon, then `then`
  // while it is up; answered with `answer`.
  void ExpectBox(const std::string& text, int answer, const std::string& title, BoxIcon icon, bool prefix = false,
                 StepAction then = nullptr) {
    driver.Then(text.substr(0, 40), AnyDialog(), [=](ModalWindow& box) {
      EXPECT_EQ(text, prefix ? box.MessageText().substr(0, text.size()) : box.MessageText());
      EXPECT_EQ(title, box.Title());
      EXPECT_EQ(icon, box.Icon()) << ToString(box.Icon());
      if (then) then(box);
      box.Press(answer);
    });
  }

  FakeHost& host() { return harness.host; }

  const CK_SLOT_ID slot_;
  const std::string serial_;
  SoftToken soft;
  TokenContents contents{soft, slot_, kPassword};
  ModuleUnderTest module;
  PageHarness harness{module};
  ModalDriver driver;
};

}  // namespace testkit
