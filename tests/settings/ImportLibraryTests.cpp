// The stand-in import library on the software token: the results that the import dialog relies
// on (0, 1 and failure codes).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "dialogs/ZeltUtilImportCert.h"
#include "settings/TokenContents.h"

namespace {

const CK_SLOT_ID kSlot = 2;
const char kPassword[] = "pki-password";

}  // namespace

class ImportLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(token.ready()) << "cannot load ZeltP11.dll, error " << ::GetLastError();
    ASSERT_EQ(CKR_OK, token.CreateToken(kSlot, "0a1b2c3d", kPassword));
  }

  static LONG Read(const wchar_t* file, const char* password) {
    return ZeltUtilImportCert_QReadP12File(AnsiPath(CertFile(file)).c_str(), password);
  }

  testkit::SoftToken token;
};

// What the page's own tests do not reach: the library's answers without a read, without the
// token's password and for a certificate found only in the caller's list.
TEST_F(ImportLibraryTest, ResultsForMissingReadPasswordAndListedCertificates) {
  EXPECT_NE(0, Read(L"jane-doe.p12", "wrong"));
  EXPECT_NE(0, ZeltUtilImportCert_QImportCertificate("jane", kPassword, nullptr)) << "nothing read";
  ASSERT_EQ(0, Read(L"jane-doe.p12", "p12-secret"));
  EXPECT_EQ(static_cast<LONG>(0xB0010101), ZeltUtilImportCert_QImportCertificate("jane", nullptr, nullptr))
      << "no password, no private key";
  EXPECT_EQ(static_cast<LONG>(0xB00100A0), ZeltUtilImportCert_QImportCertificate("jane", "wrong", nullptr));

  Bytes listed = FileBytes(CertFile(L"jane-doe.der"));
  CRYPT_DATA_BLOB blob = {static_cast<DWORD>(listed.size()), listed.data()};
  CRYPT_DATA_BLOB* existing[] = {&blob, nullptr};
  EXPECT_EQ(1, ZeltUtilImportCert_QImportCertificate("jane", kPassword, existing));
  TokenContents on(token, kSlot, kPassword);
  EXPECT_EQ(0u, on.Count());
}
