// zelt-token.exe driven as the demo drives it, then the token looked at through ZeltP11.dll in
// this process. A process start costs seconds to minutes under emulation, so the suite runs
// the tool once on a batch of commands, one scenario per token (slot), and each case checks
// its scenario's lines and token. Only the failure injection needs a run of its own.
#include <windows.h>
#include <wincrypt.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "TokenStore.h"
#include "kit/MyStore.h"
#include "tokenkit/TokenSession.h"
#include "tokenkit/WideText.h"

namespace {

enum Slot : CK_SLOT_ID {
  Pem = 1,        // PEM file with certificate and key, given id and label
  Pkcs12 = 2,     // PKCS #12, 3DES
  Pkcs12Aes = 3,  // PKCS #12, AES (OpenSSL 3's default)
  DerPkcs8 = 4,   // DER certificate, PKCS #8 DER key
  DerPkcs1 = 5,   // DER certificate, PKCS #1 PEM key
  Containers = 6,
  Rejections = 7,
  WrongPassword = 8,
  Pins = 9,
  Deleted = 10,
  Created = 11,  // empty until the tool creates a token there
  HalfWay = 12,  // for the failure injection run
};

struct ObjectView {
  std::vector<uint8_t> label, id, value;  // value: CKA_MODULUS of a key
  bool isPrivate = false;
};

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::string data(const std::wstring& name) { return "\"" + widetext::toUtf8(dataPath(name)) + "\""; }

const std::vector<uint8_t> kLabelJane = bytes(std::string("Jane Doe") + '\0');

class ZeltToken : public ::testing::Test {
 protected:
  // Every scenario's commands, run by one batch before the first case.
  static void SetUpTestSuite() {
    store_.reset(new TokenStore(HalfWay));
    if (!store_->error().empty()) return;
    for (CK_SLOT_ID slot = 1; slot <= HalfWay; ++slot)
      if (slot != Created) store_->createToken(slot, (slot < 10 ? "T0" : "T") + std::to_string(slot));
    before_ = testkit::ReadWholeFile(store_->tokenFile(Rejections));

    const std::string pw = " --password user-pin-1 --cert ", add = "add-cert --serial ";
    line("pem", add + "T01" + pw + data(L"jane-doe.pem") + " --id 0a0b0c --label \"Jane Doe\"");
    line("p12", add + "T02" + pw + data(L"jane-doe.p12") + " --pfx-password p12-secret");
    line("aes", add + "T03" + pw + data(L"jane-doe-aes.p12") + " --pfx-password p12-secret");
    line("pkcs8", add + "T04" + pw + data(L"certs/jane-doe.der") + " --key " + data(L"leaf.key.der") +
                      " --id 01 --label first");
    line("pkcs1", add + "T05" + pw + data(L"certs/jane-doe.der") + " --key " + data(L"leaf.rsa.pem") +
                      " --id 02 --label second");

    line("in container", add + "T06" + pw + data(L"jane-doe.pem") + " --container \"Jane's container\"");
    line("container A", "container --serial T06 --name A --exchange-cert X --allow-missing");
    line("container B", "container --serial T06 --name B --signature-cert Y --allow-missing");
    line("container A again", "container --serial T06 --name A --signature-cert Z --allow-missing");

    line("other key", add + "T07" + pw + data(L"certs/jane-doe.der") + " --key " + data(L"certs/keys/ca.key.pem"));
    line("pfx password", add + "T07" + pw + data(L"jane-doe.p12") + " --pfx-password wrong");
    line("unknown serial", add + "NOPE" + pw + data(L"jane-doe.pem"));
    line("duplicate", add + "T01" + pw + data(L"jane-doe.pem"));
    line("wrong password", add + "T08 --password wrong-pin --cert " + data(L"jane-doe.pem"));

    line("lock device", "lock --serial T09 --pin device");
    line("lock", "lock --serial T09");
    line("unlock", "unlock --serial T09 --pin user");
    line("delete", "delete --serial T10");
    line("create", "create --serial NEW00011 --slot 11 --label \"Second token\" --so-pin so-pin-2 --password pass-2");
    line("tokens", "tokens");
    line("register", "register-my --cert " + data(L"jane-doe.pem") + " --container \"Jane's container\"");

    const std::wstring file = store_->folder() + L"\\commands.txt";
    std::ofstream(std::filesystem::path(file), std::ios::binary) << script_;
    batch_ = store_->tool(L"batch \"" + file + L"\" --keep-going");
    batchFile_ = widetext::toUtf8(file);
  }
  static void TearDownTestSuite() { store_.reset(); }

