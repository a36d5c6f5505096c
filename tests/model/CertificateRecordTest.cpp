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

TEST(CertificateRecord, NewRecordHasItsDefaults) {
  CertificateRecord record;
  EXPECT_FALSE(record.context);
  for (const TextBuffer* text : {&record.subject, &record.issuer, &record.serialNumber,
                                 &record.serialNumberGrouped, &record.intendedPurposes,
                                 &record.containerName})
    EXPECT_TRUE(text->empty());
  EXPECT_TRUE(record.encoded.empty());
  EXPECT_TRUE(record.thumbprint.empty());
  EXPECT_TRUE(record.keyId.empty());
  EXPECT_FALSE(record.hasContainer);
  EXPECT_FALSE(record.registered);
  EXPECT_FALSE(record.logonCapable);
  EXPECT_FALSE(record.isDefaultLogon);
  EXPECT_EQ(static_cast<uint32_t>(AT_KEYEXCHANGE), record.keySpec);
  EXPECT_EQ(-1, record.rowIndex);
  EXPECT_EQ(-1, record.inventoryIndex);
}

TEST(CertificateRecord, DisplayNameOfSubjectAndIssuerIsTheCommonName) {
  ScopedCertContext context = loadOrFail("jane-doe");
  ASSERT_TRUE(context);
  TextBuffer subject, issuer;
  EXPECT_EQ(S_OK, CertificateRecord::displayName(context.get()->pCertInfo->Subject, subject));
  EXPECT_EQ(S_OK, CertificateRecord::displayName(context.get()->pCertInfo->Issuer, issuer));
  EXPECT_STREQ("Jane Doe", subject.text());  // C=US, O=Example, CN=Jane Doe
  EXPECT_STREQ("Zelt Test CA", issuer.text());
}

TEST(CertificateRecord, DisplayNameFallsBackToOrganisationThenWholeName) {
  EXPECT_EQ("Example Corp", subjectOf("example-corp"));  // C=DE, O=Example Corp
  EXPECT_EQ("OU=Unit, C=US", subjectOf("unit"));
}

// The conversion quotes a value holding a comma, and the display name stops
// at that comma, keeping the opening quote.
TEST(CertificateRecord, CommonNameWithCommaIsCutAtTheCommaAfterTheQuote) {
  EXPECT_EQ("\"Doe", subjectOf("doe-comma"));  // CN=Doe, Jane
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

TEST(CertificateRecord, SixteenByteSerialGivesEightGroupsWithTrailingSpace) {
  const Serial serial = serialOf("jane-doe");
  EXPECT_EQ("0A1B2C3D4E5F60718293A4B5C6D7E8F9", serial.plain);
  EXPECT_EQ("0A1B 2C3D 4E5F 6071 8293 A4B5 C6D7 E8F9 ", serial.grouped);
}

TEST(CertificateRecord, ThreeByteSerialGivesGroupOfFourAndOfTwo) {
  const Serial serial = serialOf("example-corp");
  EXPECT_EQ("0A1B2C", serial.plain);
  EXPECT_EQ("0A1B 2C", serial.grouped);
}

// 0x8A1B2C is encoded with a leading zero byte to stay positive; that byte is printed.
TEST(CertificateRecord, SerialKeepsTheLeadingZeroByteOfTheEncoding) {
  const Serial serial = serialOf("unit");
  EXPECT_EQ("008A1B2C", serial.plain);
  EXPECT_EQ("008A 1B2C ", serial.grouped);
}

TEST(CertificateRecord, PurposesInCertificateOrderWithSmartCardLogon) {
  const Purposes p = purposesOf("jane-doe", false);
  EXPECT_EQ(S_OK, p.status) << std::hex << p.status;
  EXPECT_EQ("Client Authentication, Smart Card Logon", p.text);
  EXPECT_TRUE(p.logon);
}

// CryptoAPI has no name for a private identifier: it is shown dotted.
TEST(CertificateRecord, UnknownPurposeIsShownDottedAndClearsTheLogonFlag) {
  const Purposes p = purposesOf("example-corp", true);
  EXPECT_EQ(S_OK, p.status) << std::hex << p.status;
  EXPECT_EQ("1.3.6.1.4.1.55555.7.1, Secure Email", p.text);
  EXPECT_FALSE(p.logon);
}

TEST(CertificateRecord, EmptyUsageListGivesEmptyTextAndNoLogon) {
  const Purposes p = purposesOf("doe-comma", true);
  EXPECT_EQ(S_OK, p.status) << std::hex << p.status;
  EXPECT_EQ("", p.text);
  EXPECT_FALSE(p.logon);
}

// Without the extension CryptoAPI (Windows 2000 on, and Wine) reports an
// empty usage list, not a failure, so the text is empty as for an empty list.
TEST(CertificateRecord, NoUsageExtensionGivesAnEmptyList) {
  const Purposes p = purposesOf("unit", true);
  EXPECT_EQ(S_OK, p.status) << std::hex << p.status;
  EXPECT_EQ("", p.text);
  EXPECT_FALSE(p.logon);
}

// Usages that cannot be read at all mean any purpose; the flag is not touched.
TEST(CertificateRecord, UnreadableUsagesGiveAllAndLeaveTheLogonFlag) {
  for (bool before : {false, true}) {
    const Purposes p = purposesOf("bad-usage", before);
    EXPECT_EQ(S_OK, p.status) << std::hex << p.status;
    EXPECT_EQ("<All>", p.text);
    EXPECT_EQ(before, p.logon);
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
