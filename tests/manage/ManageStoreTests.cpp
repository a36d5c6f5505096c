// The Manage certificates dialog on certificates that the current user's "MY" store already
// holds when it opens: what it shows, which buttons it offers, and which certificate leaves the
// store when a removed one is unregistered afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "dialogs/ListTestKit.h"
#include "kit/ModalDriver.h"
#include "kit/ModuleUnderTest.h"
#include "kit/PageHarness.h"
#include "kit/SoftToken.h"
#include "kit/TokenContents.h"
#include "model/CertificateFiles.h"
#include "model/ScopedSystemStore.h"
#include "res/resource.h"

namespace {

using Cells = std::vector<std::string>;
const char* const kCertificates[] = {"jane-doe", "john-roe", "example-corp"};

// Adds the certificate to a freshly opened "MY" store, or deletes it; whether the store held it.
bool InMyStore(const std::string& name, bool add = false, bool remove = false) {
  ScopedSystemStore my(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
  if (!my) return false;
  if (add) {
    const std::vector<BYTE> der = CertificateFiles::read(name + ".der");
    ::CertAddEncodedCertificateToStore(my.get(), X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                       CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  }
  std::vector<BYTE> sha1 = CertificateFiles::sha1Of(name);
  CRYPT_HASH_BLOB hash = {static_cast<DWORD>(sha1.size()), sha1.data()};
  PCCERT_CONTEXT found = ::CertFindCertificateInStore(my.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                      CERT_FIND_SHA1_HASH, &hash, nullptr);
  if (found && remove) ::CertDeleteCertificateFromStore(::CertDuplicateCertificateContext(found));
  if (found) ::CertFreeCertificateContext(found);
  // Wine keeps store changes in a cache until they are committed.
  if (add || remove) ::CertControlStore(my.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
  return found != nullptr;
}

// Jane (default container), John (container) and Example Corp (no container), the first two
// already registered.
class ManageRegistered : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(soft.ready() && module.loaded() && harness.Ready());
    ASSERT_EQ(CKR_OK, soft.CreateToken(1, "4D414E47", "pki-password"));
    for (const auto& [file, label, id] : {std::tuple<const char*, const char*, uint8_t>{"jane-doe", "jane", 'J'},
                                          {"john-roe", "john", 'R'}, {"example-corp", "corp", 'C'}}) {
      contents.AddCertificate(file, label, {id});
      contents.AddKeyPair({id});
    }
    contents.AddCatalog({"Jane's keys", "John's keys"});
    contents.AddRecord("Jane's keys", "jane", "", 2, {'J'});
    contents.AddRecord("John's keys", "john", "", 2, {'R'});
    TearDown();
    for (const char* name : {"jane-doe", "john-roe"}) ASSERT_TRUE(InMyStore(name, true)) << name;
    harness.host.serial = L"4D414E47";
    harness.host.password = L"pki-password";
    ASSERT_EQ(S_OK, harness.Open());
  }
  void TearDown() override {
    for (const char* name : kCertificates) InMyStore(name, false, true);
  }

  testkit::SoftToken soft;
  testkit::TokenContents contents{soft, 1, "pki-password"};
  testkit::ModuleUnderTest module;
  testkit::PageHarness harness{module};
  testkit::ModalDriver driver;
};

TEST_F(ManageRegistered, ShowsThemRegisteredAndRemoveUnregistersTheRemovedOneByItsThumbprint) {
  const auto onDialog = [this](const std::string& what, testkit::StepAction action) {
    driver.Then(what, testkit::FromTemplate(module.handle(), IDD_MANAGE_CERTIFICATES), std::move(action));
  };
  const auto answer = [this](const std::string& start, int button) {
    driver.Then(start, testkit::AnyDialog(), [start, button](testkit::ModalWindow& box) {
      EXPECT_EQ(start, box.MessageText().substr(0, start.size()));
      box.Press(button);
    });
  };
  onDialog("opened", [](testkit::ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ((Cells{"<Yes>", "<Yes>", "<No>"}), listkit::Column(list, 3));
    // Each row with whether Register and Unregister are offered for it.
    const struct {
      int row;
      bool registerOffered, unregisterOffered;
    } rows[] = {{1, false, true}, {2, true, false}, {0, false, true}};
    for (const auto& r : rows) {
      listkit::Select(list, r.row);
      EXPECT_EQ(r.registerOffered, dialog.IsEnabled(IDC_REGISTER)) << r.row;
      EXPECT_EQ(r.unregisterOffered, dialog.IsEnabled(IDC_UNREGISTER)) << r.row;
    }
    dialog.Press(IDC_REMOVE);
  });
  answer("The certificate and related key pair will be permanently deleted.", IDYES);
  answer("The certificate is also registered with the system.", IDYES);
  onDialog("after", [](testkit::ModalWindow& dialog) {
    HWND list = dialog.Item(IDC_CERTIFICATE_LIST);
    EXPECT_EQ((Cells{"John Roe", "Example Corp"}), listkit::Column(list, 0));
    EXPECT_EQ((Cells{"<Yes>", "<No>"}), listkit::Column(list, 3));
    dialog.Press(IDC_MANAGE_CLOSE);
  });
  EXPECT_EQ(0, harness.Click(IDC_MANAGE));
  driver.Finish();
  EXPECT_FALSE(InMyStore("jane-doe")) << "the removed certificate stayed registered";
  EXPECT_TRUE(InMyStore("john-roe")) << "the certificate in the removed one's row was unregistered";
}

}  // namespace
