// The token's certificate inventory and container map, read from a software
// token with known objects; what reaches the token is read from its call trace.
#include <gtest/gtest.h>

#include <algorithm>

#include "TokenFixture.h"
#include "cryptoki/CkStatus.h"

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char b : bytes) text += {digits[b >> 4], digits[b & 15]};
  return text;
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

}  // namespace

TEST_F(TokenTest, OpenAndDestructionBracketTheSession) {
  EXPECT_EQ(MapCkResult(CKR_TOKEN_NOT_PRESENT), token->open(&binding, L"5EC0A1D2", kSlot + 1));
  // A slot that no longer exists reads as a token pulled out.
  EXPECT_EQ(MapCkResult(CKR_DEVICE_REMOVED), token->open(&binding, L"5EC0A1D2", 99));
  ASSERT_EQ(S_OK, Open());
  std::unique_ptr<CertificateRecord> record;
  EXPECT_EQ(Token::kNoMoreCertificates, token->nextCertificate(true, record)) << "the token has no certificates";
  EXPECT_FALSE(record);
  EXPECT_NE(0u, soft.SessionCount(kSlot));
  // A search left active in the session fails the next look-up, which ends it all the same.
  ASSERT_EQ(CKR_OK, soft.standard()->C_FindObjectsInit(token->session(), nullptr, 0));
  CK_OBJECT_HANDLE found = 0;
  EXPECT_EQ(E_FAIL, token->findOne(CKO_DATA, "none", &found));
  const HRESULT refreshed = token->refreshInventory();
  EXPECT_EQ(S_OK, refreshed) << std::hex << refreshed;
  token.reset();
  EXPECT_EQ(0u, soft.SessionCount(kSlot));
}

TEST_F(TokenTest, ListsTheFirstTwentyCertificatesAndRestartsOnRequest) {
  for (char i = 0; i < 25; ++i) contents.AddCertificate(i % 2 ? "unit" : "example-corp", "c" + std::to_string(i), {uint8_t(i)});
  ASSERT_EQ(S_OK, Open());
  const auto records = ReadAll();
  ASSERT_EQ(20u, records.size());
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(std::string(1, char(i)), IdOf(*records[i])) << i;
    EXPECT_EQ(i, records[i]->inventoryIndex);
  }
  EXPECT_STREQ("Example Corp", records[0]->subject.text());
  EXPECT_STREQ("OU=Unit, C=US", records[1]->subject.text());

  std::unique_ptr<CertificateRecord> record;
  EXPECT_EQ(Token::kNoMoreCertificates, token->nextCertificate(false, record));
  EXPECT_EQ(Token::kNoMoreCertificates, token->nextCertificate(false, record));
  EXPECT_EQ(S_OK, token->nextCertificate(true, record));
  ASSERT_TRUE(record);
  EXPECT_EQ(0, record->inventoryIndex);
}

TEST_F(TokenTest, MapsCertificatesContainerByContainerInCatalogOrder) {
  contents.AddCertificate("jane-doe", "jane", {'J'});
  contents.AddCertificate("example-corp", "corp", {'E'});
  contents.AddCertificate("unit", "unit", {'U'});
  contents.AddCertificate("doe-comma", "doe", {'D'});
  contents.AddCertificate("ca", "ca", {'C'});
  contents.AddCatalog({"A", "missing", "old", "signing", "again"});
  contents.AddRecord("A", "jane", "corp");
  contents.AddRecord("old", "unit", "ca", 1);   // a version-1 record has no signature label
  contents.AddRecord("signing", "", "doe");
  contents.AddRecord("again", "jane", "");      // the same certificate again, in a later container
  soft.StartTrace();
  ASSERT_EQ(S_OK, Open());

  const std::string catalogLabel = Hex(std::string(containerformat::kCatalogLabel) + '\0');
  EXPECT_TRUE(Contains(soft.Calls("C_FindObjectsInit"),
                       "[CKA_CLASS(4)=00000000, CKA_TOKEN(1)=01, CKA_LABEL(25)=" + catalogLabel + "]"));
  EXPECT_TRUE(Contains(soft.Calls("C_FindObjectsInit"), "[CKA_CLASS(4)=01000000, CKA_TOKEN(1)=01]"));
  EXPECT_TRUE(Contains(soft.Calls("C_OpenSession"), "slotID=2, flags=0x6"));

  const auto records = ReadAll();
  ASSERT_EQ(5u, records.size());
  struct Expected {
    const char* id;
    const char* container;
    uint32_t keySpec;
    bool isDefault;
  };
  for (const Expected& e : {Expected{"J", "A", AT_KEYEXCHANGE, true}, Expected{"E", "A", AT_SIGNATURE, false},
                            Expected{"U", "old", AT_KEYEXCHANGE, false}, Expected{"D", "signing", AT_SIGNATURE, false},
                            Expected{"C", "", AT_KEYEXCHANGE, false}}) {
    const CertificateRecord* r = WithId(records, e.id);
    EXPECT_STREQ(e.container, r->containerName.text()) << e.id;
    EXPECT_EQ(*e.container != '\0', r->hasContainer) << e.id;
    EXPECT_EQ(e.keySpec, r->keySpec) << e.id;
    EXPECT_EQ(e.isDefault, r->isDefaultLogon) << e.id;
  }
  // Jane Doe carries the smart card logon usage; without a container it could not log on.
  EXPECT_TRUE(WithId(records, "J")->logonCapable);
  const ByteBuffer& sha1 = WithId(records, "J")->thumbprint;
  EXPECT_EQ(std::vector<BYTE>(sha1.data(), sha1.data() + sha1.size()), CertificateFiles::sha1Of("jane-doe"));
}