  void SetUp() override {
    ASSERT_EQ("", store_->error());
    ASSERT_NE(-1, batch_.exitCode) << "zelt-token.exe did not run";
  }

  static void line(const std::string& key, const std::string& command) {
    script_ += command + "\n";
    lines_[key] = static_cast<int>(lines_.size()) + 1;
  }
  // The exit code the batch reported for the line.
  static long exitOf(const std::string& key) {
    const std::string marker = "batch: line " + std::to_string(lines_.at(key)) + ": exit code ";
    const size_t at = batch_.output.find(marker);
    return at == std::string::npos ? -1 : std::stol(batch_.output.substr(at + marker.size()));
  }
  // The error message of the line, or empty.
  static std::string messageOf(const std::string& key) {
    const std::string marker = "line " + std::to_string(lines_.at(key)) + " of " + batchFile_ + ": ";
    const size_t at = batch_.output.find(marker);
    if (at == std::string::npos) return std::string();
    return batch_.output.substr(at + marker.size(), batch_.output.find('\n', at) - at - marker.size());
  }

  // The token's objects of one class, private ones too when logged in with the password.
  static std::vector<ObjectView> ofClass(CK_SLOT_ID slot, CK_OBJECT_CLASS cls, bool withPrivate) {
    TokenSession session(store_->p11());
    std::vector<CK_OBJECT_HANDLE> handles;
    std::vector<ObjectView> views;
    if (session.open(slot) != CKR_OK || (withPrivate && session.login(TokenStore::kPassword) != CKR_OK) ||
        session.find(AttributeList().ulong(CKA_CLASS, cls), &handles) != CKR_OK)
      return views;
    for (CK_OBJECT_HANDLE h : handles) {
      ObjectView v;
      std::vector<uint8_t> isPrivate;
      session.read(h, CKA_LABEL, &v.label);
      session.read(h, CKA_ID, &v.id);
      session.read(h, cls == CKO_PUBLIC_KEY || cls == CKO_PRIVATE_KEY ? CKA_MODULUS : CKA_VALUE, &v.value);
      session.read(h, CKA_PRIVATE, &isPrivate);
      v.isPrivate = isPrivate == std::vector<uint8_t>{CK_TRUE};
      views.push_back(v);
    }
    return views;
  }

