// zelt-token.exe driven as a user drives it: each case runs the tool and then looks at the
// token through ZeltP11.dll in this process. Every run of the tool is a process start, which
// costs seconds under emulation, so related checks share a run.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TokenProbe.h"
#include "ToolRun.h"
#include "kit/Paths.h"
#include "tokenkit/ScopedCertStore.h"
#include "tokenkit/WideText.h"
#include "model/ScopedCertContext.h"

namespace {

const std::vector<uint8_t> kLabelJane = {'J', 'a', 'n', 'e', ' ', 'D', 'o', 'e', 0};

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

class ZeltToken : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(probe_.ready()) << probe_.error(); }

  // Runs the tool on this test's store folder.
  ToolRun run(const std::wstring& arguments, const std::vector<std::pair<std::wstring, std::wstring>>& env = {}) {
    return runTool(L"--dir \"" + probe_.folder() + L"\" " + arguments, env);
  }
  static std::wstring quotedData(const std::wstring& name) { return L"\"" + dataPath(name) + L"\""; }

  std::vector<ObjectView> ofClass(CK_OBJECT_CLASS cls, bool withPrivate) {
    std::vector<ObjectView> all = probe_.objects(withPrivate), some;
    for (const ObjectView& o : all)
      if (o.cls == cls) some.push_back(o);
    return some;
  }

  // A batch file in the store folder (the tool reads it from there).
  std::wstring batchFile(const std::string& text) {
    const std::wstring path = probe_.folder() + L"\\commands.txt";
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(f);
    return path;
  }

  TokenProbe probe_;
};

TEST_F(ZeltToken, AddCertificateStoresCertificateAndKeyPairUnderTheGivenIdAndLabel) {
  const ToolRun r = run(L"add-cert --serial TT0001 --password user-pin-1 --cert " + quotedData(L"jane-doe.pem") +
                        L" --id 0a0b0c --label \"Jane Doe\"");
  ASSERT_EQ(0, r.exitCode) << describe(r);

  const std::vector<uint8_t> der = dataFile(L"../../data/certs/jane-doe.der");
  ASSERT_FALSE(der.empty());
  const std::vector<uint8_t> id = {0x0a, 0x0b, 0x0c};
  const auto certificates = ofClass(CKO_CERTIFICATE, false);
  ASSERT_EQ(1u, certificates.size());
  EXPECT_EQ(der, certificates[0].value);
  EXPECT_EQ(id, certificates[0].id);
  EXPECT_EQ(kLabelJane, certificates[0].label) << "labels are stored with their NUL, as the CSP looks them up";
  EXPECT_FALSE(certificates[0].isPrivate);
  EXPECT_TRUE(certificates[0].onToken);

  const auto publicKeys = ofClass(CKO_PUBLIC_KEY, false);
  ASSERT_EQ(1u, publicKeys.size());
  EXPECT_EQ(id, publicKeys[0].id);
  EXPECT_FALSE(publicKeys[0].isPrivate);
  EXPECT_EQ(256u, publicKeys[0].modulus.size()) << "the 2048-bit modulus without a leading zero";

  EXPECT_TRUE(ofClass(CKO_PRIVATE_KEY, false).empty()) << "the private key is private";
  const auto privateKeys = ofClass(CKO_PRIVATE_KEY, true);
  ASSERT_EQ(1u, privateKeys.size());
  EXPECT_EQ(id, privateKeys[0].id);
  EXPECT_TRUE(privateKeys[0].isPrivate);
  EXPECT_EQ(kLabelJane, privateKeys[0].label);
  EXPECT_EQ(publicKeys[0].modulus, privateKeys[0].modulus);
}

