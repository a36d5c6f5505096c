// The Token model on a software token whose certificates, catalog and container records each
// test writes itself: the session, the inventory and the container map, and the page reading its
// token, the "MY" store rules of register and unregister, and removal without a container. The
// dialog's flows through these operations are walked by the manage suite.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cryptoki/CkStatus.h"
#include "cryptoki/CryptokiBinding.h"
#include "kit/PageHarness.h"
#include "kit/SoftToken.h"
#include "kit/TokenContents.h"
#include "model/CertificateFiles.h"
#include "model/Token.h"
#include "page/UserPage.h"

namespace {

using Records = std::vector<std::unique_ptr<CertificateRecord>>;

// The trace since it started, each line cut before `end` ("(": the function names only).
std::vector<std::string> TraceCutAt(const testkit::SoftToken& soft, const char* end) {
  std::vector<std::string> lines;
  for (const std::string& line : soft.Trace()) lines.push_back(line.substr(0, line.find(end)));
  return lines;
}

// The certificate of tests/data/certs/<file>.der with another issuer name; its signature, which
// nothing here checks, stays as it was.
std::vector<uint8_t> ReissuedBy(const std::string& file, const wchar_t* issuer) {
  const std::vector<BYTE> der = CertificateFiles::read(file + ".der");
  CERT_SIGNED_CONTENT_INFO* signedCert = nullptr;
  CERT_INFO* info = nullptr;
  DWORD size = 0;
  BYTE name[256], toBeSigned[4096], encoded[4096];
  DWORD nameSize = sizeof name, toBeSignedSize = sizeof toBeSigned, encodedSize = sizeof encoded;
  const bool made =
      ::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_CERT, der.data(), static_cast<DWORD>(der.size()),
                            CRYPT_DECODE_ALLOC_FLAG, nullptr, &signedCert, &size) &&
      ::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED, signedCert->ToBeSigned.pbData,
                            signedCert->ToBeSigned.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &size) &&
      ::CertStrToNameW(X509_ASN_ENCODING, issuer, CERT_X500_NAME_STR, nullptr, name, &nameSize, nullptr) &&
      (info->Issuer = {nameSize, name},
       ::CryptEncodeObject(X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED, info, toBeSigned, &toBeSignedSize)) &&
      (signedCert->ToBeSigned = {toBeSignedSize, toBeSigned},
       ::CryptEncodeObject(X509_ASN_ENCODING, X509_CERT, signedCert, encoded, &encodedSize));
  ::LocalFree(info);
  ::LocalFree(signedCert);
  EXPECT_TRUE(made) << file << ": error 0x" << std::hex << ::GetLastError();
  return made ? std::vector<uint8_t>(encoded, encoded + encodedSize) : std::vector<uint8_t>();
}

std::string IdOf(const CertificateRecord& record) {
  return std::string(reinterpret_cast<const char*>(record.keyId.data()), record.keyId.size());
}

class TokenTest : public ::testing::Test {
 protected:
  static constexpr CK_SLOT_ID kSlot = 2;
  static constexpr const char* kPassword = "pki-password";

  void SetUp() override {
    ASSERT_TRUE(soft.ready()) << "cannot load ZeltP11.dll, error " << ::GetLastError();
    ASSERT_EQ(CKR_OK, soft.CreateToken(kSlot, "5EC0A1D2", kPassword));
    ASSERT_TRUE(binding.Load());
  }

  // The token opened the way the page opens it.
  HRESULT Open() { return token->open(&binding, L"5EC0A1D2", kSlot); }

  // Every record from the start, in the token's order.
  Records ReadAll() {
    Records records;
    std::unique_ptr<CertificateRecord> record;
    HRESULT hr = token->nextCertificate(true, record);
    for (; record; hr = token->nextCertificate(false, record)) records.push_back(std::move(record));
    EXPECT_EQ(Token::kNoMoreCertificates, hr) << std::hex << hr;
    return records;
  }

  testkit::SoftToken soft;
  CryptokiBinding binding;
  testkit::TokenContents contents{soft, kSlot, kPassword};
  std::unique_ptr<Token> token{new Token()};
};

}  // namespace

