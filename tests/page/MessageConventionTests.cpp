// The page's message boxes: text, caption, owner, icon, the host's error
// descriptions and the status text that goes away before a box appears.
// ShowMessage and ShowErrorMessage are called on a page linked into this
// executable (its strings come from the executable's copy of the resources);
// Manage shows the same convention through the DLL.
#include "page/PageFixture.h"

#include "page/UserPage.h"

using testkit::Arg;
using testkit::BoxIcon;
using testkit::Call;
using testkit::ModalWindow;
using testkit::ShownWindow;

namespace {

// A host-like top-level window to own boxes.
class OwnerWindow {
 public:
  explicit OwnerWindow(const char* title) {
    window_ = ::CreateWindowExA(0, "STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 150, 400, 300, nullptr,
                                nullptr, ::GetModuleHandleA(nullptr), nullptr);
  }
  ~OwnerWindow() {
    if (window_) ::DestroyWindow(window_);
  }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

// What the host had seen when a box appeared.
struct HostAtBox {
  bool statusShown = true;
  std::string lastCall;
};

}  // namespace

class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(harness.Ready());
    HRESULT hr = harness.Open();
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    userPage = static_cast<UserPage*>(harness.page());
    // A status text is up when the box is asked for.
    host().status.ShowStatus(nullptr, nullptr, 0);
    host().Clear();
  }

  testkit::FakeHost& host() { return harness.host; }

  // Runs `show` with a driver that answers the box with `button`; returns what it showed.
  template <typename Show>
  ShownWindow Box(Show show, int button, int* result = nullptr, HostAtBox* atBox = nullptr) {
    testkit::ModalDriver driver;
    driver.Then("message box", testkit::AnyDialog(), [&](ModalWindow& box) {
      if (atBox) {
        atBox->statusShown = host().statusShown;
        atBox->lastCall = host().calls.empty() ? std::string() : host().calls.back().ToString();
      }
      box.Press(button);
    });
    const int r = show();
    if (result) *result = r;
    driver.Finish();
    return driver.Shown().empty() ? ShownWindow() : driver.Shown().front();
  }

  testkit::PageHarness harness{&UserPage::CreateInstance};
  UserPage* userPage = nullptr;
};

TEST_F(MessageTest, CodeZeroShowsThePlainMessageWithTheErrorIconAndOnlyOk) {
  HostAtBox atBox;
  int result = 0;
  const ShownWindow box = Box([&] { return userPage->ShowErrorMessage(IDS_REGISTER_FAILED, 0, nullptr); }, IDOK,
                              &result, &atBox);
  EXPECT_EQ("Unable to register certificate.", box.text);
  EXPECT_EQ(BoxIcon::Error, box.icon) << ToString(box.icon);
  EXPECT_EQ("User Tools", box.title);
  ASSERT_EQ(1u, box.buttons.size());
  EXPECT_EQ(IDOK, box.buttons[0].id);
  EXPECT_EQ(IDOK, result);
  EXPECT_FALSE(atBox.statusShown);
  EXPECT_EQ(0u, host().Count("GetErrorText")) << "no description for code 0";
}

// The host's description follows the message after an empty line; without one, the code
// follows on a second line.
TEST_F(MessageTest, TheHostsDescriptionOrElseTheCodeFollowsTheMessage) {
  const struct {
    bool hasText;
    HRESULT textResult;
    const wchar_t* text;
    UINT message;
    HRESULT code;
    const char* shown;
  } cases[] = {
      {true, S_OK, L"The token was removed.", IDS_REGISTER_FAILED, E_FAIL,
       "Unable to register certificate.\n\nThe token was removed."},
      {false, S_OK, L"", IDS_REGISTER_FAILED, E_FAIL, "Unable to register certificate.\nError Code is  0x80004005."},
      // A text the host hands out with a failure, or an empty success, is no description.
      {true, S_FALSE, L"not a description", IDS_REGISTER_FAILED, E_FAIL,
       "Unable to register certificate.\nError Code is  0x80004005."},
      {true, S_OK, L"", IDS_IMPORT_FAILED, static_cast<HRESULT>(0xB00100A0),
       "An error occurred while importing the certificate.\nError Code is  0xb00100a0."},
      {false, S_OK, L"", 0, 7, "\nError Code is  0x7."},  // message id 0 leaves the first line empty
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    host().Clear();
    host().hasErrorText = c.hasText;
    host().errorTextResult = c.textResult;
    host().errorText = c.text;
    const ShownWindow box = Box([&] { return userPage->ShowErrorMessage(c.message, c.code, nullptr); }, IDOK);
    EXPECT_EQ(c.shown, box.text);
    EXPECT_EQ(BoxIcon::Error, box.icon) << ToString(box.icon);
    const std::vector<std::string> expected = {
        Call("GetErrorText", static_cast<long long>(static_cast<unsigned long>(c.code))), Call("HideStatus")};
    EXPECT_EQ(expected, host().Trace());
  }
}

TEST_F(MessageTest, AHugeDescriptionIsCutAtTheComposedBuffer) {
  host().errorTextResult = S_OK;
  host().hasErrorText = true;
  host().errorText = std::wstring(100000, L'x');
  const ShownWindow box =
      Box([&] { return userPage->ShowErrorMessage(IDS_REGISTER_FAILED, E_FAIL, nullptr); }, IDOK);
  const std::string head = "Unable to register certificate.\n\n";
  ASSERT_EQ(1535u, box.text.size()) << "the text fills the 1536-byte buffer with its terminator";
  EXPECT_EQ(head, box.text.substr(0, head.size()));
  EXPECT_EQ(std::string(1535 - head.size(), 'x'), box.text.substr(head.size()));

  // Still a sound page afterwards.
  EXPECT_EQ("Unable to register certificate.",
            Box([&] { return userPage->ShowErrorMessage(IDS_REGISTER_FAILED, 0, nullptr); }, IDOK).text);
}