TEST_F(TokenTest, UnreadableCertificateKeepsTheEnumerationOnIt) {
  contents.AddCertificate("jane-doe", "jane", {'J'});
  contents.AddCertificate("unit", "unit", {'U'});
  ASSERT_EQ(S_OK, Open());
  std::unique_ptr<CertificateRecord> record;
  // Value: calls 1 and 2 (length, bytes); identifier: calls 3 and 4.
  ASSERT_EQ(CKR_OK, soft.Inject("C_GetAttributeValue", 3, CKR_DEVICE_ERROR));
  EXPECT_EQ(MapCkResult(CKR_DEVICE_ERROR), token->nextCertificate(true, record));
  EXPECT_FALSE(record);
  EXPECT_EQ(S_OK, token->nextCertificate(false, record));
  ASSERT_TRUE(record);
  EXPECT_EQ("J", IdOf(*record));

  ASSERT_EQ(CKR_OK, soft.Inject("C_GetAttributeValue", 1, CKR_DEVICE_ERROR));
  EXPECT_EQ(MapCkResult(CKR_DEVICE_ERROR), token->nextCertificate(false, record));
  EXPECT_EQ(S_OK, token->nextCertificate(false, record));
  ASSERT_TRUE(record);
  EXPECT_EQ("U", IdOf(*record));
}

TEST_F(TokenTest, CatalogDecidesWhetherTheCspIsAsked) {
  using containerformat::buildCatalog;
  const std::string label = std::string(containerformat::kCatalogLabel) + '\0';
  std::vector<uint8_t> tooMany = buildCatalog(1, {"A"});
  tooMany[2] = 101;
  struct Variant {
    const char* what;
    std::string label;  // as stored; empty: no catalog
    std::vector<uint8_t> value;
    bool used;    // the token's own catalog, without the CSP
    bool mapped;  // the certificate ends up in container A
  };
  const Variant variants[] = {
      {"version-1 catalog", label, buildCatalog(1, {"A"}), true, true},
      {"no names", label, buildCatalog(1, {}), true, false},
      // Refused by the parser, but a version-1 catalog is still the token's word.
      {"101 names", label, tooMany, true, false},
      // The CSP lists the names of a catalog of any version, but only under the catalog's own label.
      {"version-2 catalog", label, buildCatalog(2, {"A"}), false, true},
      {"no catalog", "", {}, false, false},
      {"label without 0x07", std::string("QCspRSAContainerCatalog") + '\0', buildCatalog(1, {"A"}), false, false},
      {"label without NUL", containerformat::kCatalogLabel, buildCatalog(1, {"A"}), false, false}};
  for (const Variant& v : variants) {
    RecreateToken();
    contents.AddCertificate("jane-doe", "jane", {'J'});
    contents.AddRecord("A", "jane", "");
    if (!v.label.empty()) contents.AddData(v.label, v.value);
    // The CSP looks for its token with C_GetSlotList, which the token never calls: failing
    // it shows whether the CSP was asked for its containers.
    ASSERT_EQ(CKR_OK, soft.Inject("C_GetSlotList", 1, CKR_DEVICE_ERROR, true));
    const HRESULT hr = Open();
    EXPECT_EQ(v.used ? S_OK : NTE_FAIL, hr) << v.what << ": 0x" << std::hex << hr;
    soft.ResetHooks();

    ASSERT_EQ(S_OK, Open()) << v.what;
    const auto records = ReadAll();
    ASSERT_EQ(1u, records.size()) << v.what;
    EXPECT_EQ(v.mapped, records[0]->hasContainer) << v.what;
    EXPECT_STREQ(v.mapped ? "A" : "", records[0]->containerName.text()) << v.what;
    // Jane Doe's certificate carries the smart card logon usage, but logon needs a container.
    EXPECT_EQ(v.mapped, records[0]->logonCapable) << v.what;
  }
}