TEST_F(TokenTest, OpenAndDestructionBracketTheSession) {
  EXPECT_EQ(MapCkResult(CKR_TOKEN_NOT_PRESENT), token->open(&binding, L"5EC0A1D2", kSlot + 1));
  // A slot that no longer exists reads as a token pulled out.
  EXPECT_EQ(MapCkResult(CKR_DEVICE_REMOVED), token->open(&binding, L"5EC0A1D2", 99));
  ASSERT_EQ(S_OK, Open());
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

TEST_F(TokenTest, ListsTheFirstTwentyAndAFailedReadKeepsTheEnumerationOnItsCertificate) {
  for (char i = 0; i < 25; ++i) contents.AddCertificate("unit", "c" + std::to_string(i), {uint8_t(i)});
  ASSERT_EQ(S_OK, Open());
  const Records records = ReadAll();
  ASSERT_EQ(20u, records.size());
  for (int i = 0; i < 20; ++i) EXPECT_EQ(std::string(1, char(i)), IdOf(*records[i])) << i;

  // Value: calls 1 and 2 (length, bytes); identifier: calls 3 and 4. Either failing keeps the
  // enumeration on that certificate.
  std::unique_ptr<CertificateRecord> record;
  for (char id : {0, 1}) {
    ASSERT_EQ(CKR_OK, soft.Inject("C_GetAttributeValue", id == 0 ? 3 : 1, CKR_DEVICE_ERROR));
    EXPECT_EQ(MapCkResult(CKR_DEVICE_ERROR), token->nextCertificate(id == 0, record)) << int(id);
    EXPECT_FALSE(record);
    EXPECT_EQ(S_OK, token->nextCertificate(false, record));
    ASSERT_TRUE(record);
    EXPECT_EQ(std::string(1, id), IdOf(*record));
  }
}

// "Issued By" of each certificate, the names of two issuers in turn.
TEST_F(TokenTest, EachCertificateShowsItsOwnIssuer) {
  contents.AddCertificate("jane-doe", "jane", {'J'});
  contents.AddEncodedCertificate(ReissuedBy("john-roe", L"O=Example, CN=Other CA"), "john", {'R'});
  contents.AddEncodedCertificate(ReissuedBy("unit", L"O=Example, CN=Other CA"), "unit", {'U'});
  contents.AddCertificate("example-corp", "corp", {'E'});
  contents.AddCatalog({});
  ASSERT_EQ(S_OK, Open());
  std::vector<std::string> issuers;
  for (const auto& r : ReadAll()) issuers.push_back(IdOf(*r) + " " + r->issuer.text() + ", " + r->subject.text());
  EXPECT_EQ((std::vector<std::string>{"J Zelt Test CA, Jane Doe", "R Other CA, John Roe", "U Other CA, OU=Unit, C=US",
                                      "E Zelt Test CA, Example Corp"}),
            issuers);
}

TEST_F(TokenTest, MapsCertificatesContainerByContainerInCatalogOrder) {
  contents.AddCertificate("jane-doe", "jane", {'J'});
  contents.AddCertificate("example-corp", "corp", {'E'});
  contents.AddCertificate("unit", "unit", {'U'});
  contents.AddCertificate("doe-comma", "doe", {'D'});
  contents.AddCertificate("ca", "ca", {'C'});
  contents.AddCatalog({"A", "missing", "old", "signing", "again"});
  contents.AddRecord("A", "jane", "corp");
  contents.AddRecord("old", "unit", "ca", 1);  // a version-1 record has no signature label
  contents.AddRecord("signing", "", "doe");
  contents.AddRecord("again", "jane", "");  // the same certificate again, in a later container
  ASSERT_EQ(S_OK, Open());

  // "id container/key spec[/default]" for each certificate, in the token's order.
  std::vector<std::string> mapped;
  for (const auto& r : ReadAll())
    mapped.push_back(IdOf(*r) + " " + (r->hasContainer ? r->containerName.text() : "-") + "/" +
                     std::to_string(r->keySpec) + (r->isDefaultLogon ? "/default" : ""));
  EXPECT_EQ((std::vector<std::string>{"J A/1/default", "E A/2", "U old/1", "D signing/2", "C -/1"}), mapped);
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
      {"label without 0x07", std::string("QCspRSAContainerCatalog") + '\0', buildCatalog(1, {"A"}), false, false}};
  for (const Variant& v : variants) {
    ASSERT_EQ(CKR_OK, soft.DeleteToken(kSlot));
    ASSERT_EQ(CKR_OK, soft.CreateToken(kSlot, "5EC0A1D2", kPassword));
    contents.AddCertificate("jane-doe", "jane", {'J'});
    contents.AddRecord("A", "jane", "");
    if (!v.label.empty()) contents.AddData(v.label, v.value);
    // Only the CSP calls C_GetSlotList (to find its token): failing it shows whether it was asked.
    ASSERT_EQ(CKR_OK, soft.Inject("C_GetSlotList", 1, CKR_DEVICE_ERROR, true));
    const HRESULT hr = Open();
    EXPECT_EQ(v.used ? S_OK : NTE_FAIL, hr) << v.what << ": 0x" << std::hex << hr;
    soft.ResetHooks();

    ASSERT_EQ(S_OK, Open()) << v.what;
    const Records records = ReadAll();
    ASSERT_EQ(1u, records.size()) << v.what;
    EXPECT_STREQ(v.mapped ? "A" : "", records[0]->containerName.text()) << v.what;
    // Jane Doe's certificate carries the smart card logon usage, but logon needs a container.
    EXPECT_EQ(v.mapped, records[0]->logonCapable) << v.what;
  }
}

