// CspContext and the CSP requests against the stand-in CSP (ZeltCsp.dll) on the software token.
#include <windows.h>
#include <wincrypt.h>

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kit/SoftToken.h"
#include "model/CertificateFiles.h"
#include "model/CspContext.h"
#include "model/CspRequests.h"
#include "model/ScopedCryptProv.h"
#include "model/Status.h"
#include "tokenkit/ContainerStore.h"

namespace {

const char kSerial[] = "CSP-TOKEN-1";
const char kPassword[] = "12345678";
const int32_t kNoSmartCard = static_cast<int32_t>(0x8010000C);
const int32_t kWrongPassword = static_cast<int32_t>(0x8010006B);  // SCARD_W_WRONG_CHV
const int32_t kNoPassword = static_cast<int32_t>(0x8010006F);     // SCARD_W_CARD_NOT_AUTHENTICATED

// A test certificate's DER encoding.
struct CertificateFile : ByteBuffer {
  explicit CertificateFile(const char* file) {
    const std::vector<BYTE> bytes = CertificateFiles::read(file);
    assign(bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
};

// "container/keySpec[/default]" for each entry, in map order.
std::vector<std::string> mapOf(const CspContext& csp) {
  std::vector<std::string> out;
  for (const ContainerMapEntry* e = csp.firstEntry(); e; e = e->next)
    out.push_back(std::string(e->containerName.text()) + "/" + std::to_string(e->keySpec) + (e->isDefault ? "/default" : ""));
  return out;
}

class CspTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(token_.ready());
    ASSERT_EQ(CKR_OK, token_.CreateToken(1, kSerial, kPassword));
    ASSERT_EQ(0, selectToken(kSerial));
  }
  // The token choice outlives every handle: the next test must not inherit it.
  void TearDown() override { EXPECT_EQ(0, selectToken("")); }