  static inline std::unique_ptr<TokenStore> store_;
  static inline std::vector<uint8_t> before_;  // the rejections' token before the batch
  static inline std::string script_;
  static inline std::map<std::string, int> lines_;
  static inline ToolRun batch_;
  static inline std::string batchFile_;
};

// Every form of certificate and key: the certificate public, the key pair under its identifier
// (the one given, or one the tool makes) and label (the one given, or the subject's common name),
// the private key private, and the same key in every form.
TEST_F(ZeltToken, AddCertificateStoresCertificateAndKeyPairFromPemPkcs12AndDerFilesWithPkcs8AndPkcs1Keys) {
  const std::vector<uint8_t> der = testkit::ReadWholeFile(dataPath(L"certs/jane-doe.der"));
  const struct {
    const char* key;
    CK_SLOT_ID slot;
    std::vector<uint8_t> label, id;  // id {}: none given
  } forms[] = {{"pem", Pem, kLabelJane, {0x0a, 0x0b, 0x0c}},
               {"p12", Pkcs12, kLabelJane, {}},
               {"aes", Pkcs12Aes, kLabelJane, {}},
               {"pkcs8", DerPkcs8, bytes(std::string("first") + '\0'), {1}},
               {"pkcs1", DerPkcs1, bytes(std::string("second") + '\0'), {2}}};
  // Checked first: a form that fails below ends the test.
  EXPECT_EQ(7, exitOf("duplicate"));
  EXPECT_THAT(messageOf("duplicate"), HasSubstr("this certificate is already on token \"T01\""));
  std::vector<uint8_t> modulus;  // the first form's
  for (const auto& form : forms) {
    SCOPED_TRACE(form.key);
    EXPECT_EQ(0, exitOf(form.key)) << messageOf(form.key) << "\n" << describe(batch_);
    const auto certificates = ofClass(form.slot, CKO_CERTIFICATE, false);
    const auto publicKeys = ofClass(form.slot, CKO_PUBLIC_KEY, false);
    const auto privateKeys = ofClass(form.slot, CKO_PRIVATE_KEY, true);
    ASSERT_EQ(1u, certificates.size());
    ASSERT_EQ(1u, publicKeys.size());
    ASSERT_EQ(1u, privateKeys.size());
    EXPECT_EQ(der, certificates[0].value);
    if (!form.id.empty()) {
      EXPECT_EQ(form.id, certificates[0].id);
    } else {
      EXPECT_FALSE(certificates[0].id.empty()) << "without --id: one the tool makes";
    }
    // Labels are stored with their NUL, as the CSP looks them up.
    EXPECT_EQ(form.label, certificates[0].label) << "without --label: the subject's common name";
    EXPECT_EQ(form.label, privateKeys[0].label);
    EXPECT_FALSE(certificates[0].isPrivate);
    EXPECT_TRUE(ofClass(form.slot, CKO_PRIVATE_KEY, false).empty()) << "the private key is private";
    for (const ObjectView& key : {publicKeys[0], privateKeys[0]}) EXPECT_EQ(certificates[0].id, key.id);
    EXPECT_EQ(256u, publicKeys[0].value.size()) << "the 2048-bit modulus without a leading zero";
    EXPECT_EQ(publicKeys[0].value, privateKeys[0].value);
    if (modulus.empty()) modulus = publicKeys[0].value;
    EXPECT_EQ(modulus, privateKeys[0].value) << "the same key in every form";
  }
}

TEST_F(ZeltToken, ContainersAreWrittenInTheCspFormatsAndKeepCatalogOrder) {
  for (const char* key : {"in container", "container A", "container B", "container A again"})
    EXPECT_EQ(0, exitOf(key)) << key << ": " << messageOf(key);
  const auto records = ofClass(Containers, CKO_DATA, false);
  ASSERT_EQ(4u, records.size());
  // In creation order: the first record, the catalog, then the records A and B.
  EXPECT_EQ(bytes(std::string("Jane's container") + '\0'), records[0].label);
  // Version 2, a reserved byte, two strings the CSP keeps, the exchange label, the signature label.
  EXPECT_EQ(bytes(std::string("\x02\x00\x00\x00Jane Doe\x00\x00", 14)), records[0].value);
  EXPECT_EQ(bytes(std::string("QCspRSAContainerCatalog\x07\x00", 25)), records[1].label);
  EXPECT_EQ(bytes(std::string("\x01\x00\x03\x00Jane's container\x00" "A\x00" "B\x00", 25)), records[1].value);
  EXPECT_EQ(bytes(std::string("\x02\x00\x00\x00X\x00Z\x00", 8)), records[2].value) << "A keeps its exchange label";
  EXPECT_EQ(bytes(std::string("\x02\x00\x00\x00\x00Y\x00", 7)), records[3].value);
  for (const ObjectView& o : records) EXPECT_FALSE(o.isPrivate) << "the page reads them without logging in";
}

TEST_F(ZeltToken, BadInputOrAWrongPasswordIsRejectedWithAClearMessageAndTheTokenStaysUnchanged) {
  const struct {
    const char* key;
    long exitCode;
    const char* message;
  } cases[] = {
      {"other key", 2, "the private key does not belong to the certificate"},
      {"pfx password", 4, "wrong PKCS #12 password"},
      {"unknown serial", 3, "no token with the serial \"NOPE\""},
      {"wrong password", 4, "wrong password for token \"T08\"; 4 tries left"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.exitCode, exitOf(c.key)) << c.key << ": " << messageOf(c.key);
    EXPECT_THAT(messageOf(c.key), HasSubstr(c.message)) << c.key;
  }
  EXPECT_EQ(before_, testkit::ReadWholeFile(store_->tokenFile(Rejections))) << "not a byte of the token changed";
  EXPECT_TRUE(ofClass(WrongPassword, CKO_CERTIFICATE, true).empty());
  EXPECT_NE(0, batch_.exitCode) << "the batch ends with the first failure's code";
}

TEST_F(ZeltToken, TokensAreCreatedListedAndDeletedAndPinsLockedAndUnlocked) {
  for (const char* key : {"lock device", "lock", "unlock", "delete", "create", "tokens"})
    EXPECT_EQ(0, exitOf(key)) << key << ": " << messageOf(key);
  Q_FUNCTION_LIST_PTR vendor = store_->vendor();
  EXPECT_EQ(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(Pins, Q_PIN_DEVICE));
  EXPECT_EQ(CKR_OK, vendor->Q_GetPinStatus(Pins, Q_PIN_USER)) << "locked, then unlocked";
  EXPECT_EQ(CKR_OK, vendor->Q_GetPinStatus(Pins, Q_PIN_SO));
  std::vector<TokenSlot> slots;
  ASSERT_EQ(CKR_OK, store_->library().listTokens(&slots));
  ASSERT_EQ(static_cast<size_t>(HalfWay), slots.size());
  EXPECT_EQ(static_cast<CK_ULONG>(Q_TOKEN_ABSENT), slots[Deleted - 1].state);
  EXPECT_EQ("NEW00011", slots[Created - 1].serial);
  EXPECT_EQ("Second token", slots[Created - 1].label);
  TokenSession session(store_->p11());
  ASSERT_EQ(CKR_OK, session.open(Created));
  EXPECT_EQ(CKR_OK, session.login("pass-2"));
  EXPECT_THAT(batch_.output, HasSubstr("11    token    NEW00011          Second token"));
}

TEST_F(ZeltToken, RegisterMyAddsTheCertificateWithItsContainer) {
  ASSERT_EQ(0, exitOf("register")) << messageOf("register");
  // A new handle sees the tool's change only when the tool committed it (Wine caches stores): as
  // "provider/container/key spec/provider type", the key exchange key of a PROV_RSA_FULL provider.
  EXPECT_EQ("Quillon Zelt RSA Cryptographic Service Provider/Jane's container/1/1", testkit::KeyInfoInMy("jane-doe"));
  // Leave the store as it was for other suites.
  testkit::DropFromMy("jane-doe");
}

TEST_F(ZeltToken, FailureHalfWayUndoesEverythingAlreadyWritten) {
  // Certificate, public key, private key and record are made; the catalog, the fifth, fails.
  const ToolRun r = store_->tool(L"add-cert --serial T12 --password user-pin-1 --cert \"" + dataPath(L"jane-doe.pem") +
                                     L"\" --container C1",
                                 {{L"ZELT_SOFTTOKEN_FAIL", L"C_CreateObject:5:0x30"}});
  EXPECT_EQ(5, r.exitCode) << describe(r);
  EXPECT_THAT(r.output, HasSubstr("writing the container catalog failed: CKR_DEVICE_ERROR"));
  for (CK_OBJECT_CLASS cls : {CKO_CERTIFICATE, CKO_PUBLIC_KEY, CKO_PRIVATE_KEY, CKO_DATA})
    EXPECT_TRUE(ofClass(HalfWay, cls, true).empty()) << "class " << cls << ": made before the failure, then removed";
}

}  // namespace