TEST_F(TokenTest, PageOpensTheTokenOfTheHostsSerial) {
  contents.AddCertificate("jane-doe", "jane", {'J'});
  contents.AddCatalog({});
  {
    testkit::PageHarness harness{&UserPage::CreateInstance};
    ASSERT_TRUE(harness.Ready()) << "no display";
    harness.host.serial = L"5ec0a1d2";
    ASSERT_EQ(S_OK, harness.Open());
    UserPage* page = static_cast<UserPage*>(harness.page());
    ASSERT_EQ(S_OK, page->ReadCertificates());
    EXPECT_EQ(1u, page->TokenModel().count());
    EXPECT_NE(0u, soft.SessionCount(kSlot));
  }
  EXPECT_EQ(0u, soft.SessionCount(kSlot)) << "the page left its token's session open";
}

TEST_F(TokenTest, RegisteringTwiceSucceedsAndUnregisteringAMissingCertificateIsNotFound) {
  contents.AddCertificate("john-roe", "john", {'R'});
  contents.AddCatalog({"R"});
  contents.AddRecord("R", "john", "");
  ASSERT_EQ(S_OK, Open());
  ASSERT_EQ(S_OK, token->openMyStore());
  const Records records = ReadAll();
  ASSERT_EQ(1u, records.size());
  CertificateRecord* john = records[0].get();
  // Each step, its status and whether a freshly opened "MY" store then holds the certificate.
  const struct {
    bool add;
    HRESULT status;
    bool held;
  } steps[] = {{false, CRYPT_E_NOT_FOUND, false}, {true, S_OK, true}, {true, S_OK, true},
               {false, S_OK, false}, {false, CRYPT_E_NOT_FOUND, false}};
  for (const auto& step : steps) {
    const HRESULT hr = step.add ? token->registerCertificate(john) : token->unregisterCertificate(john);
    EXPECT_EQ(step.status, hr) << (step.add ? "register" : "unregister") << " 0x" << std::hex << hr;
    EXPECT_EQ(step.held, token->isRegistered(john->context.get()));
  }
}

TEST_F(TokenTest, RemovalWithoutContainerDestroysFiveObjectsAtMostGoesOnAfterAFailureAndLogsOut) {
  const struct {
    int keyPairs;       // beside the certificate, all with its identifier
    CK_ULONG failing;   // the C_DestroyObject call that fails, 0: none
    HRESULT status;
    size_t left;        // objects with the identifier afterwards
    size_t destroyed;   // C_DestroyObject calls
  } cases[] = {{3, 0, S_OK, 2, 5}, {1, 2, MapCkResult(CKR_DEVICE_ERROR), 1, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keyPairs);
    ASSERT_EQ(CKR_OK, soft.DeleteToken(kSlot));
    ASSERT_EQ(CKR_OK, soft.CreateToken(kSlot, "5EC0A1D2", kPassword));
    contents.AddCertificate("unit", "unit", {'U'});
    for (int i = 0; i < c.keyPairs; ++i) contents.AddKeyPair({'U'});
    ASSERT_EQ(S_OK, Open());
    const Records records = ReadAll();
    ASSERT_EQ(1u, records.size());
    if (c.failing) {
      ASSERT_EQ(CKR_OK, soft.Inject("C_DestroyObject", c.failing, CKR_DEVICE_ERROR));
    }
    soft.StartTrace();
    const HRESULT hr = token->removeCertificate(records[0].get(), kPassword);
    EXPECT_EQ(c.status, hr) << std::hex << hr;
    std::vector<std::string> expected = {"C_Logout", "C_Login", "C_FindObjectsInit", "C_FindObjects",
                                         "C_FindObjectsFinal"};
    expected.insert(expected.end(), c.destroyed, "C_DestroyObject");
    expected.push_back("C_Logout");
    EXPECT_EQ(expected, TraceCutAt(soft, "("));
    EXPECT_EQ(c.left, contents.CountWithId({'U'}));
    soft.ResetHooks();
  }
}

