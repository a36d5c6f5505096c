#include "model/CertificateRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CertificateFiles.h"

namespace {

ScopedCertContext loadOrFail(const char* name) {
  ScopedCertContext context = CertificateFiles::load(name);
  EXPECT_TRUE(context) << name << ".der: error 0x" << std::hex << ::GetLastError();
  return context;
}

std::string subjectOf(const char* name) {
  ScopedCertContext context = loadOrFail(name);
  if (!context) return "<no certificate>";
  TextBuffer text;
  const HRESULT hr = CertificateRecord::displayName(context.get()->pCertInfo->Subject, text);
  EXPECT_EQ(S_OK, hr) << std::hex << hr;
  return text.text();
}

struct Purposes {
  HRESULT status;
  std::string text;
  bool logon;
};

Purposes purposesOf(const char* name, bool logonBefore) {
  ScopedCertContext context = loadOrFail(name);
  if (!context) return {E_FAIL, "<no certificate>", logonBefore};
  TextBuffer text;
  EXPECT_EQ(S_OK, text.assign("stale"));
  bool logon = logonBefore;
  const HRESULT hr = CertificateRecord::describePurposes(context.get(), text, logon);
  return {hr, text.text(), logon};
}

struct Serial {
  std::string plain;
  std::string grouped;
};

Serial serialOf(const char* name) {
  ScopedCertContext context = loadOrFail(name);
  if (!context) return {};
  CertificateRecord record;
  const HRESULT hr = CertificateRecord::serialText(context.get()->pCertInfo->SerialNumber, record.serialNumber);
  EXPECT_EQ(S_OK, hr) << std::hex << hr;
  EXPECT_EQ(S_OK, record.groupSerial());
  return {record.serialNumber.text(), record.serialNumberGrouped.text()};
}

}  // namespace

TEST(CertificateRecord, DisplayNameIsTheCommonNameElseTheOrganisationElseTheWholeName) {
  const struct {
    const char *file, *name;
  } cases[] = {
      {"jane-doe", "Jane Doe"},          // C=US, O=Example, CN=Jane Doe
      {"example-corp", "Example Corp"},  // C=DE, O=Example Corp
      {"unit", "OU=Unit, C=US"},
      // The conversion quotes a value holding a comma, and the display name stops at that
      // comma, keeping the opening quote.
      {"doe-comma", "\"Doe"},  // CN=Doe, Jane
  };
  for (const auto& c : cases) EXPECT_EQ(c.name, subjectOf(c.file)) << c.file;
  ScopedCertContext context = loadOrFail("jane-doe");
  ASSERT_TRUE(context);
  TextBuffer issuer;
  EXPECT_EQ(S_OK, CertificateRecord::displayName(context.get()->pCertInfo->Issuer, issuer));
  EXPECT_STREQ("Zelt Test CA", issuer.text());
}

TEST(CertificateRecord, DisplayNameOfUndecodableNameFailsAndKeepsTheText) {
  BYTE garbage[] = {0x04, 0x01, 0x00};
  CERT_NAME_BLOB name = {sizeof garbage, garbage};
  TextBuffer text;
  ASSERT_EQ(S_OK, text.assign("before"));
  const HRESULT hr = CertificateRecord::displayName(name, text);
  // The conversion reports an undecodable name as a length of 1 (an empty
  // string) rather than 0, so only the text's survival is certain here.
  if (FAILED(hr)) EXPECT_STREQ("before", text.text());
  else EXPECT_STREQ("", text.text());
}

TEST(CertificateRecord, SerialIsPrintedWithItsLeadingZeroByteAndGroupedByFourDigits) {
  const struct {
    const char *file, *plain, *grouped;
  } cases[] = {
      {"jane-doe", "0A1B2C3D4E5F60718293A4B5C6D7E8F9", "0A1B 2C3D 4E5F 6071 8293 A4B5 C6D7 E8F9 "},
      {"example-corp", "0A1B2C", "0A1B 2C"},
      {"unit", "008A1B2C", "008A 1B2C "},  // 0x8A1B2C is encoded with a zero byte to stay positive
  };
  for (const auto& c : cases) {
    const Serial serial = serialOf(c.file);
    EXPECT_EQ(c.plain, serial.plain) << c.file;
    EXPECT_EQ(c.grouped, serial.grouped) << c.file;
  }
}

TEST(CertificateRecord, PurposesAreListedInCertificateOrderAndSetTheLogonFlag) {
  const struct {
    const char* file;
    bool logonBefore;
    const char* text;
    bool logon;
  } cases[] = {
      {"jane-doe", false, "Client Authentication, Smart Card Logon", true},
      // CryptoAPI has no name for a private identifier: it is shown dotted.
      {"example-corp", true, "1.3.6.1.4.1.55555.7.1, Secure Email", false},
      {"doe-comma", true, "", false},  // an empty usage list
      // Without the extension CryptoAPI (Windows 2000 on, and Wine) reports an empty usage
      // list, not a failure, so the text is empty as for an empty list.
      {"unit", true, "", false},
      // Usages that cannot be read at all mean any purpose; the flag is not touched.
      {"bad-usage", false, "<All>", false},
      {"bad-usage", true, "<All>", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.logonBefore ? ", logon before" : ""));
    const Purposes p = purposesOf(c.file, c.logonBefore);
    EXPECT_EQ(S_OK, p.status) << std::hex << p.status;
    EXPECT_EQ(c.text, p.text);
    EXPECT_EQ(c.logon, p.logon);
  }
}

TEST(CertificateRecord, ThumbprintIsTheSha1OfTheEncoding) {
  for (const char* name : {"jane-doe", "ca"}) {
    ScopedCertContext context = loadOrFail(name);
    ASSERT_TRUE(context);
    ByteBuffer thumbprint;
    const HRESULT hr = CertificateRecord::readThumbprint(context.get(), thumbprint);
    EXPECT_EQ(S_OK, hr) << std::hex << hr;
    const std::vector<BYTE> expected = CertificateFiles::sha1Of(name);
    ASSERT_EQ(20u, expected.size()) << name;
    EXPECT_EQ(expected, std::vector<BYTE>(thumbprint.data(), thumbprint.data() + thumbprint.size()))
        << name;
  }
}

// A store refuses a checked close while one of its contexts is still held.
TEST(CertificateRecord, DestructionReleasesTheContext) {
  ScopedCertContext file = loadOrFail("jane-doe");
  ASSERT_TRUE(file);
  HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  ASSERT_NE(nullptr, store) << std::hex << ::GetLastError();
  PCCERT_CONTEXT inStore = nullptr;
  ASSERT_TRUE(::CertAddCertificateContextToStore(store, file.get(), CERT_STORE_ADD_ALWAYS, &inStore))
      << std::hex << ::GetLastError();
  {
    CertificateRecord record;
    record.context.reset(inStore);
  }
  EXPECT_TRUE(::CertCloseStore(store, CERT_CLOSE_STORE_CHECK_FLAG))
      << "a context is still held: 0x" << std::hex << ::GetLastError();
}
