// A certificate registered through the Manage dialog, used by an ordinary CryptoAPI client:
// found in "MY", its private key reached through the key provider information the page wrote,
// a message signed with CryptSignMessage and verified against the certificate with
// CryptVerifyMessageSignature. A wrong key provider information (container, key spec,
// provider) makes every signature here fail.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "SigningKit.h"
#include "dialogs/ListTestKit.h"
#include "kit/CspHooks.h"
#include "kit/LeafKey.h"
#include "kit/MyStore.h"
#include "kit/TokenPageTest.h"
#include "model/CspRequests.h"
#include "model/ScopedSystemStore.h"
#include "res/resource.h"

using testkit::ModalWindow;

namespace {

const CK_SLOT_ID kSlot = 1;
const char kText[] = "Pay Jane Doe 100 EUR";

struct Signed {
  DWORD error = 0;  // of the first call that failed
  std::string signer;
  std::string content;
};

PCCERT_CONTEXT WINAPI SignerIs(void* expected, DWORD, PCERT_INFO, HCERTSTORE) {
  return ::CertDuplicateCertificateContext(static_cast<PCCERT_CONTEXT>(expected));
}

// What a CryptoAPI client does to sign with the certificate of "MY" that has the SHA-1 of the
// test certificate `name`: it takes the private key (the handle cached with the certificate),
// gives the provider the PIN, signs, lets the handle go, and verifies the message against the
// certificate. `meanwhile` runs between taking the key and signing.
Signed SignWith(const std::string& name, const char* pin, const char* hashOid,
                const std::function<void()>& meanwhile = nullptr) {
  Signed result;
  ScopedSystemStore my = testkit::OpenMy();
  ScopedCertContext cert = testkit::FindInMy(my.get(), name);
  HCRYPTPROV provider = 0;
  DWORD keySpec = 0;
  BOOL callerFrees = FALSE;
  if (!cert || !::CryptAcquireCertificatePrivateKey(cert.get(), CRYPT_ACQUIRE_CACHE_FLAG, nullptr, &provider, &keySpec,
                                                    &callerFrees))
    return {::GetLastError(), "", ""};
  const DWORD pinParameter = keySpec == AT_SIGNATURE ? PP_SIGNATURE_PIN : PP_KEYEXCHANGE_PIN;
  CRYPT_SIGN_MESSAGE_PARA para = {};
  para.cbSize = sizeof para;
  para.dwMsgEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  para.pSigningCert = cert.get();
  para.HashAlgorithm.pszObjId = const_cast<char*>(hashOid);
  const BYTE* parts[] = {reinterpret_cast<const BYTE*>(kText)};
  DWORD partSizes[] = {sizeof kText - 1};
  std::vector<BYTE> message(16384);
  DWORD size = static_cast<DWORD>(message.size());
  const BYTE* pinBytes = reinterpret_cast<const BYTE*>(pin);
  if (!::CryptSetProvParam(provider, pinParameter, pinBytes, 0)) result.error = ::GetLastError();
  else if (meanwhile) meanwhile();
  if (!result.error && !::CryptSignMessage(&para, FALSE, 1, parts, partSizes, message.data(), &size))
    result.error = ::GetLastError();
  ::CryptSetProvParam(provider, pinParameter, nullptr, 0);
  if (callerFrees) ::CryptReleaseContext(provider, 0);
  else ::CertSetCertificateContextProperty(cert.get(), CERT_KEY_PROV_HANDLE_PROP_ID, 0, nullptr);
  if (result.error) return result;

  CRYPT_VERIFY_MESSAGE_PARA verify = {};
  verify.cbSize = sizeof verify;
  verify.dwMsgAndCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  verify.pfnGetSignerCertificate = SignerIs;
  verify.pvGetArg = const_cast<CERT_CONTEXT*>(cert.get());
  char content[256] = "";
  DWORD contentSize = sizeof content;
  PCCERT_CONTEXT signerCert = nullptr;
  if (!::CryptVerifyMessageSignature(&verify, 0, message.data(), size, reinterpret_cast<BYTE*>(content), &contentSize,
                                     &signerCert))
    return {::GetLastError(), "", ""};
  ScopedCertContext signer(signerCert);
  char signerName[256] = "";
  ::CertGetNameStringA(signer.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, signerName, sizeof signerName);
  return {0, signerName, std::string(content, contentSize)};
}

// Jane Doe (container "Jane's keys") and Example Corp (a key pair without a container), both
// with the private key the token can sign with.
class RegisteredCertificate : public testkit::TokenPageTest {
 protected:
  RegisteredCertificate() : TokenPageTest(kSlot, "5349474E") {}
  void SetUp() override {
    TokenPageTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(csp.ready());
    for (const auto& c : {std::make_pair("jane-doe", 'J'), std::make_pair("example-corp", 'C')}) {
      contents.AddCertificate(c.first, c.first, {static_cast<uint8_t>(c.second)});
      testkit::AddLeafKeyPair(soft, kSlot, kPassword, {static_cast<uint8_t>(c.second)});
    }
    contents.AddCatalog({"Jane's keys"});
    contents.AddRecord("Jane's keys", "jane-doe", "", containerformat::kRecordVersion, {'J'});
    TearDown();
    OpenPage();
  }
  void TearDown() override {
    for (const char* name : {"jane-doe", "example-corp"}) testkit::DropFromMy(name);
    selectToken("");
  }