TEST_F(TokenTest, TheCspWorksOnTheOpenedTokenUntilTheTokenIsDestroyed) {
  // The same certificate in container "One" of a token in slot 1 and in "Two" of this one.
  // Version-2 catalogs make the map come from the CSP: the container tells which token it used.
  ASSERT_EQ(CKR_OK, soft.CreateToken(1, "77BB0001", kPassword));
  testkit::TokenContents first{soft, 1, kPassword};
  for (auto [on, name] : {std::pair<testkit::TokenContents*, const char*>{&first, "One"}, {&contents, "Two"}}) {
    on->AddCertificate("jane-doe", "jane", {'J'});
    on->AddData(std::string(containerformat::kCatalogLabel) + '\0', containerformat::buildCatalog(2, {name}));
    on->AddRecord(name, "jane", "");
  }
  ASSERT_EQ(S_OK, Open());
  const Records records = ReadAll();
  ASSERT_EQ(1u, records.size());
  EXPECT_STREQ("Two", records[0]->containerName.text());
  token.reset();
  // Without a choice the CSP takes the first token present.
  CspContext csp;
  ASSERT_EQ(0, csp.enumerateContainers());
  ASSERT_NE(nullptr, csp.firstEntry());
  EXPECT_STREQ("One", csp.firstEntry()->containerName.text()) << "the token choice outlived the Token";
}

TEST_F(TokenTest, InventoryMakesExactlyItsCallsInOrder) {
  const std::vector<uint8_t> catalog = containerformat::buildCatalog(1, {"A", "missing"});
  containerformat::RecordFields fields;
  fields.exchangeCertLabel = "jane";
  const std::vector<uint8_t> record = containerformat::buildRecord(fields);
  contents.AddCertificate("jane-doe", "jane", {'J'});       // object 1
  contents.AddCertificate("example-corp", "corp", {'E'});   // object 2
  contents.AddData(std::string(containerformat::kCatalogLabel) + '\0', catalog);  // object 3
  contents.AddData(std::string("A") + '\0', record);         // object 4
  soft.StartTrace();
  ASSERT_EQ(S_OK, Open());
  ASSERT_EQ(2u, ReadAll().size());

  // Each call as the trace shows it, without what it hands back.
  const std::string session = "hSession=" + std::to_string(token->session());
  std::vector<std::string> expected = {
      "C_OpenSession(slotID=2, flags=0x6, pApplication=NULL, Notify=NULL, phSession=&) -> CKR_OK",
      "C_Initialize(pInitArgs=&, flags=0x2) -> CKR_CRYPTOKI_ALREADY_INITIALIZED"};
  const auto search = [&](const std::string& attributes, int count, int max) {
    expected.push_back("C_FindObjectsInit(" + session + ", pTemplate=[" + attributes +
                       "], ulCount=" + std::to_string(count) + ") -> CKR_OK");
    expected.push_back("C_FindObjects(" + session + ", phObject=&, ulMaxObjectCount=" + std::to_string(max) +
                       ", pulObjectCount=&) -> CKR_OK");
    expected.push_back("C_FindObjectsFinal(" + session + ") -> CKR_OK");
  };
  // Labels are matched with their NUL.
  const auto labelled = [&](const char* objectClass, const std::string& label) {
    std::string hex;
    for (unsigned char c : label + '\0') hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15];
    search(std::string("CKA_CLASS(4)=") + objectClass + ", CKA_TOKEN(1)=01, CKA_LABEL(" +
               std::to_string(label.size() + 1) + ")=" + hex, 3, 1);
  };
  // The length first, then the value.
  const auto read = [&](int object, const char* type, size_t length) {
    for (const std::string& size : {std::string("NULL"), std::to_string(length)})
      expected.push_back("C_GetAttributeValue(" + session + ", hObject=0x200000" + std::to_string(object) +
                         ", pTemplate=[" + type + "(" + size + ")], ulCount=1) -> CKR_OK");
  };
  const size_t der[] = {0, CertificateFiles::read("jane-doe.der").size(),
                        CertificateFiles::read("example-corp.der").size()};
  search("CKA_CLASS(4)=01000000, CKA_TOKEN(1)=01", 2, 20);
  labelled("00000000", containerformat::kCatalogLabel);
  read(3, "CKA_VALUE", catalog.size());
  labelled("00000000", "A");
  read(4, "CKA_VALUE", record.size());
  labelled("01000000", "jane");
  read(1, "CKA_VALUE", der[1]);
  labelled("00000000", "missing");
  for (int object : {1, 2}) read(object, "CKA_VALUE", der[object]), read(object, "CKA_ID", 1);

  EXPECT_EQ(expected, TraceCutAt(soft, " {"));
}
