// Import from the page's button: the Import Certificate and Advanced Settings dialogs, what the
// user sees, and what reaches the software token through the import library.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "kit/Paths.h"
#include "kit/TokenPageTest.h"
#include "model/CertificateFiles.h"
#include "model/Token.h"
#include "res/resource.h"

using testkit::BoxIcon;
using testkit::ModalWindow;

namespace {

const CK_SLOT_ID kSlot = 3;
const char kTitle[] = "Import Certificate";
// The file dialog's file name box (cmb13 of the Explorer-style template).
const int kFileNameBox = 0x47C;

// A path as the dialog's edit field holds it (the test paths are ASCII).
std::string AnsiPath(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

// The certificates on the token as the Manage dialog reads them: "container: subject".
std::vector<std::string> OnToken() {
  CryptokiBinding binding;
  Token token;
  EXPECT_TRUE(binding.Load());
  EXPECT_EQ(S_OK, token.open(&binding, L"0A1B2C3D", kSlot));
  std::vector<std::string> found;
  std::unique_ptr<CertificateRecord> record;
  for (token.nextCertificate(true, record); record; token.nextCertificate(false, record))
    found.push_back(std::string(record->containerName.text()) + ": " + record->subject.text());
  return found;
}

}  // namespace

class ImportTest : public testkit::TokenPageTest {
 protected:
  ImportTest() : TokenPageTest(kSlot, "0a1b2c3d") {}
  void SetUp() override {
    TokenPageTest::SetUp();
    if (!HasFatalFailure()) OpenPage();
  }

  // Steps: on the import dialog, on the Advanced Settings dialog, on a message box of the import dialog.
  void OnDialog(const std::string& what, testkit::StepAction action) {
    driver.Then(what, testkit::Titled(kTitle), std::move(action));
  }
  void OnAdvanced(const std::string& what, testkit::StepAction action) {
    driver.Then(what, testkit::Titled("Advanced Settings"), std::move(action));
  }
  void Box(const std::string& text, BoxIcon icon) { ExpectBox(text, IDOK, kTitle, icon); }
  void Fill(const std::string& path, const std::string& password) {
    OnDialog("fill " + path, [path, password](ModalWindow& dialog) {
      dialog.Type(IDC_FILE_PATH, path);
      dialog.Type(IDC_FILE_PASSWORD, password);
      dialog.Press(IDC_IMPORT_OK);
    });
  }
  void Press(const std::string& what, int id) {
    OnDialog(what, [id](ModalWindow& dialog) { dialog.Press(id); });
  }

