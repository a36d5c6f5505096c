// The Manage button and the Manage certificates dialog on a software token with
// known contents: what the dialog shows, which buttons it offers, what it asks,
// and what reaches the token, the CSP and the current user's "MY" store.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kit/FakeHost.h"
#include "kit/ModalDriver.h"
#include "kit/ModuleUnderTest.h"
#include "kit/PageHarness.h"
#include "kit/SoftToken.h"
#include "kit/TokenContents.h"
#include "model/CertificateFiles.h"
#include "model/ScopedSystemStore.h"
#include "res/resource.h"

using testkit::ModalWindow;
using testkit::ShownWindow;

namespace {

const CK_SLOT_ID kSlot = 1;
const char kPassword[] = "pki-password";
const int kButtons[] = {IDC_REGISTER, IDC_UNREGISTER, IDC_CONVERT, IDC_REMOVE, IDC_SET_AS_DEFAULT, IDC_VIEW_DETAILS};

// The certificate with that SHA-1 hash in a freshly opened "MY" store, deleted when `remove`.
bool InMyStore(const std::string& name, bool remove = false) {
  ScopedSystemStore my(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
  if (!my) return false;
  std::vector<BYTE> sha1 = CertificateFiles::sha1Of(name);
  CRYPT_HASH_BLOB hash = {static_cast<DWORD>(sha1.size()), sha1.data()};
  PCCERT_CONTEXT found = ::CertFindCertificateInStore(my.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                      CERT_FIND_SHA1_HASH, &hash, nullptr);
  if (!found) return false;
  if (remove) {
    ::CertDeleteCertificateFromStore(found);  // frees the context
    ::CertControlStore(my.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
  } else {
    ::CertFreeCertificateContext(found);
  }
  return true;
}

std::string Cell(HWND list, int row, int column) {
  char text[512] = "";
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text - 1;
  ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

int Image(HWND list, int row) {
  LVITEMA item = {};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  ::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return item.iImage;
}

// The first column of every row, in row order.
std::vector<std::string> Subjects(HWND list) {
  std::vector<std::string> subjects;
  const int rows = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row) subjects.push_back(Cell(list, row, 0));
  return subjects;
}

// Selects and focuses a row, as a click on it would: the control tells the dialog.
void Select(HWND list, int row) {
  LVITEMA item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

// A click on an empty part of the list: the control drops the selection, then notifies.
void ClickEmptyPart(ModalWindow& dialog, UINT code) {
  HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
  LVITEMA item = {};
  item.stateMask = LVIS_SELECTED;
  ::SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  NMITEMACTIVATE click = {};
  click.hdr = {list, IDC_CERTIFICATE_LIST, code};
  click.iItem = -1;
  ::SendMessageA(dialog.window(), WM_NOTIFY, IDC_CERTIFICATE_LIST, reinterpret_cast<LPARAM>(&click));
}

void ClickColumn(ModalWindow& dialog, int column) {
  HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
  NMLISTVIEW click = {};
  click.hdr = {list, IDC_CERTIFICATE_LIST, static_cast<UINT>(LVN_COLUMNCLICK)};
  click.iItem = -1;
  click.iSubItem = column;
  ::SendMessageA(dialog.window(), WM_NOTIFY, IDC_CERTIFICATE_LIST, reinterpret_cast<LPARAM>(&click));
}

// The enabled operation buttons, as their ids.
std::vector<int> Enabled(const ModalWindow& dialog) {
  std::vector<int> enabled;
  for (int id : kButtons)
    if (dialog.IsEnabled(id)) enabled.push_back(id);
  return enabled;
}

bool NoticeShown(const ModalWindow& dialog) {
  return (::GetWindowLongA(dialog.Item(IDC_CONVERT_NOTICE), GWL_STYLE) & WS_VISIBLE) != 0;
}

}  // namespace

// Jane (container "Jane's keys", the default logon certificate), John (container
// "John's keys", logon-capable) and Example Corp (a key pair but no container),
// in that order on the token.
class ManageDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(soft.ready()) << "cannot load ZeltP11.dll, error " << ::GetLastError();
    ASSERT_TRUE(module.loaded()) << "cannot load the page DLL, error " << ::GetLastError();
    ASSERT_TRUE(harness.Ready()) << "no display";
    ASSERT_EQ(CKR_OK, soft.CreateToken(kSlot, "4D414E47", kPassword));
    contents.AddCertificate("jane-doe", "jane", {'J'});
    contents.AddKeyPair({'J'});
    contents.AddCertificate("john-roe", "john", {'R'});
    contents.AddKeyPair({'R'});
    contents.AddCertificate("example-corp", "corp", {'C'});
    contents.AddKeyPair({'C'});
    contents.AddCatalog({"Jane's keys", "John's keys"});
    contents.AddRecord("Jane's keys", "jane", "", 2, {'J'});
    contents.AddRecord("John's keys", "john", "", 2, {'R'});
    for (const char* name : {"jane-doe", "john-roe", "example-corp"}) InMyStore(name, true);
    host().serial = L"4D414E47";
    host().password = L"pki-password";
    const HRESULT hr = harness.Open();
    ASSERT_EQ(S_OK, hr) << std::hex << hr;
    host().Clear();
  }

  void TearDown() override {
    for (const char* name : {"jane-doe", "john-roe", "example-corp"}) InMyStore(name, true);
  }

  // Presses Manage with the queued steps; the handler's result.
  LRESULT Manage() {
    const LRESULT result = harness.Click(IDC_MANAGE);
    driver.Finish();
    return result;
  }

  // A step on the Manage certificates dialog.
  void OnDialog(const std::string& what, std::function<void(ModalWindow&)> action) {
    driver.Then(what, testkit::FromTemplate(module.handle(), IDD_MANAGE_CERTIFICATES), std::move(action));
  }
  // A step on a message box: checks its text and answers it.
  void Box(const std::string& text, int answer, std::vector<ShownWindow>* shown = nullptr) {
    driver.Then(text.substr(0, 40), testkit::AnyDialog(), [text, answer, shown](ModalWindow& box) {
      EXPECT_EQ(text, box.MessageText());
      if (shown) shown->push_back(box.Snapshot());
      box.Press(answer);
    });
  }

  testkit::FakeHost& host() { return harness.host; }
  // The texts of the host's status message, in order.
  std::vector<std::wstring> StatusTexts() {
    std::vector<std::wstring> texts;
    for (const testkit::HostCall& call : host().calls)
      if (call.name == "ShowStatus") texts.push_back(call.text);
    return texts;
  }

  testkit::SoftToken soft;
  testkit::TokenContents contents{soft, kSlot, kPassword};
  testkit::ModuleUnderTest module;
  testkit::PageHarness harness{module};
  testkit::ModalDriver driver;
};

TEST_F(ManageDialog, OpensWithTheTokensCertificatesAndButtonsFollowTheSelectedRecord) {
  OnDialog("list", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ((std::vector<std::string>{"Jane Doe", "John Roe", "Example Corp"}), Subjects(list));
    EXPECT_EQ("<Yes>", Cell(list, 0, 4)) << "the first container's certificate is the default logon";
    EXPECT_EQ("<No>", Cell(list, 1, 4));
    EXPECT_EQ("<N/A>", Cell(list, 2, 4)) << "no container: never logon-capable";
    EXPECT_EQ("John's keys", Cell(list, 1, 6));
    EXPECT_EQ(0, Image(list, 1));
    EXPECT_EQ(1, Image(list, 2)) << "without a container the grey image";
    EXPECT_TRUE(Enabled(dialog).empty()) << "nothing selected yet";
    EXPECT_EQ("", dialog.ItemText(IDC_INTENDED_PURPOSES));
    EXPECT_FALSE(NoticeShown(dialog));

    Select(list, 1);
    EXPECT_EQ((std::vector<int>{IDC_REGISTER, IDC_REMOVE, IDC_SET_AS_DEFAULT, IDC_VIEW_DETAILS}), Enabled(dialog));
    EXPECT_NE(std::string::npos, dialog.ItemText(IDC_INTENDED_PURPOSES).find("Client Authentication"))
        << dialog.ItemText(IDC_INTENDED_PURPOSES);
    EXPECT_FALSE(NoticeShown(dialog));
    Select(list, 0);
    EXPECT_FALSE(dialog.IsEnabled(IDC_SET_AS_DEFAULT)) << "already the default";
    Select(list, 2);
    EXPECT_EQ((std::vector<int>{IDC_REGISTER, IDC_CONVERT, IDC_REMOVE, IDC_VIEW_DETAILS}), Enabled(dialog));
    EXPECT_TRUE(NoticeShown(dialog));

    ClickEmptyPart(dialog, NM_RCLICK);
    EXPECT_TRUE(Enabled(dialog).empty()) << "a click that leaves no row selected disables everything";
    EXPECT_FALSE(NoticeShown(dialog));
    EXPECT_EQ("", dialog.ItemText(IDC_INTENDED_PURPOSES));

    // The first sort of the process is ascending, each further one reverses.
    ClickColumn(dialog, 0);
    EXPECT_EQ((std::vector<std::string>{"Example Corp", "Jane Doe", "John Roe"}), Subjects(list));
    ClickColumn(dialog, 0);
    EXPECT_EQ((std::vector<std::string>{"John Roe", "Jane Doe", "Example Corp"}), Subjects(list));

    Select(list, 1);
    dialog.Press(IDC_VIEW_DETAILS);
  });
  driver.Then("details", testkit::FromTemplate(module.handle(), IDD_CERTIFICATE_DETAILS),
              [](ModalWindow& details) { details.Press(IDOK); });
  OnDialog("close", [](ModalWindow& dialog) { dialog.Press(IDC_MANAGE_CLOSE); });

