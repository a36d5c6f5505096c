// Import from the page's button: the Import Certificate and Advanced Settings dialogs, what the
// user sees, and what reaches the software token through the import library.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/FakeHost.h"
#include "kit/ModalDriver.h"
#include "kit/ModuleUnderTest.h"
#include "kit/PageHarness.h"
#include "kit/Paths.h"
#include "model/CertificateFiles.h"
#include "res/resource.h"
#include "settings/TokenContents.h"

using testkit::BoxIcon;
using testkit::ModalWindow;

namespace {

const CK_SLOT_ID kSlot = 3;
const char kPassword[] = "pki-password";
const char kTitle[] = "Import Certificate";
const char kCatalog[] = "QCspRSAContainerCatalog\x07";
// The file dialog's file name box (cmb13 of the Explorer-style template).
const int kFileNameBox = 0x47C;

// A path in the system ANSI code page, as the dialog's edit field holds it.
std::string AnsiPath(const std::wstring& wide) {
  char text[MAX_PATH] = "";
  ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text, sizeof text, nullptr, nullptr);
  return text;
}

bool IsGuidText(const std::string& text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    const char c = text[i];
    if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

// The token outlives the page: the members are destroyed in reverse order.
class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(token.ready()) << "cannot load ZeltP11.dll, error " << ::GetLastError();
    ASSERT_TRUE(module.loaded()) << "cannot load the page DLL, error " << ::GetLastError();
    ASSERT_TRUE(harness.Ready()) << "no display";
    ASSERT_EQ(CKR_OK, token.CreateToken(kSlot, "0a1b2c3d", kPassword));
    host().serial = L"0A1B2C3D";
    host().password = L"pki-password";
    const HRESULT hr = harness.Open();
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    host().Clear();
  }

  // Presses Import with `driver` working the dialogs; the handler's result.
  LRESULT Run(testkit::ModalDriver& driver) {
    const LRESULT result = harness.Click(IDC_IMPORT);
    driver.Finish();
    return result;
  }

  static testkit::WindowMatcher Dialog() { return testkit::Titled(kTitle); }
  static testkit::WindowMatcher Advanced() { return testkit::Titled("Advanced Settings"); }

  // Types the file and its password and presses OK.
  static testkit::StepAction Fill(const std::string& path, const std::string& password) {
    return [path, password](ModalWindow& dialog) {
      dialog.Type(IDC_FILE_PATH, path);
      dialog.Type(IDC_FILE_PASSWORD, password);
      dialog.Press(IDC_IMPORT_OK);
    };
  }
  // A message box of the import dialog with `text` and `icon`, answered with OK.
  static testkit::StepAction Box(const std::string& text, BoxIcon icon) {
    return [text, icon](ModalWindow& box) {
      EXPECT_EQ(text, box.MessageText());
      EXPECT_EQ(kTitle, box.Title());
      EXPECT_EQ(icon, box.Icon()) << ToString(box.Icon());
      box.Press(IDOK);
    };
  }
  static testkit::StepAction Press(int id) {
    return [id](ModalWindow& dialog) { dialog.Press(id); };
  }

  testkit::FakeHost& host() { return harness.host; }

  testkit::SoftToken token;
  testkit::ModuleUnderTest module;
  testkit::PageHarness harness{module};
  const std::string jane = AnsiPath(CertificateFiles::path("jane-doe.p12"));
};