  // Steps on the Manage dialog: a button pressed on a row, and Close.
  void Row(int button, int row) {
    OnTemplate("row " + std::to_string(row), IDD_MANAGE_CERTIFICATES, [=](ModalWindow& dialog) {
      listkit::Select(dialog.Item(IDC_CERTIFICATE_LIST), row);
      dialog.Press(button);
    });
  }
  void Close() {
    OnTemplate("close", IDD_MANAGE_CERTIFICATES, [](ModalWindow& dialog) { dialog.Press(IDC_MANAGE_CLOSE); });
  }
  // Presses Manage and runs the queued steps.
  void Manage() { EXPECT_EQ(0, Click(IDC_MANAGE)); }

  testkit::CspHooks csp;
};

TEST_F(RegisteredCertificate, SignsThroughCryptSignMessageAndTheMessageVerifiesAgainstIt) {
  Row(IDC_REGISTER, 0);
  Row(IDC_REGISTER, 1);
  // The certificate without a container is converted first; the page warns that it takes time.
  driver.Then("conversion warning", testkit::AnyDialog(), [](ModalWindow& box) { box.Press(IDYES); });
  Close();
  Manage();

  const struct {
    const char* name;
    const char* hashOid;
    ALG_ID hash;
    const char* signer;
  } cases[] = {{"jane-doe", szOID_OIWSEC_sha1, CALG_SHA1, "Jane Doe"},
               {"example-corp", szOID_NIST_sha256, CALG_SHA_256, "Example Corp"}};
  for (const auto& c : cases) {
    soft.StartTrace();
    csp.StartTrace();
    const Signed result = SignWith(c.name, kPassword, c.hashOid);
    EXPECT_EQ(0u, result.error) << c.name << ": error " << std::hex << result.error;
    EXPECT_EQ(c.signer, result.signer);
    EXPECT_EQ(kText, result.content);
    const std::vector<std::string> signs = soft.Calls("C_Sign");
    ASSERT_FALSE(signs.empty()) << c.name << ": nothing reached the token";
    EXPECT_NE(std::string::npos,
              signs.back().find("pData=" + signingkit::HexText(signingkit::DigestInfo(c.hash, kText)) + ","))
        << "the token signed the DigestInfo of the text: " << signs.back();
    const std::vector<std::string> entries = csp.Trace();
    EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), "CPSignHash")) << c.name;
    EXPECT_EQ("0/0/0", csp.Open()) << c.name << ": contexts/keys/hashes left open";
  }
}

TEST_F(RegisteredCertificate, WrongPinIsRefusedARemovedTokenFailsWithTheProvidersErrorAndUnregisteredIsGone) {
  Row(IDC_REGISTER, 0);
  Close();
  Manage();

  EXPECT_EQ(static_cast<DWORD>(SCARD_W_WRONG_CHV), SignWith("jane-doe", "wrong-pin", szOID_NIST_sha256).error);
  EXPECT_EQ(1u, soft.PinFailures(kSlot)) << "the token counted the wrong PIN";
  // Removed once the key is taken, so the signature meets the missing token. (Removed before,
  // Wine's CryptAcquireCertificatePrivateKey would answer CRYPT_E_NO_KEY_PROPERTY for any
  // provider error.)
  const Signed removed = SignWith("jane-doe", kPassword, szOID_NIST_sha256,
                                  [this] { ASSERT_EQ(CKR_OK, soft.vendor()->Q_RemoveTokenAfter(kSlot, 0)); });
  EXPECT_EQ(static_cast<DWORD>(SCARD_E_NO_SMARTCARD), removed.error) << std::hex << removed.error;
  EXPECT_EQ("0/0/0", csp.Open()) << "contexts/keys/hashes left open after the failures";
  ASSERT_EQ(CKR_OK, soft.vendor()->Q_InsertToken(kSlot));
  EXPECT_EQ("Jane Doe", SignWith("jane-doe", kPassword, szOID_NIST_sha256).signer) << "back with the token";

  Row(IDC_UNREGISTER, 0);
  Close();
  Manage();
  EXPECT_EQ(static_cast<DWORD>(CRYPT_E_NOT_FOUND), SignWith("jane-doe", kPassword, szOID_NIST_sha256).error)
      << "no longer in \"MY\"";
}

}  // namespace