  EXPECT_EQ(0, Manage());
  ASSERT_EQ(1u, host().Count("ShowStatus"));
  EXPECT_EQ(L"Reading certificates from the token...", StatusTexts()[0]);
  EXPECT_GE(host().Count("HideStatus"), 1u) << "the dialog hides the status text once its list is full";
  EXPECT_EQ(host().Count("BeginTokenOperation"), host().Count("EndTokenOperation"));
  EXPECT_GE(host().Count("ReportPasswordState"), 1u) << "the password state is reported after the dialog";
}

TEST_F(ManageDialog, SetAsDefaultMovesTheLogonYesAndTheTokenKeepsIt) {
  OnDialog("set default", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    Select(list, 1);
    dialog.Press(IDC_SET_AS_DEFAULT);
  });
  OnDialog("check", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ("<No>", Cell(list, 0, 4));
    EXPECT_EQ("<Yes>", Cell(list, 1, 4));
    EXPECT_FALSE(dialog.IsEnabled(IDC_SET_AS_DEFAULT));
    dialog.Press(IDCANCEL);
  });
  EXPECT_EQ(0, Manage());
  EXPECT_EQ(std::vector<std::wstring>({L"Reading certificates from the token...", L"Setting default certificate..."}),
            StatusTexts());
  host().Clear();

  // A second Manage reads the token again: the CSP made John's container the default.
  OnDialog("reopened", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ("<No>", Cell(list, 0, 4));
    EXPECT_EQ("<Yes>", Cell(list, 1, 4));
    dialog.Press(IDC_MANAGE_CLOSE);
  });
  EXPECT_EQ(0, Manage());
}