TEST_F(MessageTest, ABoxWithoutOwnerBelongsToThePageWindowAndCarriesThePageTitle) {
  const ShownWindow box = Box([&] { return userPage->ShowMessage(IDS_PIN_BLOCKED, nullptr, MB_ICONHAND); }, IDOK);
  EXPECT_EQ("User Tools", box.title);
  // A child window cannot own a popup: the box belongs to the page's top-level window.
  EXPECT_EQ(::GetAncestor(harness.PageWindow(), GA_ROOT), box.owner);
  EXPECT_EQ(harness.frame(), box.owner);
}

TEST_F(MessageTest, ABoxWithOwnerTakesTheOwnersTextAsCaption) {
  OwnerWindow owner("Import Certificate");
  ASSERT_NE(nullptr, owner.get());
  HostAtBox atBox;
  int result = 0;
  ShownWindow box = Box([&] { return userPage->ShowMessage(IDS_IMPORT_SUCCEEDED, owner.get(), MB_ICONASTERISK); },
                        IDOK, &result, &atBox);
  EXPECT_EQ("Import Certificate", box.title);
  EXPECT_EQ(owner.get(), box.owner);
  EXPECT_EQ("The certificate has been successfully imported.", box.text);
  EXPECT_EQ(BoxIcon::Information, box.icon) << ToString(box.icon);
  EXPECT_FALSE(atBox.statusShown);
  EXPECT_EQ(Call("HideStatus"), atBox.lastCall);

  box = Box([&] { return userPage->ShowErrorMessage(IDS_IMPORT_FAILED, E_FAIL, owner.get()); }, IDOK);
  EXPECT_EQ("Import Certificate", box.title);
  EXPECT_EQ(owner.get(), box.owner);
}

TEST_F(MessageTest, AQuestionShowsYesAndNoAndReturnsTheAnswer) {
  int result = 0;
  const ShownWindow box =
      Box([&] { return userPage->ShowMessage(IDS_CONFIRM_REMOVE, nullptr, MB_YESNO | MB_ICONEXCLAMATION); }, IDNO,
          &result);
  EXPECT_EQ(IDNO, result);
  EXPECT_EQ(BoxIcon::Warning, box.icon) << ToString(box.icon);
  ASSERT_EQ(2u, box.buttons.size());
  EXPECT_EQ(IDYES, box.buttons[0].id);
  EXPECT_EQ(IDNO, box.buttons[1].id);
  Box([&] { return userPage->ShowMessage(IDS_CONFIRM_REMOVE, nullptr, 0x34); }, IDYES, &result);
  EXPECT_EQ(IDYES, result);
}

TEST_F(MessageTest, TheStatusTextIsHiddenBeforeEveryBox) {
  HostAtBox atBox;
  host().hasErrorText = true;
  host().errorTextResult = S_OK;
  host().errorText = L"described";
  Box([&] { return userPage->ShowErrorMessage(IDS_CONVERT_FAILED, E_FAIL, nullptr); }, IDOK, nullptr, &atBox);
  EXPECT_FALSE(atBox.statusShown);
  EXPECT_EQ(Call("HideStatus"), atBox.lastCall) << "the description is asked for before the status goes";

  host().status.ShowStatus(nullptr, nullptr, 0);
  Box([&] { return userPage->ShowErrorMessage(IDS_CONVERT_FAILED, 0, nullptr); }, IDOK, nullptr, &atBox);
  EXPECT_FALSE(atBox.statusShown);
  EXPECT_EQ(Call("HideStatus"), atBox.lastCall);

  host().status.ShowStatus(nullptr, nullptr, 0);
  Box([&] { return userPage->ShowMessage(IDS_CONVERT_FAILED, nullptr, MB_OK); }, IDOK, nullptr, &atBox);
  EXPECT_FALSE(atBox.statusShown);
  EXPECT_EQ(Call("HideStatus"), atBox.lastCall);
}

// Through the DLL: Manage shows its status text, hides it, and reports the read failure.
TEST_F(PageTest, ManageReportsAnInventoryThatCannotBeReadAfterItsStatusText) {
  OpenAndClear();
  host().hasErrorText = false;
  HostAtBox atBox;
  testkit::ModalDriver driver;
  driver.Then("read failure", testkit::AnyDialog(), [&](ModalWindow& box) {
    atBox.statusShown = host().statusShown;
    box.Press(IDOK);
  });
  EXPECT_EQ(-1, harness.Click(IDC_MANAGE));
  driver.Finish();
  ASSERT_EQ(1u, driver.Shown().size());
  const ShownWindow& box = driver.Shown().front();
  const std::string first = "An error occurred while reading certificates from the Zelt.\nError Code is  0x";
  EXPECT_EQ(first, box.text.substr(0, first.size()));
  EXPECT_EQ('.', box.text.back());
  EXPECT_EQ("User Tools", box.title);
  EXPECT_EQ(harness.frame(), box.owner);
  EXPECT_EQ(BoxIcon::Error, box.icon) << ToString(box.icon);
  EXPECT_FALSE(atBox.statusShown);

  ASSERT_EQ(1u, host().Count("ShowStatus"));
  for (const testkit::HostCall& call : host().calls) {
    if (call.name != "ShowStatus") continue;
    EXPECT_EQ(L"Reading certificates from the token...", call.text);
    EXPECT_EQ(Arg(harness.PageWindow()), call.args[0]);
  }
}
