// The page's message boxes: text, caption, owner, icon, buttons, the host's error
// descriptions and the status text that goes away before a box appears.
// ShowMessage and ShowErrorMessage are called on a page linked into this
// executable (its strings come from the executable's copy of the resources).
#include <functional>

#include "page/PageFixture.h"
#include "page/UserPage.h"

class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(harness.Ready());
    const HRESULT hr = harness.Open();
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    userPage = static_cast<UserPage*>(harness.page());
  }

  // With a status text up, runs `show` with a driver that answers the box with OK; what
  // the box showed, and whether the status text was still up then.
  ShownWindow Box(const std::function<int()>& show) {
    host().statusShown = true;
    host().Clear();
    testkit::ModalDriver driver;
    driver.Then("message box", testkit::AnyDialog(), [&](ModalWindow& box) {
      statusAtBox = host().statusShown;
      box.Press(IDOK);
    });
    EXPECT_EQ(IDOK, show());
    driver.Finish();
    return driver.Shown().empty() ? ShownWindow() : driver.Shown().front();
  }

  testkit::FakeHost& host() { return harness.host; }

  testkit::PageHarness harness{&UserPage::CreateInstance};
  UserPage* userPage = nullptr;
  bool statusAtBox = true;
};

// The host's description follows the message after an empty line; without one, the code
// follows on a second line. Without an owner a box belongs to the page's top-level window
// (a child cannot own a popup); an error box has the page's title, the error icon and only OK.
TEST_F(MessageTest, AnErrorShowsTheHostsDescriptionCutToTheBufferOrElseTheCode) {
  const std::string registerHead = "Unable to register certificate.\n\n";
  const struct {
    bool hasText;
    HRESULT textResult;
    std::wstring text;
    UINT message;
    HRESULT code;
    std::string shown;
  } cases[] = {
      {true, S_OK, L"not asked for", IDS_REGISTER_FAILED, 0, "Unable to register certificate."},
      {true, S_OK, L"The token was removed.", IDS_REGISTER_FAILED, E_FAIL,
       "Unable to register certificate.\n\nThe token was removed."},
      {false, S_OK, L"", IDS_REGISTER_FAILED, E_FAIL, "Unable to register certificate.\nError Code is  0x80004005."},
      // A text the host hands out with a failure, or an empty success, is no description.
      {true, S_FALSE, L"not a description", IDS_REGISTER_FAILED, E_FAIL,
       "Unable to register certificate.\nError Code is  0x80004005."},
      {true, S_OK, L"", IDS_IMPORT_FAILED, static_cast<HRESULT>(0xB00100A0),
       "An error occurred while importing the certificate.\nError Code is  0xb00100a0."},
      {false, S_OK, L"", 0, 7, "\nError Code is  0x7."},  // message id 0 leaves the first line empty
      // A huge description is cut at the composed buffer of 1536 bytes, terminator included.
      {true, S_OK, std::wstring(100000, L'x'), IDS_REGISTER_FAILED, E_FAIL,
       registerHead + std::string(1535 - registerHead.size(), 'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown.substr(0, 80));
    host().hasErrorText = c.hasText;
    host().errorTextResult = c.textResult;
    host().errorText = c.text;
    const ShownWindow box = Box([&] { return userPage->ShowErrorMessage(c.message, c.code, nullptr); });
    EXPECT_EQ(c.shown, box.text);
    EXPECT_EQ("User Tools", box.title);
    EXPECT_EQ(harness.frame(), box.owner);
    EXPECT_EQ(BoxIcon::Error, box.icon) << ToString(box.icon);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    EXPECT_FALSE(statusAtBox);
    // The description is asked for before the status text goes.
    std::vector<std::string> expected = {Call("HideStatus")};
    if (c.code) expected.insert(expected.begin(), Call("GetErrorText", static_cast<unsigned long>(c.code)));
    EXPECT_EQ(expected, host().Trace());
  }
}

// A box with an owner belongs to it and takes its text as the caption.
TEST_F(MessageTest, ABoxBelongsToItsOwnerAndTakesItsTextAsCaption) {
  HWND owner = ::CreateWindowExA(0, "STATIC", "Import Certificate", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 150, 400,
                                 300, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, owner);
  ShownWindow box = Box([&] { return userPage->ShowMessage(IDS_IMPORT_SUCCEEDED, owner, MB_ICONASTERISK); });
  EXPECT_EQ("Import Certificate", box.title);
  EXPECT_EQ(owner, box.owner);
  EXPECT_EQ("The certificate has been successfully imported.", box.text);
  EXPECT_EQ(BoxIcon::Information, box.icon) << ToString(box.icon);
  EXPECT_FALSE(statusAtBox);
  box = Box([&] { return userPage->ShowErrorMessage(IDS_IMPORT_FAILED, E_FAIL, owner); });
  EXPECT_EQ("Import Certificate", box.title);
  EXPECT_EQ(owner, box.owner);
  ::DestroyWindow(owner);
}
