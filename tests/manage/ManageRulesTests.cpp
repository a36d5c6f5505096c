// Rules of the Manage certificates dialog beside its main flows: which commands and list changes
// it takes, the Convert button, the message of each failing operation with its code, removing the
// last certificate, and where the keyboard focus goes when its button is disabled.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/ListTestKit.h"
#include "kit/FakeHost.h"
#include "kit/ModalDriver.h"
#include "kit/ModuleUnderTest.h"
#include "kit/PageHarness.h"
#include "kit/SoftToken.h"
#include "kit/TokenContents.h"
#include "model/CertificateFiles.h"
#include "model/ScopedSystemStore.h"
#include "res/resource.h"

using listkit::CellText;
using listkit::Column;
using testkit::BoxIcon;
using testkit::ModalWindow;
using Cells = std::vector<std::string>;
using Ids = std::vector<int>;

namespace {

const CK_SLOT_ID kSlot = 2;
const char kPassword[] = "pki-password";
const char kTitle[] = "Certificates on the Zelt";
const char kRemoveQuestion[] =
    "The certificate and related key pair will be permanently deleted. Do you want to continue?";
const int kOperations[] = {IDC_REGISTER, IDC_UNREGISTER, IDC_CONVERT, IDC_REMOVE, IDC_SET_AS_DEFAULT, IDC_VIEW_DETAILS};

// Deletes tests/data/certs/NAME.der from the current user's "MY" store; whether it was there.
bool DropFromMy(const char* name) {
  ScopedSystemStore my(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
  std::vector<BYTE> sha1 = CertificateFiles::sha1Of(name);
  CRYPT_HASH_BLOB hash = {static_cast<DWORD>(sha1.size()), sha1.data()};
  PCCERT_CONTEXT found =
      ::CertFindCertificateInStore(my.get(), X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &hash, nullptr);
  if (!found) return false;
  ::CertDeleteCertificateFromStore(found);
  ::CertControlStore(my.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
  return true;
}

void Command(const ModalWindow& dialog, int id, WORD code) {
  ::PostMessageA(dialog.window(), WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(dialog.Item(id)));
}

// The list's item-changed notification for a row whose new state is `state`.
void ItemChanged(const ModalWindow& dialog, int row, UINT state) {
  NMLISTVIEW change = {};
  change.hdr = {dialog.Item(IDC_CERTIFICATE_LIST), IDC_CERTIFICATE_LIST, static_cast<UINT>(LVN_ITEMCHANGED)};
  change.iItem = row;
  change.uNewState = state;
  change.uChanged = LVIF_STATE;
  ::SendMessageA(dialog.window(), WM_NOTIFY, IDC_CERTIFICATE_LIST, reinterpret_cast<LPARAM>(&change));
}

Ids Enabled(const ModalWindow& dialog) {
  Ids enabled;
  for (int id : kOperations)
    if (dialog.IsEnabled(id)) enabled.push_back(id);
  return enabled;
}

bool NoticeShown(const ModalWindow& dialog) {
  return (::GetWindowLongA(dialog.Item(IDC_CONVERT_NOTICE), GWL_STYLE) & WS_VISIBLE) != 0;
}

}  // namespace

// Jane (container "Jane's keys", the default logon certificate), John (container "John's keys",
// logon-capable) and Example Corp (a key pair but no container), or Example Corp alone.
class ManageRules : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(soft.ready()) << "cannot load ZeltP11.dll, error " << ::GetLastError();
    ASSERT_TRUE(module.loaded()) << "cannot load the page DLL, error " << ::GetLastError();
    ASSERT_TRUE(harness.Ready()) << "no display";
    ASSERT_EQ(CKR_OK, soft.CreateToken(kSlot, "52554C45", kPassword));
    if (!onlyCorp_) {
      contents.AddCertificate("jane-doe", "jane", {'J'});
      contents.AddKeyPair({'J'});
      contents.AddCertificate("john-roe", "john", {'R'});
      contents.AddKeyPair({'R'});
      contents.AddCatalog({"Jane's keys", "John's keys"});
      contents.AddRecord("Jane's keys", "jane", "", 2, {'J'});
      contents.AddRecord("John's keys", "john", "", 2, {'R'});
    }
    contents.AddCertificate("example-corp", "corp", {'C'});
    contents.AddKeyPair({'C'});
    TearDown();
    host().serial = L"52554C45";
    host().password = L"pki-password";
    const HRESULT hr = harness.Open();
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    host().Clear();
  }
  void TearDown() override {
    soft.ResetHooks();
    for (const char* name : {"jane-doe", "john-roe", "example-corp"}) DropFromMy(name);
  }