TEST_F(ZeltToken, AddCertificateReadsPkcs12Files) {
  // Both the 3DES form and the AES form that OpenSSL 3 makes by default.
  const ToolRun r = run(L"batch " + batchFile(
      "add-cert --serial TT0001 --password user-pin-1 --cert \"" + widetext::toUtf8(dataPath(L"jane-doe.p12")) +
      "\" --pfx-password p12-secret --id 01\n"
      "remove --serial TT0001 --password user-pin-1 --id 01 --class certificate\n"
      "remove --serial TT0001 --password user-pin-1 --id 01 --class public-key\n"
      "remove --serial TT0001 --password user-pin-1 --id 01 --class private-key\n"
      "add-cert --serial TT0001 --password user-pin-1 --cert \"" + widetext::toUtf8(dataPath(L"jane-doe-aes.p12")) +
      "\" --pfx-password p12-secret --id 02\n"));
  ASSERT_EQ(0, r.exitCode) << describe(r);
  const auto all = probe_.objects(true);
  ASSERT_EQ(3u, all.size());
  for (const ObjectView& o : all) EXPECT_EQ(std::vector<uint8_t>{0x02}, o.id);
  const auto certificates = ofClass(CKO_CERTIFICATE, false);
  ASSERT_EQ(1u, certificates.size());
  EXPECT_EQ(dataFile(L"../../data/certs/jane-doe.der"), certificates[0].value);
  EXPECT_EQ(kLabelJane, certificates[0].label) << "the default label is the subject's common name";
  const auto privateKeys = ofClass(CKO_PRIVATE_KEY, true);
  ASSERT_EQ(1u, privateKeys.size());
  EXPECT_EQ(256u, privateKeys[0].modulus.size());
}

TEST_F(ZeltToken, AddCertificateReadsDerCertificateWithPkcs8OrPkcs1Key) {
  const std::string cert = "\"" + widetext::toUtf8(dataPath(L"../../data/certs/jane-doe.der")) + "\"";
  const ToolRun r = run(L"batch " + batchFile(
      "add-cert --serial TT0001 --password user-pin-1 --cert " + cert + " --key \"" +
      widetext::toUtf8(dataPath(L"leaf.key.der")) + "\" --id 01 --label first\n" +
      "remove --serial TT0001 --label first --class certificate\n"
      "add-cert --serial TT0001 --password user-pin-1 --cert " + cert + " --key \"" +
      widetext::toUtf8(dataPath(L"leaf.rsa.pem")) + "\" --id 02 --label second\n"));
  ASSERT_EQ(0, r.exitCode) << describe(r);
  const auto privateKeys = ofClass(CKO_PRIVATE_KEY, true);
  ASSERT_EQ(2u, privateKeys.size());
  EXPECT_EQ(privateKeys[0].modulus, privateKeys[1].modulus) << "the same key read from PKCS #8 DER and PKCS #1 PEM";
  const auto certificates = ofClass(CKO_CERTIFICATE, false);
  ASSERT_EQ(1u, certificates.size());
  EXPECT_EQ(bytes(std::string("second") + '\0'), certificates[0].label);
}

TEST_F(ZeltToken, ContainerOptionWritesTheRecordAndTheCatalogInTheCspFormats) {
  const ToolRun r = run(L"add-cert --serial TT0001 --password user-pin-1 --cert " + quotedData(L"jane-doe.pem") +
                        L" --container \"Jane's container\"");
  ASSERT_EQ(0, r.exitCode) << describe(r);
  const auto data = ofClass(CKO_DATA, false);
  ASSERT_EQ(2u, data.size());
  const ObjectView& record = data[0];
  const ObjectView& catalog = data[1];
  EXPECT_EQ(bytes(std::string("Jane's container") + '\0'), record.label);
  // Version 2, a reserved byte, two strings the CSP keeps, the exchange label, the signature label.
  EXPECT_EQ(bytes(std::string("\x02\x00\x00\x00Jane Doe\x00\x00", 14)), record.value);
  EXPECT_EQ(bytes(std::string("QCspRSAContainerCatalog\x07\x00", 25)), catalog.label);
  EXPECT_EQ(bytes(std::string("\x01\x00\x01\x00Jane's container\x00", 21)), catalog.value);
  for (const ObjectView& o : data) {
    EXPECT_FALSE(o.isPrivate) << "the page reads them without logging in";
    EXPECT_TRUE(o.onToken);
  }
}