  const std::string jane = AnsiPath(CertificateFiles::path("jane-doe.p12"));
};

TEST_F(ImportTest, TheFileReachesTheTokenAsAContainerNamedAfterItAndOnlyOnce) {
  Fill(jane, "p12-secret");
  Box("The certificate has been successfully imported.", BoxIcon::Information);
  EXPECT_EQ(S_OK, Click(IDC_IMPORT));
  EXPECT_EQ(std::vector<std::string>{"jane-doe.p12: Jane Doe"}, OnToken());
  EXPECT_EQ(std::vector<std::wstring>{L"Importing certificate..."}, host().StatusTexts());
  EXPECT_FALSE(host().statusShown);

  // Again: already on the token. Another file of the same name from another folder gets the
  // same container name, which the library refuses; the dialog stays open after both.
  const testkit::TempDir folder(L"import");
  const std::wstring twin = folder.path() + L"\\jane-doe.p12";
  ASSERT_TRUE(::CopyFileW(CertificateFiles::path("example-corp.p12").c_str(), twin.c_str(), FALSE));
  // The library finds it in the dialog's list of the token's certificates: without that list it
  // would look on the token, which fails here.
  ASSERT_EQ(CKR_OK, soft.Inject("Q_ListTokens", 1, CKR_DEVICE_ERROR, true));
  Fill(jane, "p12-secret");
  Box("The certificate already exists on the Zelt.", BoxIcon::Warning);
  OnDialog("same name", [&](ModalWindow& dialog) {
    soft.ResetHooks();
    EXPECT_EQ(jane, dialog.ItemText(IDC_FILE_PATH));
    dialog.Type(IDC_FILE_PATH, AnsiPath(twin));
    dialog.Press(IDC_IMPORT_OK);
  });
  Box("An error occurred while importing the certificate.\nError Code is  0x8009000f.", BoxIcon::Error);
  Press("cancel", IDCANCEL);
  EXPECT_EQ(S_OK, Click(IDC_IMPORT));
  EXPECT_EQ(std::vector<std::string>{"jane-doe.p12: Jane Doe"}, OnToken()) << "nothing added";
}

TEST_F(ImportTest, FailuresKeepTheDialogOpenWithWhatWasTyped) {
  host().askPasswordResult = E_ABORT;
  Fill("", "p12-secret");
  Box("Please select a file to be imported.", BoxIcon::Error);
  Fill("   ", "");
  Box("The specified file does not exist.", BoxIcon::Error);
  // An empty password reaches the reader as one (a null one would be refused with E_POINTER).
  Fill(jane, "");
  Box("An error occurred while importing the certificate.\nError Code is  0x80070056.", BoxIcon::Error);
  Fill(jane, "p12-secret");  // no token password
  OnDialog("still open", [this](ModalWindow& dialog) {
    EXPECT_EQ(jane, dialog.ItemText(IDC_FILE_PATH));
    EXPECT_EQ("p12-secret", dialog.ItemText(IDC_FILE_PASSWORD));
    dialog.Press(IDCANCEL);
  });
  EXPECT_EQ(S_OK, Click(IDC_IMPORT));
  EXPECT_EQ(1u, host().Count("AskPassword")) << "asked only once the file was read";
  EXPECT_EQ(0u, host().Count("ShowStatus"));
  EXPECT_TRUE(OnToken().empty());
}

TEST_F(ImportTest, AdvancedChoosesAGuidNameAndCancelReturnsToTheChoiceTheImportStartedWith) {
  // Expects `checked` chosen, clicks the other button unless told not to, then presses `press`.
  auto choice = [](int checked, int unchecked, int press, bool click = true) {
    return [=](ModalWindow& advanced) {
      EXPECT_TRUE(advanced.IsChecked(checked));
      EXPECT_FALSE(advanced.IsChecked(unchecked));
      if (click) advanced.SetCheck(unchecked, true);
      advanced.Press(press);
    };
  };
  Press("advanced", IDC_ADVANCED);
  OnAdvanced("GUID, OK", choice(IDC_USE_FILE_NAME, IDC_USE_GUID, IDOK));
  Press("advanced again", IDC_ADVANCED);
  // Cancel undoes the OK before it too: back to the choice the import dialog started with.
  OnAdvanced("Cancel", choice(IDC_USE_GUID, IDC_USE_FILE_NAME, IDCANCEL, false));
  Press("advanced once more", IDC_ADVANCED);
  OnAdvanced("back to the start; GUID, OK", choice(IDC_USE_FILE_NAME, IDC_USE_GUID, IDOK));
  Fill(jane, "p12-secret");
  Box("The certificate has been successfully imported.", BoxIcon::Information);
  EXPECT_EQ(S_OK, Click(IDC_IMPORT));
  const std::vector<std::string> found = OnToken();
  ASSERT_EQ(1u, found.size());
  EXPECT_TRUE(std::regex_match(found[0], std::regex("[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}: Jane Doe")))
      << found[0];

  // The choice carries over to the next import, where the file name is chosen back for the other tests.
  Press("advanced", IDC_ADVANCED);
  OnAdvanced("file name, OK", choice(IDC_USE_GUID, IDC_USE_FILE_NAME, IDOK));
  Press("cancel", IDCANCEL);
  EXPECT_EQ(S_OK, Click(IDC_IMPORT));
}

TEST_F(ImportTest, BrowseStartsEmptyAndTheChosenFileReplacesThePath) {
  OnDialog("browse", [](ModalWindow& dialog) {
    dialog.Type(IDC_FILE_PATH, "typed before");
    dialog.Press(IDC_BROWSE);
  });
  driver.Then("chosen", testkit::Titled("Open"), [this](ModalWindow& open) {
    EXPECT_EQ("", open.ItemText(kFileNameBox)) << "not the earlier path";
    std::vector<std::string> filters;  // the file type box (cmb1)
    for (int i = 0; i < ::SendDlgItemMessageA(open.window(), 0x470, CB_GETCOUNT, 0, 0); ++i) {
      char filter[128] = "";
      ::SendDlgItemMessageA(open.window(), 0x470, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(filter));
      filters.push_back(filter);
    }
    EXPECT_EQ((std::vector<std::string>{"PKCS #12 Certificates: *.p12;*.pfx", "All Files (*.*)"}), filters);
    EXPECT_EQ(0, ::SendDlgItemMessageA(open.window(), 0x470, CB_GETCURSEL, 0, 0));
    ::SetDlgItemTextA(open.window(), kFileNameBox, jane.c_str());
    open.Press(IDOK);
  });
  OnDialog("path", [this](ModalWindow& dialog) {
    EXPECT_EQ(jane, dialog.ItemText(IDC_FILE_PATH));
    dialog.Press(IDCANCEL);
  });
  EXPECT_EQ(S_OK, Click(IDC_IMPORT));
}

// What the dialog cannot hand on as the user gave it is refused before the library or the token
// sees it; and a list of the token's certificates cut short by a failed read stops the import,
// since the library relies on it to refuse a certificate that is already there.
TEST_F(ImportTest, TextsThatCannotBeSentAsTypedAndACutShortListStopTheImport) {
  soft.StartTrace();
  const testkit::TempDir folder(L"import");
  const std::wstring cyrillic = folder.path() + L"\\\x0441\x0435\x0440\x0442.p12";
  ASSERT_TRUE(::CopyFileW(CertificateFiles::path("jane-doe.p12").c_str(), cyrillic.c_str(), FALSE)) << ::GetLastError();
  OnDialog("a file name outside the code page", [cyrillic](ModalWindow& dialog) {
    ::SetDlgItemTextW(dialog.window(), IDC_FILE_PATH, cyrillic.c_str());
    dialog.Type(IDC_FILE_PASSWORD, "p12-secret");
    dialog.Press(IDC_IMPORT_OK);
  });
  Box("The name of the file or of its folder contains characters that cannot be used on this computer. "
      "Please rename the file, or move it to another folder, and try again.",
      BoxIcon::Error);
  OnDialog("a token password outside the code page", [this](ModalWindow& dialog) {
    EXPECT_EQ(0u, host().Count("AskPassword")) << "refused before the file was read";
    host().password = L"\x043f\x0430\x0440\x043e\x043b\x044c";
    dialog.Type(IDC_FILE_PATH, jane);
    dialog.Press(IDC_IMPORT_OK);
  });
  Box("The password contains characters that cannot be used on this computer. Nothing was sent to the token; "
      "please enter the password again with other characters.",
      BoxIcon::Error);
  OnDialog("imported", [this](ModalWindow& dialog) {
    EXPECT_TRUE(OnToken().empty());
    EXPECT_EQ(0u, soft.Calls("C_Login").size());
    host().password = L"pki-password";
    dialog.Press(IDC_IMPORT_OK);
  });
  Box("The certificate has been successfully imported.", BoxIcon::Information);
  EXPECT_EQ(S_OK, Click(IDC_IMPORT));

  // Values are read twice (length, then bytes): the catalog, the container record and its
  // certificate for the map, then the listed certificate's value.
  Fill(AnsiPath(CertificateFiles::path("example-corp.p12")), "p12-secret");
  driver.Then("list cut short", testkit::AnyDialog(), [this](ModalWindow& box) {
    EXPECT_EQ("An error occurred while importing the certificate.\nError Code is  0xb0010030.", box.MessageText());
    soft.ResetHooks();
    box.Press(IDOK);
  });
  Press("cancel", IDCANCEL);
  ASSERT_EQ(CKR_OK, soft.Inject("C_GetAttributeValue", 7, CKR_DEVICE_ERROR));
  EXPECT_EQ(S_OK, Click(IDC_IMPORT));
  EXPECT_EQ(std::vector<std::string>{"jane-doe.p12: Jane Doe"}, OnToken()) << "nothing imported";
}

// A command that is no click: OK, Browse, Advanced and the radio buttons ignore it; Cancel and the
// Advanced dialog's OK take any.
TEST_F(ImportTest, ButtonsActOnClicksOnly) {
  OnDialog("other codes", [](ModalWindow& dialog) {
    for (int id : {IDC_IMPORT_OK, IDC_BROWSE, IDC_ADVANCED}) dialog.Command(id, BN_DOUBLECLICKED);
  });
  Press("advanced", IDC_ADVANCED);
  OnAdvanced("other code", [](ModalWindow& advanced) { advanced.Command(IDC_USE_GUID, BN_DOUBLECLICKED); });
  OnAdvanced("still the file name", [](ModalWindow& advanced) {
    EXPECT_TRUE(advanced.IsChecked(IDC_USE_FILE_NAME));
    EXPECT_FALSE(advanced.IsChecked(IDC_USE_GUID));
    advanced.Command(IDOK, 1);
  });
  OnDialog("cancel", [](ModalWindow& dialog) { dialog.Command(IDCANCEL, 1); });
  EXPECT_EQ(S_OK, Click(IDC_IMPORT));
}