  // A key pair under id, and with a certificate file also the certificate, labelled label.
  void addCredential(CK_SLOT_ID slot, const char* file, uint8_t id, const std::string& label) {
    TokenSession session(token_.standard());
    ASSERT_EQ(CKR_OK, session.open(slot));
    ASSERT_EQ(CKR_OK, session.login(kPassword));
    const std::vector<uint8_t> keyId = {id};
    CK_OBJECT_HANDLE object = 0;
    for (CK_OBJECT_CLASS cls : {CKO_PUBLIC_KEY, CKO_PRIVATE_KEY}) {
      AttributeList key;
      key.ulong(CKA_CLASS, cls).ulong(CKA_KEY_TYPE, CKK_RSA).boolean(CKA_TOKEN, true).bytes(CKA_ID, keyId).label(label);
      ASSERT_EQ(CKR_OK, session.create(key, &object));
    }
    if (!file) return;
    const std::vector<BYTE> der = CertificateFiles::read(file);
    ScopedCertContext cert(::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
    ASSERT_TRUE(cert) << file;
    const CERT_NAME_BLOB& subject = cert.get()->pCertInfo->Subject;
    AttributeList t;
    t.ulong(CKA_CLASS, CKO_CERTIFICATE).ulong(CKA_CERTIFICATE_TYPE, CKC_X_509).boolean(CKA_TOKEN, true)
        .boolean(CKA_PRIVATE, false).bytes(CKA_ID, keyId).label(label)
        .bytes(CKA_SUBJECT, std::vector<uint8_t>(subject.pbData, subject.pbData + subject.cbData))
        .bytes(CKA_VALUE, std::vector<uint8_t>(der.begin(), der.end()));
    ASSERT_EQ(CKR_OK, session.create(t, &object));
  }

  // A container record with those fields, appended to the catalog (as the provisioning tool writes them).
  void addContainer(CK_SLOT_ID slot, const std::string& name, const containerformat::RecordFields& fields) {
    TokenSession session(token_.standard());
    ASSERT_EQ(CKR_OK, session.open(slot));
    ContainerStore store(session);
    Transaction tx(session);
    ASSERT_FALSE(store.writeRecord(tx, name, ContainerStore::Record(), fields).failed());
    ASSERT_FALSE(store.addName(tx, name).failed());
    tx.commit();
  }
  void addContainer(const std::string& name, const std::string& exchangeLabel) {
    containerformat::RecordFields fields;
    fields.exchangeCertLabel = exchangeLabel;
    addContainer(1, name, fields);
  }

  std::vector<std::string> catalogNames() {
    TokenSession session(token_.standard());
    EXPECT_EQ(CKR_OK, session.open(1));
    ContainerStore store(session);
    ContainerStore::Catalog catalog;
    EXPECT_FALSE(store.readCatalog(&catalog).failed());
    return catalog.names;
  }

  size_t objectsWithId(uint8_t id) {
    TokenSession session(token_.standard());
    EXPECT_EQ(CKR_OK, session.open(1));
    EXPECT_EQ(CKR_OK, session.login(kPassword));
    AttributeList t;
    t.bytes(CKA_ID, {id});
    std::vector<CK_OBJECT_HANDLE> found;
    EXPECT_EQ(CKR_OK, session.find(t, &found));
    return found.size();
  }

  testkit::SoftToken token_;
};

TEST_F(CspTest, EnumerationMapsEachCertifiedKeyInCatalogOrder) {
  addCredential(1, "jane-doe.der", 1, "Jane");
  addCredential(1, "unit.der", 2, "Unit");
  addCredential(1, nullptr, 3, "Bare keys");
  containerformat::RecordFields both;
  both.field1 = "01";
  both.field2 = "02";
  both.exchangeCertLabel = "Jane";
  both.signatureCertLabel = "Unit";
  addContainer(1, "Alpha", both);
  containerformat::RecordFields keysOnly;
  keysOnly.field1 = "03";
  addContainer(1, "Bravo", keysOnly);
  addContainer("Charlie", "Jane");  // the same certificate as Alpha's exchange key

  CspContext csp;
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ((std::vector<std::string>{"Alpha/1/default", "Alpha/2", "Charlie/1"}), mapOf(csp));

  TextBuffer name;
  uint32_t keySpec = 0;
  bool isDefault = false;
  EXPECT_EQ(0, csp.lookup(CertificateFile("jane-doe.der"), name, &keySpec, &isDefault));
  EXPECT_STREQ("Alpha", name.text());  // the earlier of the two containers
  EXPECT_EQ(1u, keySpec);
  EXPECT_TRUE(isDefault);
  EXPECT_EQ(0, csp.lookup(CertificateFile("unit.der"), name, &keySpec, &isDefault));
  EXPECT_EQ(2u, keySpec);
  EXPECT_FALSE(isDefault);
  keySpec = 77;
  EXPECT_EQ(1, csp.lookup(CertificateFile("example-corp.der"), name, &keySpec, &isDefault));
  EXPECT_STREQ("", name.text());
  EXPECT_EQ(77u, keySpec);
}

TEST_F(CspTest, TokenWithoutContainersGivesAnEmptyMap) {
  CspContext csp;
  ASSERT_EQ(0, csp.acquireVerifyContext());
  TextBuffer name;
  EXPECT_EQ(static_cast<int32_t>(ERROR_NO_MORE_ITEMS), csp.nextContainerName(true, name));
  csp.addEntry(CertificateFile("unit.der"), "Stale", 1);
  EXPECT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ(nullptr, csp.firstEntry());
}

TEST_F(CspTest, RemovedTokenIsReportedAsNoSmartCard) {
  addCredential(1, "jane-doe.der", 1, "Jane");
  addContainer("Alpha", "Jane");
  CspContext csp;
  ASSERT_EQ(0, csp.enumerateContainers());
  ASSERT_EQ(CKR_OK, token_.vendor()->Q_RemoveTokenAfter(1, 0));
  // The CSP still lists the container it knows; opening it silently fails.
  const int32_t status = csp.enumerateContainers();
  EXPECT_EQ(kNoSmartCard, status) << std::hex << status;
  EXPECT_EQ(nullptr, csp.firstEntry());
}

TEST_F(CspTest, SelectTokenChoosesBySerialAndEmptyTextForgets) {
  ASSERT_EQ(CKR_OK, token_.CreateToken(2, "CSP-TOKEN-2", kPassword));
  addCredential(1, "jane-doe.der", 1, "Jane");
  addCredential(2, "unit.der", 2, "Unit");
  addContainer("One", "Jane");
  containerformat::RecordFields two;
  two.exchangeCertLabel = "Unit";
  addContainer(2, "Two", two);

  CspContext csp;
  ASSERT_EQ(0, selectToken("CSP-TOKEN-2"));
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ(std::vector<std::string>{"Two/1/default"}, mapOf(csp));
  // An empty serial passes no blob at all: the CSP forgets the choice and uses the first token.
  ASSERT_EQ(0, selectToken(""));
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ(std::vector<std::string>{"One/1/default"}, mapOf(csp));
}

TEST_F(CspTest, SetDefaultContainerPutsItFirstInTheCatalog) {
  addCredential(1, "jane-doe.der", 1, "Jane");
  addCredential(1, "unit.der", 2, "Unit");
  addContainer("Alpha", "Jane");
  addContainer("Bravo", "Unit");
  ASSERT_EQ(0, setDefaultContainer("Bravo"));
  EXPECT_EQ((std::vector<std::string>{"Bravo", "Alpha"}), catalogNames());
  CspContext csp;
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ((std::vector<std::string>{"Bravo/1/default", "Alpha/1"}), mapOf(csp));
  EXPECT_NE(0, setDefaultContainer("Missing"));
}

TEST_F(CspTest, CreateBoundContainerTakesOverTheKeyPairAndCertificate) {
  addCredential(1, "jane-doe.der", 0x11, "Jane");
  addCredential(1, "unit.der", 0x12, "Unit");
  ByteBuffer janeId, unitId;
  const uint8_t ids[] = {0x11, 0x12};
  janeId.assign(&ids[0], 1);
  unitId.assign(&ids[1], 1);

  TextBuffer name;
  ASSERT_EQ(0, createBoundContainer(janeId, kPassword, name));
  EXPECT_TRUE(std::regex_match(name.text(), std::regex("[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}"))) << name.text();
  EXPECT_EQ(std::vector<std::string>{name.text()}, catalogNames());
  CspContext csp;
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ(std::vector<std::string>{std::string(name.text()) + "/1/default"}, mapOf(csp));

  TextBuffer refused;
  const int32_t status = createBoundContainer(unitId, "wrong", refused);
  EXPECT_EQ(kWrongPassword, status) << std::hex << status;
  EXPECT_TRUE(refused.empty());
  ASSERT_EQ(0, csp.enumerateContainers());
  EXPECT_EQ(1, csp.lookup(CertificateFile("unit.der"), refused));
}

TEST_F(CspTest, DeleteContainerNeedsThePasswordAndNeverKeepsIt) {
  addCredential(1, "jane-doe.der", 1, "Jane");
  addContainer("Alpha", "Jane");
  EXPECT_EQ(StatusPointer, deleteContainer(nullptr, kPassword));
  EXPECT_EQ(StatusPointer, deleteContainer("Alpha", nullptr));

  const int32_t status = deleteContainer("Alpha", "wrong");
  EXPECT_EQ(kWrongPassword, status) << std::hex << status;
  EXPECT_EQ(std::vector<std::string>{"Alpha"}, catalogNames());
  // The wrong password was cleared: a deletion now finds no password at all.
  HCRYPTPROV unused = 0;
  EXPECT_FALSE(::CryptAcquireContextA(&unused, "Alpha", kCspProviderName, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  EXPECT_EQ(kNoPassword, static_cast<int32_t>(::GetLastError())) << std::hex << ::GetLastError();

  ASSERT_EQ(0, deleteContainer("Alpha", kPassword));
  EXPECT_TRUE(catalogNames().empty());
  EXPECT_EQ(0u, objectsWithId(1)) << "the certificate and key pair go with the container";
}

}  // namespace