  LRESULT Manage() {
    const LRESULT result = harness.Click(IDC_MANAGE);
    driver.Finish();
    return result;
  }
  void OnDialog(const std::string& what, testkit::StepAction action) {
    driver.Then(what, testkit::FromTemplate(module.handle(), IDD_MANAGE_CERTIFICATES), std::move(action));
  }
  // A message box: its text (its start when `prefix`), title and icon; answered with `answer`.
  void Box(const std::string& text, int answer, const std::string& title = kTitle, BoxIcon icon = BoxIcon::Error,
           bool prefix = false) {
    driver.Then(text.substr(0, 40), testkit::AnyDialog(), [=](ModalWindow& box) {
      EXPECT_EQ(text, prefix ? box.MessageText().substr(0, text.size()) : box.MessageText());
      EXPECT_EQ(title, box.Title());
      EXPECT_EQ(icon, box.Icon()) << ToString(box.Icon());
      box.Press(answer);
    });
  }
  void Warning(int answer) {
    Box("Certificate conversion may take several minutes.", answer, "User Tools", BoxIcon::Warning, true);
  }

  testkit::FakeHost& host() { return harness.host; }

  testkit::SoftToken soft;
  testkit::TokenContents contents{soft, kSlot, kPassword};
  testkit::ModuleUnderTest module;
  testkit::PageHarness harness{module};
  testkit::ModalDriver driver;
  bool onlyCorp_ = false;
};

class LastCertificate : public ManageRules {
 protected:
  LastCertificate() { onlyCorp_ = true; }
};

TEST_F(ManageRules, OnlyClicksAndRowsBecomingSelectedAndFocusedCountCloseTakesAnyCommand) {
  OnDialog("list changes and other codes", [](ModalWindow& dialog) {
    for (UINT state : {LVIS_SELECTED, LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED | LVIS_CUT}) {
      ItemChanged(dialog, 1, state);
      EXPECT_TRUE(Enabled(dialog).empty()) << "new state " << state;
    }
    ItemChanged(dialog, 1, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ((Ids{IDC_REGISTER, IDC_REMOVE, IDC_SET_AS_DEFAULT, IDC_VIEW_DETAILS}), Enabled(dialog));
    // With John selected each operation would act at once or ask something; Enter has no handler.
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 1);
    for (int id : kOperations)
      for (WORD code : {BN_DOUBLECLICKED, BN_SETFOCUS}) Command(dialog, id, code);
    Command(dialog, IDOK, BN_CLICKED);
  });
  OnDialog("nothing happened", [](ModalWindow& dialog) {
    const HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ((Cells{"<No>", "<No>", "<No>"}), Column(list, 3));
    EXPECT_EQ((Cells{"<Yes>", "<No>", "<N/A>"}), Column(list, 4));
    Command(dialog, IDC_MANAGE_CLOSE, BN_DOUBLECLICKED);
  });
  EXPECT_EQ(0, Manage());
  EXPECT_EQ(0u, host().Count("AskPassword"));
}

TEST_F(ManageRules, ConvertAsksThenGivesTheCertificateAGuidContainerWithoutRegisteringIt) {
  OnDialog("convert, declined", [](ModalWindow& dialog) {
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 2);
    EXPECT_TRUE(NoticeShown(dialog));
    dialog.Press(IDC_CONVERT);
  });
  Warning(IDNO);
  OnDialog("convert, no password", [this](ModalWindow& dialog) {
    EXPECT_EQ(0u, host().Count("AskPassword")) << "No asks for nothing more";
    host().askPasswordResult = S_FALSE;
    dialog.Press(IDC_CONVERT);
  });
  Warning(IDYES);
  OnDialog("convert, wrong password", [this](ModalWindow& dialog) {
    EXPECT_EQ(1u, host().Count("AskPassword"));
    host().askPasswordResult = S_OK;
    host().password = L"wrong";
    dialog.Press(IDC_CONVERT);
  });
  Warning(IDYES);
  Box("An error occurred while converting the certificate.\nError Code is  0x8010006b.", IDOK);
  OnDialog("convert", [this](ModalWindow& dialog) {
    EXPECT_EQ("", CellText(dialog.Item(IDC_CERTIFICATE_LIST), 2, 6));
    EXPECT_EQ(1, listkit::ImageAt(dialog.Item(IDC_CERTIFICATE_LIST), 2));
    host().password = L"pki-password";
    // The button the user pressed has the focus, and conversion disables it.
    ::SetFocus(dialog.Item(IDC_CONVERT));
    dialog.Press(IDC_CONVERT);
  });
  Warning(IDYES);
  OnDialog("converted", [](ModalWindow& dialog) {
    const HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ(36u, CellText(list, 2, 6).size()) << "a GUID-named container: " << CellText(list, 2, 6);
    EXPECT_EQ(0, listkit::ImageAt(list, 2));
    EXPECT_EQ("<No>", CellText(list, 2, 3));
    EXPECT_EQ((Ids{IDC_REGISTER, IDC_REMOVE, IDC_VIEW_DETAILS}), Enabled(dialog));
    EXPECT_FALSE(NoticeShown(dialog));
    EXPECT_EQ(list, ::GetFocus()) << "focus on control " << ::GetDlgCtrlID(::GetFocus());
    dialog.Press(IDC_MANAGE_CLOSE);
  });
  EXPECT_EQ(0, Manage());
  std::vector<std::wstring> texts;
  for (const testkit::HostCall& call : host().calls)
    if (call.name == "ShowStatus") texts.push_back(call.text);
  EXPECT_EQ((std::vector<std::wstring>{L"Reading certificates from the token...", L"Converting certificate...",
                                       L"Converting certificate..."}),
            texts);
  EXPECT_FALSE(host().statusShown);
  EXPECT_FALSE(DropFromMy("example-corp")) << "converted, not registered";
}