TEST_F(ImportTest, TheFileReachesTheTokenAsAContainerNamedAfterItAndOnlyOnce) {
  testkit::ModalDriver driver;
  driver.Then("file", Dialog(), Fill(jane, "p12-secret"))
      .Then("imported", testkit::AnyDialog(), Box("The certificate has been successfully imported.", BoxIcon::Information));
  EXPECT_EQ(S_OK, Run(driver));
  {
    TokenContents on(token, kSlot, kPassword);
    EXPECT_EQ(std::vector<Bytes>{CertificateFiles::read("jane-doe.der")}, on.Find(CKO_CERTIFICATE, "jane-doe.p12"));
    EXPECT_EQ(1u, on.Find(CKO_PRIVATE_KEY, "jane-doe.p12").size());
    EXPECT_EQ(std::vector<Bytes>{ExchangeRecord("jane-doe.p12")}, on.Find(CKO_DATA, "jane-doe.p12"));
    const std::vector<Bytes> catalog = on.Find(CKO_DATA, kCatalog);
    ASSERT_EQ(1u, catalog.size());
    EXPECT_EQ(std::vector<std::string>{"jane-doe.p12"}, CatalogNames(catalog[0]));
  }
  ASSERT_EQ(1u, host().Count("ShowStatus"));
  for (const testkit::HostCall& call : host().calls) {
    if (call.name != "ShowStatus") continue;
    EXPECT_EQ(L"Importing certificate...", call.text);
  }
  EXPECT_FALSE(host().statusShown);

  // Again: already on the token. Another file of the same name from another folder gets the
  // same container name, which the library refuses; the dialog stays open after both.
  const std::wstring folder = testkit::MakeTempDir(L"import");
  const std::wstring twin = folder + L"\\jane-doe.p12";
  ASSERT_TRUE(::CopyFileW(CertificateFiles::path("example-corp.p12").c_str(), twin.c_str(), FALSE));
  host().Clear();
  driver.Then("same file", Dialog(), Fill(jane, "p12-secret"))
      .Then("exists", testkit::AnyDialog(), Box("The certificate already exists on the Zelt.", BoxIcon::Warning))
      .Then("same name", Dialog(), [&](ModalWindow& dialog) {
        EXPECT_EQ(jane, dialog.ItemText(IDC_FILE_PATH));
        Fill(AnsiPath(twin), "p12-secret")(dialog);
      })
      .Then("refused", testkit::AnyDialog(),
            Box("An error occurred while importing the certificate.\nError Code is  0x8009000f.", BoxIcon::Error))
      .Then("cancel", Dialog(), Press(IDCANCEL));
  EXPECT_EQ(S_OK, Run(driver));
  testkit::RemoveTree(folder);
  TokenContents on(token, kSlot, kPassword);
  EXPECT_EQ(5u, on.Count()) << "certificate, two keys, record and catalog";
}

TEST_F(ImportTest, FailuresKeepTheDialogOpenWithWhatWasTyped) {
  host().askPasswordResult = E_ABORT;
  testkit::ModalDriver driver;
  driver.Then("no file", Dialog(), Fill("", "p12-secret"))
      .Then("select", testkit::AnyDialog(), Box("Please select a file to be imported.", BoxIcon::Error))
      .Then("blanks", Dialog(), Fill("   ", ""))
      .Then("missing", testkit::AnyDialog(), Box("The specified file does not exist.", BoxIcon::Error))
      // An empty password reaches the library as it is (a null one would be refused with E_POINTER).
      .Then("empty password", Dialog(), Fill(jane, ""))
      .Then("refused", testkit::AnyDialog(),
            Box("An error occurred while importing the certificate.\nError Code is  0x80070056.", BoxIcon::Error))
      .Then("no token password", Dialog(), Fill(jane, "p12-secret"))
      .Then("still open", Dialog(), [this](ModalWindow& dialog) {
        EXPECT_EQ(jane, dialog.ItemText(IDC_FILE_PATH));
        EXPECT_EQ("p12-secret", dialog.ItemText(IDC_FILE_PASSWORD));
        dialog.Press(IDCANCEL);
      });
  EXPECT_EQ(S_OK, Run(driver));
  EXPECT_EQ(1u, host().Count("AskPassword")) << "asked only once the file was read";
  EXPECT_EQ(0u, host().Count("ShowStatus"));
  TokenContents on(token, kSlot, kPassword);
  EXPECT_EQ(0u, on.Count());
}