TEST_F(ManageDialog, RegisterOfCertificateWithoutContainerConvertsFirst) {
  const std::string warning =
      "Certificate conversion may take several minutes. During this time, data will be written to your token. DO "
      "NOT disconnect your token until  certificate conversion has completed. Removing your token prior to "
      "completion may corrupt your token.\nDo you want to continue?";
  std::vector<ShownWindow> shown;
  OnDialog("register, declined", [](ModalWindow& dialog) {
    Select(dialog.Item(IDC_CERTIFICATE_LIST), 2);
    dialog.Press(IDC_REGISTER);
  });
  Box(warning, IDNO, &shown);
  OnDialog("register, wrong password", [this](ModalWindow& dialog) {
    EXPECT_FALSE(InMyStore("example-corp"));
    EXPECT_EQ(0u, host().Count("AskPassword")) << "No asks for nothing more";
    host().password = L"wrong";
    dialog.Press(IDC_REGISTER);
  });
  Box(warning, IDYES);
  driver.Then("convert failed", testkit::AnyDialog(), [&shown](ModalWindow& box) {
    shown.push_back(box.Snapshot());
    EXPECT_EQ(0u, box.MessageText().find("An error occurred while converting the certificate.")) << box.MessageText();
    box.Press(IDOK);
  });
  OnDialog("register", [this](ModalWindow& dialog) {
    EXPECT_FALSE(InMyStore("example-corp")) << "a failed conversion registers nothing";
    host().password = L"pki-password";
    dialog.Press(IDC_REGISTER);
  });
  Box(warning, IDYES);
  OnDialog("registered", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ("<Yes>", Cell(list, 2, 3));
    EXPECT_EQ(36u, Cell(list, 2, 6).size()) << "a GUID-named container: " << Cell(list, 2, 6);
    EXPECT_EQ(0, Image(list, 2));
    EXPECT_EQ((std::vector<int>{IDC_UNREGISTER, IDC_REMOVE, IDC_VIEW_DETAILS}), Enabled(dialog));
    EXPECT_FALSE(NoticeShown(dialog));
    dialog.Press(IDC_MANAGE_CLOSE);
  });

  EXPECT_EQ(0, Manage());
  EXPECT_TRUE(InMyStore("example-corp"));
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ("User Tools", shown[0].title) << "the warning belongs to the page";
  EXPECT_EQ(::GetAncestor(harness.PageWindow(), GA_ROOT), shown[0].owner);
  EXPECT_EQ(testkit::BoxIcon::Warning, shown[0].icon) << ToString(shown[0].icon);
  EXPECT_EQ("Certificates on the Zelt", shown[1].title) << "errors belong to the dialog";
  EXPECT_EQ(testkit::BoxIcon::Error, shown[1].icon) << ToString(shown[1].icon);
}