TEST_F(ManageRules, EachFailingOperationShowsItsMessageWithTheCodeAndKeepsTheRows) {
  OnDialog("register john", [](ModalWindow& dialog) {
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 1);
    ::SetFocus(dialog.Item(IDC_REGISTER));
    dialog.Press(IDC_REGISTER);
  });
  OnDialog("unregister what the store lost", [](ModalWindow& dialog) {
    EXPECT_EQ(dialog.Item(IDC_CERTIFICATE_LIST), ::GetFocus()) << "Register is disabled now";
    EXPECT_TRUE(DropFromMy("john-roe"));
    dialog.Press(IDC_UNREGISTER);
  });
  Box("Unable to unregister certificate.\nError Code is  0x80092004.", IDOK);
  // The current user's registry is replaced by a volatile key, where the "MY" store cannot be made.
  HKEY scratch = nullptr;
  OnDialog("register, no store", [&scratch](ModalWindow& dialog) {
    EXPECT_EQ("<Yes>", CellText(dialog.Item(IDC_CERTIFICATE_LIST), 1, 3));
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\ZeltTestScratch", 0, nullptr,
                                               REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &scratch, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegOverridePredefKey(HKEY_CURRENT_USER, scratch));
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 0);
    dialog.Press(IDC_REGISTER);
  });
  driver.Then("store back", testkit::AnyDialog(), [&scratch](ModalWindow& box) {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegCloseKey(scratch);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\ZeltTestScratch");
    EXPECT_EQ("Unable to register certificate.\nError Code is  0x80004005.", box.MessageText());
    box.Press(IDOK);
  });
  OnDialog("set as default, the CSP fails", [this](ModalWindow& dialog) {
    soft.Inject("C_OpenSession", 1, CKR_DEVICE_ERROR, true);
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 1);
    dialog.Press(IDC_SET_AS_DEFAULT);
  });
  Box("An error occurred while setting the logon certificate.\nError Code is  0x80090020.", IDOK);
  OnDialog("remove, the list cannot be read again", [this](ModalWindow& dialog) {
    soft.ResetHooks();
    EXPECT_EQ("<No>", CellText(dialog.Item(IDC_CERTIFICATE_LIST), 0, 3));
    EXPECT_EQ((Cells{"<Yes>", "<No>", "<N/A>"}), Column(dialog.Item(IDC_CERTIFICATE_LIST), 4));
    // The removal's own search is the first.
    soft.Inject("C_FindObjectsInit", 2, CKR_DEVICE_ERROR, true);
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 2);
    dialog.Press(IDC_REMOVE);
  });
  Box(kRemoveQuestion, IDYES, kTitle, BoxIcon::Warning);
  Box("An error occurred while updating the certificate list.\nError Code is  0xb0010030.", IDOK);
  OnDialog("close", [this](ModalWindow& dialog) {
    soft.ResetHooks();
    EXPECT_EQ(0u, contents.CountWithId({'C'})) << "removed from the token";
    EXPECT_EQ((Cells{"Jane Doe", "John Roe", "Example Corp"}), Column(dialog.Item(IDC_CERTIFICATE_LIST), 0));
    // The rows are those of before the removal: they can be looked at, not acted on.
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 1);
    for (int id : {IDC_REGISTER, IDC_UNREGISTER, IDC_REMOVE, IDC_SET_AS_DEFAULT, IDC_CONVERT})
      EXPECT_FALSE(dialog.IsEnabled(id)) << "button " << id << " acts on rows the token no longer has";
    EXPECT_TRUE(dialog.IsEnabled(IDC_VIEW_DETAILS));
    dialog.Press(IDC_MANAGE_CLOSE);
  });
  EXPECT_EQ(0, Manage());
}

TEST_F(LastCertificate, RemovingItLeavesNothingToActOn) {
  OnDialog("remove", [](ModalWindow& dialog) {
    listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), 0);
    ::SetFocus(dialog.Item(IDC_REMOVE));
    dialog.Press(IDC_REMOVE);
  });
  Box(kRemoveQuestion, IDYES, kTitle, BoxIcon::Warning);
  OnDialog("empty", [](ModalWindow& dialog) {
    EXPECT_EQ(0, listkit::RowCount(dialog.Item(IDC_CERTIFICATE_LIST)));
    EXPECT_TRUE(Enabled(dialog).empty());
    EXPECT_FALSE(NoticeShown(dialog));
    EXPECT_EQ("", dialog.ItemText(IDC_INTENDED_PURPOSES));
    EXPECT_EQ(dialog.Item(IDC_CERTIFICATE_LIST), ::GetFocus());
    dialog.Press(IDC_MANAGE_CLOSE);
  });
  EXPECT_EQ(0, Manage());
  EXPECT_EQ(0u, contents.CountWithId({'C'}));
}