TEST_F(ZeltToken, ContainerCommandsKeepCatalogOrderAndFillRecordsFieldByField) {
  const ToolRun r = run(L"batch " + batchFile(
      "container --serial TT0001 --name A --exchange-cert X --allow-missing\n"
      "container --serial TT0001 --name B --signature-cert Y --allow-missing\n"
      "# the second write of A keeps its exchange label\n"
      "container --serial TT0001 --name A --signature-cert Z --allow-missing\n"
      "container --serial TT0001 --name OLD --exchange-cert W --version 1 --allow-missing --no-catalog\n"));
  ASSERT_EQ(0, r.exitCode) << describe(r);
  const auto data = ofClass(CKO_DATA, false);
  ASSERT_EQ(4u, data.size());
  EXPECT_EQ(bytes(std::string("\x02\x00\x00\x00X\x00Z\x00", 8)), data[0].value);
  EXPECT_EQ(bytes(std::string("QCspRSAContainerCatalog\x07\x00", 25)), data[1].label);
  EXPECT_EQ(bytes(std::string("\x01\x00\x02\x00" "A\x00" "B\x00", 8)), data[1].value);
  EXPECT_EQ(bytes(std::string("\x02\x00\x00\x00\x00Y\x00", 7)), data[2].value);
  EXPECT_EQ(bytes(std::string("\x01\x00\x00\x00W\x00", 6)), data[3].value) << "a version-1 record has no signature label";
}

TEST_F(ZeltToken, LockAndUnlockChangeThePinStates) {
  ToolRun r = run(L"batch " + batchFile("lock --serial TT0001\nlock --serial TT0001 --pin device\n"));
  ASSERT_EQ(0, r.exitCode) << describe(r);
  Q_FUNCTION_LIST_PTR vendor = probe_.library().vendor();
  EXPECT_EQ(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(probe_.slot(), Q_PIN_USER));
  EXPECT_EQ(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(probe_.slot(), Q_PIN_DEVICE));
  EXPECT_TRUE(ofClass(CKO_PRIVATE_KEY, true).empty());

  r = run(L"unlock --serial TT0001 --pin user");
  ASSERT_EQ(0, r.exitCode) << describe(r);
  EXPECT_EQ(CKR_OK, vendor->Q_GetPinStatus(probe_.slot(), Q_PIN_USER));
  EXPECT_EQ(CKR_PIN_LOCKED, vendor->Q_GetPinStatus(probe_.slot(), Q_PIN_DEVICE)) << "only the named PIN is unlocked";
}

