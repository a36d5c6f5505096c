// zelt-token.exe driven as a user drives it, then the token looked at through ZeltP11.dll in
// this process. A process start costs seconds to minutes under emulation, so the suite runs
// the tool once on a batch of commands, one scenario per token (slot), and each case checks
// its scenario's lines and token. Only the failure injection and --help need runs of their own.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TokenProbe.h"
#include "ToolRun.h"
#include "model/ScopedCertContext.h"
#include "tokenkit/ScopedCertStore.h"
#include "model/ScopedFileHandle.h"
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
  Locked = 9,
  Unlocked = 10,
  Deleted = 11,
  Created = 12,  // empty until the tool creates a token there
  RawObjects = 13,
  HalfWay = 14,  // for the failure injection run
  kSlotCount = 15,
};

std::string serialOf(CK_SLOT_ID slot) { return (slot < 10 ? "T0" : "T") + std::to_string(slot); }
std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::string data(const std::wstring& name) { return "\"" + widetext::toUtf8(dataPath(name)) + "\""; }
std::string certs(const std::wstring& name) { return data(L"../../data/certs/" + name); }

const std::vector<uint8_t> kLabelJane = bytes(std::string("Jane Doe") + '\0');

class ZeltToken : public ::testing::Test {
 protected:
  // Every scenario's commands, run by one batch before the first case.
  static void SetUpTestSuite() {
    probe_.reset(new TokenProbe(kSlotCount));
    if (!probe_->ready()) return;
    for (CK_SLOT_ID slot = 1; slot < kSlotCount; ++slot)
      if (slot != Created && !probe_->createToken(slot, serialOf(slot))) return;
    if (!storeCertificateDirectly(Rejections)) return;
    for (CK_SLOT_ID slot = 1; slot < kSlotCount; ++slot) before_[slot] = probe_->fileBytes(slot);

    const std::string pw = " --password user-pin-1";
    const std::string add = "add-cert --serial ";
    line("pem", add + "T01" + pw + " --cert " + data(L"jane-doe.pem") + " --id 0a0b0c --label \"Jane Doe\"");
    line("p12", add + "T02" + pw + " --cert " + data(L"jane-doe.p12") + " --pfx-password p12-secret");
    line("aes", add + "T03" + pw + " --cert " + data(L"jane-doe-aes.p12") + " --pfx-password p12-secret");
    line("pkcs8", add + "T04" + pw + " --cert " + certs(L"jane-doe.der") + " --key " + data(L"leaf.key.der") +
                      " --id 01 --label first");
    line("pkcs1", add + "T05" + pw + " --cert " + certs(L"jane-doe.der") + " --key " + data(L"leaf.rsa.pem") +
                      " --id 02 --label second");

    line("in container", add + "T06" + pw + " --cert " + data(L"jane-doe.pem") + " --container \"Jane's container\"");
    line("container A", "container --serial T06 --name A --exchange-cert X --allow-missing");
    line("container B", "container --serial T06 --name B --signature-cert Y --allow-missing");
    line("container A again", "container --serial T06 --name A --signature-cert Z --allow-missing");
    line("container v1", "container --serial T06 --name OLD --exchange-cert W --version 1 --allow-missing --no-catalog");
    line("missing label", "container --serial T06 --name C --exchange-cert \"No such label\"");

    const std::string bad = add + "T07" + pw;
    line("garbage", bad + " --cert " + data(L"make-tool-data.sh"));
    line("missing file", bad + " --cert " + data(L"missing.pem"));
    line("other key", bad + " --cert " + certs(L"jane-doe.der") + " --key " + certs(L"keys/ca.key.pem"));
    line("encrypted key", bad + " --cert " + certs(L"jane-doe.der") + " --key " + data(L"leaf.enc.pem"));
    line("pfx password", bad + " --cert " + data(L"jane-doe.p12") + " --pfx-password wrong");
    line("no key", bad + " --cert " + certs(L"jane-doe.der"));
    line("duplicate", bad + " --cert " + data(L"jane-doe.pem"));
    line("unknown serial", add + "NOPE" + pw + " --cert " + data(L"jane-doe.pem"));
    line("unknown option", bad + " --cert " + data(L"jane-doe.pem") + " --colour blue");

    line("wrong password", add + "T08 --password wrong-pin --cert " + data(L"jane-doe.pem"));

    line("lock user", "lock --serial T09");
    line("lock device", "lock --serial T09 --pin device");
    line("lock then", "lock --serial T10");
    line("unlock", "unlock --serial T10 --pin user");

    line("delete", "delete --serial T11");
    line("create", "create --serial NEW00012 --slot 12 --label \"Second token\" --so-pin so-pin-2 --password pass-2");
    line("create again", "create --serial NEW00012 --so-pin so-pin-3");
    line("tokens", "tokens");

    line("raw", "add-object --serial T13 --class data --attr CKA_LABEL=text:raw --attr value=hex:0102ff --attr CKA_PRIVATE=false");
    line("second raw", "add-object --serial T13 --class data --label second --attr value=text:x");
    line("objects", "objects --serial T13");
    line("remove", "remove --serial T13 --label second");

    line("register", "register-my --cert " + data(L"jane-doe.pem") + " --container \"Jane's container\"");
    line("register unit", "register-my --cert " + certs(L"unit.der"));
    line("unregister unit", "unregister-my --cert " + certs(L"unit.der"));

    const std::wstring file = probe_->folder() + L"\\commands.txt";
    ScopedFileHandle f(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ::WriteFile(f.get(), script_.data(), static_cast<DWORD>(script_.size()), &written, nullptr);
    f.reset();
    batch_ = runTool(L"--dir \"" + probe_->folder() + L"\" batch \"" + file + L"\" --keep-going");
    batchFile_ = widetext::toUtf8(file);
  }
  static void TearDownTestSuite() { probe_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(probe_->ready()) << probe_->error();
    ASSERT_NE(-1, batch_.exitCode) << "zelt-token.exe did not run";
  }

  static void line(const std::string& key, const std::string& command) {
    script_ += command + "\n";
    lines_[key] = ++lineCount_;
  }

  // The exit code the batch reported for the line.
  static long exitOf(const std::string& key) {
    const std::string marker = "batch: line " + std::to_string(lines_.at(key)) + ": exit code ";
    const size_t at = batch_.out.find(marker);
    return at == std::string::npos ? -1 : std::stol(batch_.out.substr(at + marker.size()));
  }
  // The error message of the line, or empty.
  static std::string messageOf(const std::string& key) {
    const std::string marker = "line " + std::to_string(lines_.at(key)) + " of " + batchFile_ + ": ";
    const size_t at = batch_.err.find(marker);
    if (at == std::string::npos) return std::string();
    const size_t start = at + marker.size();
    return batch_.err.substr(start, batch_.err.find('\n', start) - start);
  }

  static std::vector<ObjectView> ofClass(CK_SLOT_ID slot, CK_OBJECT_CLASS cls, bool withPrivate) {
    std::vector<ObjectView> some;
    for (const ObjectView& o : probe_->objects(slot, withPrivate))
      if (o.cls == cls) some.push_back(o);
    return some;
  }

  static bool storeCertificateDirectly(CK_SLOT_ID slot) {
    const std::vector<uint8_t> der = dataFile(L"../../data/certs/jane-doe.der");
    CK_OBJECT_CLASS cls = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE type = CKC_X_509;
    CK_BBOOL yes = CK_TRUE;
    uint8_t subject[] = {0x30, 0x00};
    return probe_->create(slot,
                          {{CKA_CLASS, &cls, sizeof cls},
                           {CKA_TOKEN, &yes, 1},
                           {CKA_CERTIFICATE_TYPE, &type, sizeof type},
                           {CKA_SUBJECT, subject, sizeof subject},
                           {CKA_VALUE, const_cast<uint8_t*>(der.data()), static_cast<CK_ULONG>(der.size())}}) ==
           CKR_OK;
  }

  static std::unique_ptr<TokenProbe> probe_;
  static std::map<CK_SLOT_ID, std::vector<uint8_t>> before_;
  static std::string script_;
  static std::map<std::string, int> lines_;
  static int lineCount_;
  static ToolRun batch_;
  static std::string batchFile_;
};

std::unique_ptr<TokenProbe> ZeltToken::probe_;
std::map<CK_SLOT_ID, std::vector<uint8_t>> ZeltToken::before_;
std::string ZeltToken::script_;
std::map<std::string, int> ZeltToken::lines_;
int ZeltToken::lineCount_ = 0;
ToolRun ZeltToken::batch_;
std::string ZeltToken::batchFile_;

TEST_F(ZeltToken, AddCertificateStoresCertificateAndKeyPairUnderTheGivenIdAndLabel) {
  ASSERT_EQ(0, exitOf("pem")) << describe(batch_);
  const std::vector<uint8_t> der = dataFile(L"../../data/certs/jane-doe.der");
  ASSERT_FALSE(der.empty());
  const std::vector<uint8_t> id = {0x0a, 0x0b, 0x0c};
  const auto certificates = ofClass(Pem, CKO_CERTIFICATE, false);
  ASSERT_EQ(1u, certificates.size());
  EXPECT_EQ(der, certificates[0].value);
  EXPECT_EQ(id, certificates[0].id);
  EXPECT_EQ(kLabelJane, certificates[0].label) << "labels are stored with their NUL, as the CSP looks them up";
  EXPECT_FALSE(certificates[0].isPrivate);
  EXPECT_TRUE(certificates[0].onToken);

  const auto publicKeys = ofClass(Pem, CKO_PUBLIC_KEY, false);
  ASSERT_EQ(1u, publicKeys.size());
  EXPECT_EQ(id, publicKeys[0].id);
  EXPECT_FALSE(publicKeys[0].isPrivate);
  EXPECT_EQ(256u, publicKeys[0].modulus.size()) << "the 2048-bit modulus without a leading zero";

  EXPECT_TRUE(ofClass(Pem, CKO_PRIVATE_KEY, false).empty()) << "the private key is private";
  const auto privateKeys = ofClass(Pem, CKO_PRIVATE_KEY, true);
  ASSERT_EQ(1u, privateKeys.size());
  EXPECT_EQ(id, privateKeys[0].id);
  EXPECT_TRUE(privateKeys[0].isPrivate);
  EXPECT_TRUE(privateKeys[0].onToken);
  EXPECT_EQ(kLabelJane, privateKeys[0].label);
  EXPECT_EQ(publicKeys[0].modulus, privateKeys[0].modulus);
}

TEST_F(ZeltToken, AddCertificateReadsPkcs12AndDerFilesWithPkcs8AndPkcs1Keys) {
  const std::vector<uint8_t> der = dataFile(L"../../data/certs/jane-doe.der");
  const std::vector<uint8_t> modulus = ofClass(Pem, CKO_PRIVATE_KEY, true).at(0).modulus;
  const struct {
    const char* key;
    CK_SLOT_ID slot;
    std::vector<uint8_t> label;
  } forms[] = {{"p12", Pkcs12, kLabelJane},
               {"aes", Pkcs12Aes, kLabelJane},
               {"pkcs8", DerPkcs8, bytes(std::string("first") + '\0')},
               {"pkcs1", DerPkcs1, bytes(std::string("second") + '\0')}};
  for (const auto& form : forms) {
    SCOPED_TRACE(form.key);
    EXPECT_EQ(0, exitOf(form.key)) << messageOf(form.key);
    const auto certificates = ofClass(form.slot, CKO_CERTIFICATE, false);
    ASSERT_EQ(1u, certificates.size());
    EXPECT_EQ(der, certificates[0].value);
    EXPECT_EQ(form.label, certificates[0].label) << "without --label: the subject's common name";
    const auto privateKeys = ofClass(form.slot, CKO_PRIVATE_KEY, true);
    ASSERT_EQ(1u, privateKeys.size());
    EXPECT_EQ(modulus, privateKeys[0].modulus) << "the same key in every form";
    EXPECT_EQ(certificates[0].id, privateKeys[0].id);
    EXPECT_EQ(3u, probe_->objects(form.slot, true).size());
  }
}

TEST_F(ZeltToken, ContainersAreWrittenInTheCspFormatsAndKeepCatalogOrder) {
  for (const char* key : {"in container", "container A", "container B", "container A again", "container v1"})
    EXPECT_EQ(0, exitOf(key)) << key << ": " << messageOf(key);
  const auto records = ofClass(Containers, CKO_DATA, false);
  ASSERT_EQ(5u, records.size());
  // In creation order: the first record, the catalog, then the records A, B and OLD.
  EXPECT_EQ(bytes(std::string("Jane's container") + '\0'), records[0].label);
  // Version 2, a reserved byte, two strings the CSP keeps, the exchange label, the signature label.
  EXPECT_EQ(bytes(std::string("\x02\x00\x00\x00Jane Doe\x00\x00", 14)), records[0].value);
  EXPECT_EQ(bytes(std::string("QCspRSAContainerCatalog\x07\x00", 25)), records[1].label);
  EXPECT_EQ(bytes(std::string("\x01\x00\x03\x00Jane's container\x00" "A\x00" "B\x00", 25)), records[1].value);
  EXPECT_EQ(bytes(std::string("\x02\x00\x00\x00X\x00Z\x00", 8)), records[2].value) << "A keeps its exchange label";
  EXPECT_EQ(bytes(std::string("\x02\x00\x00\x00\x00Y\x00", 7)), records[3].value);
  EXPECT_EQ(bytes(std::string("\x01\x00\x00\x00W\x00", 6)), records[4].value) << "version 1 has no signature label";
  for (const ObjectView& o : records) {
    EXPECT_FALSE(o.isPrivate) << "the page reads them without logging in";
    EXPECT_TRUE(o.onToken);
  }
  EXPECT_EQ(2, exitOf("missing label"));
  EXPECT_NE(std::string::npos, messageOf("missing label").find("no certificate labelled \"No such label\""))
      << messageOf("missing label");
}

TEST_F(ZeltToken, BadInputOrAWrongPasswordIsRejectedWithAClearMessageAndTheTokenStaysUnchanged) {
  const struct {
    const char* key;
    long exitCode;
    const char* message;
  } cases[] = {
      {"garbage", 2, "neither a PEM file, a DER certificate nor a PKCS #12 file"},
      {"missing file", 2, "no such file"},
      {"other key", 2, "the private key does not belong to the certificate"},
      {"encrypted key", 2, "the private key is encrypted"},
      {"pfx password", 4, "wrong PKCS #12 password"},
      {"no key", 2, "no private key was found with the certificate"},
      {"duplicate", 7, "this certificate is already on token \"T07\""},
      {"unknown serial", 3, "no token with the serial \"NOPE\""},
      {"unknown option", 1, "the command add-cert has no option --colour"},
      {"wrong password", 4, "wrong password for token \"T08\"; 4 tries left"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.exitCode, exitOf(c.key)) << c.key << ": " << messageOf(c.key);
    EXPECT_NE(std::string::npos, messageOf(c.key).find(c.message)) << c.key << ": " << messageOf(c.key);
  }
  EXPECT_NE(std::string::npos, messageOf("unknown serial").find("\"T01\" (slot 1)")) << "it lists the tokens there are";
  EXPECT_EQ(before_[Rejections], probe_->fileBytes(Rejections)) << "not a byte of the token changed";
  EXPECT_TRUE(probe_->objects(WrongPassword, true).empty());
  EXPECT_NE(0, batch_.exitCode) << "the batch ends with the first failure's code";
}

TEST_F(ZeltToken, LockAndUnlockChangeOnlyTheNamedPin) {
  for (const char* key : {"lock user", "lock device", "lock then", "unlock"}) EXPECT_EQ(0, exitOf(key)) << messageOf(key);
  Q_FUNCTION_LIST_PTR vendor = probe_->library().vendor();
  EXPECT_EQ(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(Locked, Q_PIN_USER));
  EXPECT_EQ(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(Locked, Q_PIN_DEVICE));
  EXPECT_EQ(CKR_OK, vendor->Q_GetPinStatus(Locked, Q_PIN_SO));
  EXPECT_EQ(CKR_OK, vendor->Q_GetPinStatus(Unlocked, Q_PIN_USER)) << "locked, then unlocked";
}

TEST_F(ZeltToken, TokensAreCreatedListedAndDeleted) {
  EXPECT_EQ(0, exitOf("delete")) << messageOf("delete");
  EXPECT_EQ(0, exitOf("create")) << messageOf("create");
  EXPECT_EQ(7, exitOf("create again"));
  EXPECT_NE(std::string::npos, messageOf("create again").find("already holds a token with the serial \"NEW00012\""))
      << messageOf("create again");
  std::vector<TokenSlot> slots;
  ASSERT_EQ(CKR_OK, probe_->library().listTokens(&slots));
  ASSERT_EQ(static_cast<size_t>(kSlotCount), slots.size());
  EXPECT_EQ(static_cast<CK_ULONG>(Q_TOKEN_ABSENT), slots[Deleted - 1].state);
  EXPECT_EQ(static_cast<CK_ULONG>(Q_TOKEN_PRESENT), slots[Created - 1].state);
  EXPECT_EQ("NEW00012", slots[Created - 1].serial);
  EXPECT_EQ("Second token", slots[Created - 1].label);
  EXPECT_EQ(0, exitOf("tokens"));
  EXPECT_NE(std::string::npos, batch_.out.find("12    token    NEW00012          Second token")) << batch_.out;
}

TEST_F(ZeltToken, RawObjectsAreStoredExactlyListedAndRemovedByLabel) {
  for (const char* key : {"raw", "second raw", "objects", "remove"}) EXPECT_EQ(0, exitOf(key)) << messageOf(key);
  const auto objects = ofClass(RawObjects, CKO_DATA, false);
  ASSERT_EQ(1u, objects.size()) << "the second object is removed";
  EXPECT_EQ(bytes("raw"), objects[0].label) << "text: stores no NUL";
  EXPECT_EQ((std::vector<uint8_t>{0x01, 0x02, 0xff}), objects[0].value);
  EXPECT_NE(std::string::npos, batch_.out.find("  CKA_LABEL              \"raw\"\n")) << batch_.out;
  EXPECT_NE(std::string::npos, batch_.out.find("  CKA_LABEL              \"second\\x00\"\n")) << batch_.out;
}

TEST_F(ZeltToken, RegisterMyAddsTheCertificateWithItsContainerAndUnregisterRemovesIt) {
  for (const char* key : {"register", "register unit", "unregister unit"}) EXPECT_EQ(0, exitOf(key)) << messageOf(key);
  auto find = [](const std::wstring& file) {
    const std::vector<uint8_t> der = dataFile(file);
    ScopedCertContext wanted(::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
    // A new handle sees the tool's change only when the tool committed it (Wine caches stores).
    ScopedCertStore my(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
    return ScopedCertContext(wanted && my ? ::CertFindCertificateInStore(my.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                                         wanted.get(), nullptr)
                                          : nullptr);
  };
  ScopedCertContext jane = find(L"../../data/certs/jane-doe.der");
  ASSERT_TRUE(jane);
  DWORD size = 0;
  ASSERT_TRUE(::CertGetCertificateContextProperty(jane.get(), CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size));
  std::vector<BYTE> info(size);
  ASSERT_TRUE(::CertGetCertificateContextProperty(jane.get(), CERT_KEY_PROV_INFO_PROP_ID, info.data(), &size));
  const auto* prov = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(info.data());
  EXPECT_STREQ(L"Jane's container", prov->pwszContainerName);
  EXPECT_STREQ(L"Quillon Zelt RSA Cryptographic Service Provider", prov->pwszProvName);
  EXPECT_EQ(static_cast<DWORD>(PROV_RSA_FULL), prov->dwProvType);
  EXPECT_EQ(static_cast<DWORD>(AT_KEYEXCHANGE), prov->dwKeySpec);
  EXPECT_FALSE(find(L"../../data/certs/unit.der")) << "registered, then unregistered";

  // Leave the store as it was for other suites: deleted through the handle that commits it
  // (Wine keeps a delete through the context of a closed handle in its cache only).
  ScopedCertStore my(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
  PCCERT_CONTEXT stored =
      ::CertFindCertificateInStore(my.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, jane.get(), nullptr);
  if (stored) ::CertDeleteCertificateFromStore(stored);
  ::CertControlStore(my.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
}

TEST_F(ZeltToken, FailureHalfWayUndoesEverythingAlreadyWritten) {
  // Certificate, public key, private key and record are made; the catalog, the fifth, fails.
  const ToolRun r = runTool(L"--dir \"" + probe_->folder() + L"\" add-cert --serial T14 --password user-pin-1 --cert \"" +
                                dataPath(L"jane-doe.pem") + L"\" --container C1",
                            {{L"ZELT_SOFTTOKEN_FAIL", L"C_CreateObject:5:0x30"}});
  EXPECT_EQ(5, r.exitCode) << describe(r);
  EXPECT_NE(std::string::npos, r.err.find("writing the container catalog failed: CKR_DEVICE_ERROR")) << describe(r);
  EXPECT_TRUE(probe_->objects(HalfWay, true).empty()) << "every object made before the failure is gone";
}

TEST_F(ZeltToken, HelpSaysWhatTheToolDoesAndNamesEveryCommand) {
  const ToolRun r = runTool(L"--help");
  EXPECT_EQ(0, r.exitCode) << describe(r);
  EXPECT_NE(std::string::npos, r.out.find("provisioning tool for the Zelt software token")) << r.out;
  for (const char* command : {"tokens", "create", "delete", "objects", "add-cert", "add-object", "remove", "catalog",
                              "container", "lock", "unlock", "register-my", "unregister-my", "batch"})
    EXPECT_NE(std::string::npos, r.out.find(std::string("\n  ") + command + " ")) << command;
}

}  // namespace