TEST_F(ManageDialog, RemoveOfRegisteredCertificateAsksToUnregisterAfterRefresh) {
  OnDialog("register jane", [](ModalWindow& dialog) {
    Select(dialog.Item(IDC_CERTIFICATE_LIST), 0);
    dialog.Press(IDC_REGISTER);
  });
  OnDialog("remove jane", [](ModalWindow& dialog) {
    EXPECT_EQ("<Yes>", Cell(dialog.Item(IDC_CERTIFICATE_LIST), 0, 3));
    EXPECT_TRUE(InMyStore("jane-doe"));
    dialog.Press(IDC_REMOVE);
  });
  Box("The certificate and related key pair will be permanently deleted. Do you want to continue?", IDYES);
  driver.Then("unregister question", testkit::AnyDialog(), [this](ModalWindow& box) {
    EXPECT_EQ("The certificate is also registered with the system. Do you want to unregister it?", box.MessageText());
    EXPECT_EQ("Certificates on the Zelt", box.Title());
    HWND list = ::GetDlgItem(box.Owner(), IDC_CERTIFICATE_LIST);
    EXPECT_EQ((std::vector<std::string>{"John Roe", "Example Corp"}), Subjects(list)) << "refreshed before asking";
    EXPECT_EQ(0u, contents.CountWithId({'J'})) << "certificate and key pair gone from the token";
    box.Press(IDNO);
  });
  OnDialog("after", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ(0, static_cast<int>(::SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)))
        << "the first row is selected";
    EXPECT_TRUE(dialog.IsEnabled(IDC_REMOVE));
    dialog.Press(IDC_MANAGE_CLOSE);
  });

  EXPECT_EQ(0, Manage());
  EXPECT_TRUE(InMyStore("jane-doe")) << "No leaves the certificate in the MY store";
}

TEST_F(ManageDialog, UnregisterThenAFailedOrCancelledRemoveLeaveTheTokenAsItWas) {
  std::vector<ShownWindow> shown;
  OnDialog("register and unregister john", [](ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    Select(list, 1);
    dialog.Press(IDC_REGISTER);
  });
  OnDialog("unregister", [](ModalWindow& dialog) {
    EXPECT_TRUE(InMyStore("john-roe"));
    dialog.Press(IDC_UNREGISTER);
  });
  OnDialog("remove with a wrong password", [this](ModalWindow& dialog) {
    EXPECT_FALSE(InMyStore("john-roe"));
    EXPECT_EQ("<No>", Cell(dialog.Item(IDC_CERTIFICATE_LIST), 1, 3));
    EXPECT_TRUE(dialog.IsEnabled(IDC_REGISTER));
    host().password = L"wrong";
    dialog.Press(IDC_REMOVE);
  });
  Box("The certificate and related key pair will be permanently deleted. Do you want to continue?", IDYES);
  driver.Then("remove failed", testkit::AnyDialog(), [&shown](ModalWindow& box) {
    shown.push_back(box.Snapshot());
    box.Press(IDOK);
  });
  OnDialog("remove, password cancelled", [this](ModalWindow& dialog) {
    EXPECT_EQ(3u, Subjects(dialog.Item(IDC_CERTIFICATE_LIST)).size());
    host().askPasswordResult = S_FALSE;
    dialog.Press(IDC_REMOVE);
  });
  Box("The certificate and related key pair will be permanently deleted. Do you want to continue?", IDYES);
  OnDialog("close", [this](ModalWindow& dialog) {
    EXPECT_EQ(3u, Subjects(dialog.Item(IDC_CERTIFICATE_LIST)).size()) << "no password, nothing removed";
    EXPECT_EQ(3u, contents.CountWithId({'R'})) << "certificate and key pair still on the token";
    dialog.Press(IDCANCEL);
  });

  EXPECT_EQ(0, Manage());
  ASSERT_EQ(1u, shown.size());
  EXPECT_EQ(0u, shown[0].text.find("An error occurred while removing the certificate.")) << shown[0].text;
  EXPECT_EQ(testkit::BoxIcon::Error, shown[0].icon) << ToString(shown[0].icon);
}