TEST_F(ZeltToken, BadFilesAreRejectedWithAClearMessageAndNothingWritten) {
  const std::vector<uint8_t> before = probe_.fileBytes();
  ASSERT_FALSE(before.empty());
  const std::wstring garbage = probe_.folder() + L"\\garbage.crt";
  HANDLE f = ::CreateFileW(garbage.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  ::WriteFile(f, "this is no certificate", 22, &written, nullptr);
  ::CloseHandle(f);
  const std::wstring add = L"add-cert --serial TT0001 --password user-pin-1 ";
  const struct {
    std::wstring arguments;
    long exitCode;
    const char* message;
  } cases[] = {
      {add + L"--cert \"" + garbage + L"\"", 2, "neither a PEM file, a DER certificate nor a PKCS #12 file"},
      {add + L"--cert " + quotedData(L"missing.pem"), 2, "no such file"},
      {add + L"--cert " + quotedData(L"../../data/certs/jane-doe.der") + L" --key " +
           quotedData(L"../../data/certs/keys/ca.key.pem"),
       2, "the private key does not belong to the certificate"},
      {add + L"--cert " + quotedData(L"../../data/certs/jane-doe.der") + L" --key " + quotedData(L"leaf.enc.pem"), 2,
       "encrypted"},
      {add + L"--cert " + quotedData(L"jane-doe.p12") + L" --pfx-password wrong", 4, "wrong PKCS #12 password"},
      {add + L"--cert " + quotedData(L"../../data/certs/jane-doe.der"), 2, "no private key was found"},
  };
  for (const auto& c : cases) {
    const ToolRun r = run(c.arguments);
    EXPECT_EQ(c.exitCode, r.exitCode) << describe(r);
    EXPECT_NE(std::string::npos, r.err.find(c.message)) << describe(r);
    EXPECT_EQ(before, probe_.fileBytes()) << "the token changed after: " << describe(r);
  }
}

TEST_F(ZeltToken, WrongPasswordAndUnknownTokenAreRejectedAndNothingIsStored) {
  ToolRun r = run(L"add-cert --serial TT0001 --password wrong-pin --cert " + quotedData(L"jane-doe.pem"));
  EXPECT_EQ(4, r.exitCode) << describe(r);
  EXPECT_NE(std::string::npos, r.err.find("wrong password for token \"TT0001\"; 4 tries left")) << describe(r);
  EXPECT_TRUE(probe_.objects(true).empty());

  const std::vector<uint8_t> before = probe_.fileBytes();
  r = run(L"add-cert --serial NOPE --password user-pin-1 --cert " + quotedData(L"jane-doe.pem"));
  EXPECT_EQ(3, r.exitCode) << describe(r);
  EXPECT_NE(std::string::npos, r.err.find("no token with the serial \"NOPE\"")) << describe(r);
  EXPECT_NE(std::string::npos, r.err.find("\"TT0001\" (slot 1)")) << "the message lists the tokens there are";
  EXPECT_EQ(before, probe_.fileBytes());
}

TEST_F(ZeltToken, FailureHalfWayUndoesEverythingAlreadyWritten) {
  const std::vector<uint8_t> before = probe_.fileBytes();
  // Certificate, public key, private key and record are made; the catalog, the fifth, fails.
  const ToolRun r = run(L"add-cert --serial TT0001 --password user-pin-1 --cert " + quotedData(L"jane-doe.pem") +
                            L" --container C1",
                        {{L"ZELT_SOFTTOKEN_FAIL", L"C_CreateObject:5:0x30"}});
  EXPECT_EQ(5, r.exitCode) << describe(r);
  EXPECT_NE(std::string::npos, r.err.find("writing the container catalog failed: CKR_DEVICE_ERROR")) << describe(r);
  EXPECT_TRUE(probe_.objects(true).empty()) << "every object made before the failure is gone";
  EXPECT_NE(before, probe_.fileBytes()) << "the objects were written before they were undone";
}

TEST_F(ZeltToken, CertificateAlreadyOnTheTokenIsRefused) {
  const std::vector<uint8_t> der = dataFile(L"../../data/certs/jane-doe.der");
  CK_OBJECT_CLASS cls = CKO_CERTIFICATE;
  CK_CERTIFICATE_TYPE type = CKC_X_509;
  CK_BBOOL yes = CK_TRUE;
  uint8_t subject[] = {0x30, 0x00};
  std::vector<CK_ATTRIBUTE> t = {{CKA_CLASS, &cls, sizeof cls},
                                 {CKA_TOKEN, &yes, 1},
                                 {CKA_CERTIFICATE_TYPE, &type, sizeof type},
                                 {CKA_SUBJECT, subject, sizeof subject},
                                 {CKA_VALUE, const_cast<uint8_t*>(der.data()), static_cast<CK_ULONG>(der.size())}};
  ASSERT_EQ(CKR_OK, probe_.create(t, false));
  const std::vector<uint8_t> before = probe_.fileBytes();
  const ToolRun r = run(L"add-cert --serial TT0001 --password user-pin-1 --cert " + quotedData(L"jane-doe.pem"));
  EXPECT_EQ(7, r.exitCode) << describe(r);
  EXPECT_NE(std::string::npos, r.err.find("this certificate is already on token \"TT0001\"")) << describe(r);
  EXPECT_EQ(before, probe_.fileBytes());
}

TEST_F(ZeltToken, CreateListAndDeleteTokens) {
  ToolRun r = run(L"create --serial NEW00002 --label \"Second token\" --so-pin so-pin-2 --password pass-2 --device-pin 5678");
  ASSERT_EQ(0, r.exitCode) << describe(r);
  std::vector<TokenSlot> slots;
  ASSERT_EQ(CKR_OK, probe_.library().listTokens(&slots));
  ASSERT_GE(slots.size(), 2u);
  EXPECT_EQ(static_cast<CK_ULONG>(Q_TOKEN_PRESENT), slots[1].state);
  EXPECT_EQ("NEW00002", slots[1].serial);
  EXPECT_EQ("Second token", slots[1].label);

  r = run(L"batch " + batchFile("tokens\ncreate --serial NEW00002 --so-pin so-pin-3\n"));
  EXPECT_EQ(7, r.exitCode) << describe(r);
  EXPECT_NE(std::string::npos, r.out.find("NEW00002")) << "the listing names the new token";
  EXPECT_NE(std::string::npos, r.err.find("line 2")) << describe(r);
  EXPECT_NE(std::string::npos, r.err.find("already holds a token with the serial \"NEW00002\"")) << describe(r);

  r = run(L"delete --serial NEW00002");
  ASSERT_EQ(0, r.exitCode) << describe(r);
  ASSERT_EQ(CKR_OK, probe_.library().listTokens(&slots));
  EXPECT_EQ(static_cast<CK_ULONG>(Q_TOKEN_ABSENT), slots[1].state);
  EXPECT_EQ(static_cast<CK_ULONG>(Q_TOKEN_PRESENT), slots[0].state) << "the other token stays";
}

TEST_F(ZeltToken, RawObjectsAreStoredExactlyAndRemovedByLabel) {
  ToolRun r = run(L"add-object --serial TT0001 --class data --attr CKA_LABEL=text:raw --attr value=hex:0102ff "
                  L"--attr CKA_PRIVATE=false");
  ASSERT_EQ(0, r.exitCode) << describe(r);
  auto data = ofClass(CKO_DATA, false);
  ASSERT_EQ(1u, data.size());
  EXPECT_EQ(bytes("raw"), data[0].label) << "text: stores no NUL";
  EXPECT_EQ((std::vector<uint8_t>{0x01, 0x02, 0xff}), data[0].value);

  r = run(L"batch " + batchFile("objects --serial TT0001\nremove --serial TT0001 --label raw\n"));
  ASSERT_EQ(0, r.exitCode) << describe(r);
  EXPECT_NE(std::string::npos, r.out.find("CKA_LABEL              \"raw\"")) << describe(r);
  EXPECT_TRUE(ofClass(CKO_DATA, false).empty());
}

TEST_F(ZeltToken, RegisterMyAddsTheCertificateWithItsContainerAndUnregisterRemovesIt) {
  const std::vector<uint8_t> der = dataFile(L"../../data/certs/jane-doe.der");
  ScopedCertContext certificate(::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  ASSERT_TRUE(certificate);
  ToolRun r = run(L"register-my --cert " + quotedData(L"jane-doe.pem") + L" --container \"Jane's container\"");
  ASSERT_EQ(0, r.exitCode) << describe(r);
  {
    // A new handle sees the change only when the tool committed it (Wine caches the store).
    ScopedCertStore my(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
    ASSERT_TRUE(my);
    ScopedCertContext found(::CertFindCertificateInStore(my.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                         certificate.get(), nullptr));
    ASSERT_TRUE(found);
    DWORD size = 0;
    ASSERT_TRUE(::CertGetCertificateContextProperty(found.get(), CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size));
    std::vector<BYTE> info(size);
    ASSERT_TRUE(::CertGetCertificateContextProperty(found.get(), CERT_KEY_PROV_INFO_PROP_ID, info.data(), &size));
    const auto* prov = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(info.data());
    EXPECT_STREQ(L"Jane's container", prov->pwszContainerName);
    EXPECT_STREQ(L"Quillon Zelt RSA Cryptographic Service Provider", prov->pwszProvName);
    EXPECT_EQ(static_cast<DWORD>(AT_KEYEXCHANGE), prov->dwKeySpec);
  }
  r = run(L"unregister-my --cert " + quotedData(L"../../data/certs/jane-doe.der"));
  ASSERT_EQ(0, r.exitCode) << describe(r);
  ScopedCertStore my(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
  ScopedCertContext found(::CertFindCertificateInStore(my.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                       certificate.get(), nullptr));
  EXPECT_FALSE(found);
}

TEST_F(ZeltToken, HelpNamesEveryCommandAndUsageErrorsExitWithOne) {
  ToolRun r = run(L"--help");
  EXPECT_EQ(0, r.exitCode) << describe(r);
  for (const char* command : {"tokens", "create", "delete", "objects", "add-cert", "add-object", "remove", "catalog",
                              "container", "lock", "unlock", "register-my", "unregister-my", "batch"})
    EXPECT_NE(std::string::npos, r.out.find(std::string("\n  ") + command + " ")) << command;
  r = run(L"add-cert --serial TT0001 --colour blue");
  EXPECT_EQ(1, r.exitCode) << describe(r);
  EXPECT_NE(std::string::npos, r.err.find("has no option --colour")) << describe(r);
}

}  // namespace