TEST_F(ImportTest, AdvancedChoosesAGuidNameAndCancelReturnsToTheChoiceTheImportStartedWith) {
  // Expects `checked` chosen, clicks the other button unless told not to, then presses `press`.
  auto expectChoice = [](int checked, int unchecked, int press, bool click = true) {
    return [=](ModalWindow& advanced) {
      EXPECT_TRUE(advanced.IsChecked(checked));
      EXPECT_FALSE(advanced.IsChecked(unchecked));
      if (click) advanced.SetCheck(unchecked, true);
      advanced.Press(press);
    };
  };
  testkit::ModalDriver driver;
  driver.Then("advanced", Dialog(), Press(IDC_ADVANCED))
      .Then("GUID, OK", Advanced(), expectChoice(IDC_USE_FILE_NAME, IDC_USE_GUID, IDOK))
      .Then("advanced again", Dialog(), Press(IDC_ADVANCED))
      // Cancel undoes the OK before it too: back to the choice the import dialog started with.
      .Then("Cancel", Advanced(), expectChoice(IDC_USE_GUID, IDC_USE_FILE_NAME, IDCANCEL, false))
      .Then("advanced once more", Dialog(), Press(IDC_ADVANCED))
      .Then("back to the start; GUID, OK", Advanced(), expectChoice(IDC_USE_FILE_NAME, IDC_USE_GUID, IDOK))
      .Then("file", Dialog(), Fill(jane, "p12-secret"))
      .Then("imported", testkit::AnyDialog(), Box("The certificate has been successfully imported.", BoxIcon::Information));
  EXPECT_EQ(S_OK, Run(driver));
  {
    TokenContents on(token, kSlot, kPassword);
    const std::vector<Bytes> catalog = on.Find(CKO_DATA, kCatalog);
    ASSERT_EQ(1u, catalog.size());
    const std::vector<std::string> names = CatalogNames(catalog[0]);
    ASSERT_EQ(1u, names.size());
    EXPECT_TRUE(IsGuidText(names[0])) << names[0];
    EXPECT_EQ(1u, on.Find(CKO_CERTIFICATE, names[0]).size());
  }

  // The choice carries over to the next import; one made there with OK survives its Cancel.
  driver.Then("advanced", Dialog(), Press(IDC_ADVANCED))
      .Then("file name, OK", Advanced(), expectChoice(IDC_USE_GUID, IDC_USE_FILE_NAME, IDOK))
      .Then("cancel", Dialog(), Press(IDCANCEL));
  EXPECT_EQ(S_OK, Run(driver));
  driver.Then("advanced", Dialog(), Press(IDC_ADVANCED))
      .Then("kept", Advanced(), [](ModalWindow& advanced) {
        EXPECT_TRUE(advanced.IsChecked(IDC_USE_FILE_NAME));
        advanced.Press(IDCANCEL);
      })
      .Then("cancel", Dialog(), Press(IDCANCEL));
  EXPECT_EQ(S_OK, Run(driver));
}

TEST_F(ImportTest, BrowseStartsEmptyAndOnlyAChosenFileReplacesThePath) {
  testkit::ModalDriver driver;
  driver.Then("browse", Dialog(), [](ModalWindow& dialog) {
    dialog.Type(IDC_FILE_PATH, "typed before");
    dialog.Press(IDC_BROWSE);
  });
  driver.Then("cancelled", testkit::Titled("Open"), [](ModalWindow& open) {
    EXPECT_EQ("", open.ItemText(kFileNameBox));
    open.Press(IDCANCEL);
  });
  driver.Then("browse again", Dialog(), [](ModalWindow& dialog) {
    EXPECT_EQ("typed before", dialog.ItemText(IDC_FILE_PATH));
    dialog.Press(IDC_BROWSE);
  });
  driver.Then("chosen", testkit::Titled("Open"), [this](ModalWindow& open) {
    EXPECT_EQ("", open.ItemText(kFileNameBox)) << "not the earlier path";
    ::SetDlgItemTextA(open.window(), kFileNameBox, jane.c_str());
    open.Press(IDOK);
  });
  driver.Then("path", Dialog(), [this](ModalWindow& dialog) {
    EXPECT_EQ(jane, dialog.ItemText(IDC_FILE_PATH));
    dialog.Press(IDCANCEL);
  });
  EXPECT_EQ(S_OK, Run(driver));
  TokenContents on(token, kSlot, kPassword);
  EXPECT_EQ(0u, on.Count());
}
