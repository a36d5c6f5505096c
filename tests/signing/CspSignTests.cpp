// What the CSP stand-in serves of a key container through CryptoAPI: the container's keys and
// their parameters, the public key, hashes, and signatures made on the token with the password
// given through the provider's PIN parameter.
#include <gtest/gtest.h>

#include "SigningKit.h"
#include "kit/CspHooks.h"
#include "kit/LeafKey.h"
#include "kit/SoftToken.h"
#include "kit/TokenContents.h"
#include "model/CspRequests.h"

namespace {

const char kSerial[] = "CSP-SIGN-1";
const char kPassword[] = "12345678";

// Jane Doe's certificate and its key pair (id 'J') as the exchange key of container Alpha.
class CspSigning : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(soft.ready() && csp.ready());
    ASSERT_EQ(CKR_OK, soft.CreateToken(1, kSerial, kPassword));
    contents.AddCertificate("jane-doe", "Jane", {'J'});
    testkit::AddLeafKeyPair(soft, 1, kPassword, {'J'});
    contents.AddCatalog({"Alpha"});
    contents.AddRecord("Alpha", "Jane", "", containerformat::kRecordVersion, {'J'});
    ASSERT_EQ(0, selectToken(kSerial));
  }
  void TearDown() override {
    // The password is the process's: the next case must not find it set.
    HCRYPTPROV verify = 0;
    if (::CryptAcquireContextA(&verify, nullptr, kCspProviderName, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
      ::CryptSetProvParam(verify, PP_KEYEXCHANGE_PIN, nullptr, 0);
      ::CryptReleaseContext(verify, 0);
    }
    EXPECT_EQ(0, selectToken(""));
    EXPECT_EQ("0/0/0", csp.Open()) << "contexts/keys/hashes left open";
  }

  // A context on Alpha with the flags; 0 when refused.
  HCRYPTPROV Open(DWORD flags = 0) {
    HCRYPTPROV provider = 0;
    EXPECT_TRUE(::CryptAcquireContextA(&provider, "Alpha", kCspProviderName, PROV_RSA_FULL, flags)) << std::hex
                                                                                                     << ::GetLastError();
    return provider;
  }
  // The last error of a CryptoAPI call that failed, 0 when it succeeded.
  static DWORD ErrorOf(BOOL ok) { return ok ? 0 : ::GetLastError(); }

  testkit::SoftToken soft;
  testkit::TokenContents contents{soft, 1, kPassword};
  testkit::CspHooks csp;
};

TEST_F(CspSigning, ContainerKeyAnswersItsParametersAndOnlyItsPublicHalfLeaves) {
  ScopedCryptProv provider(Open());
  ScopedCryptKey key;
  EXPECT_EQ(static_cast<DWORD>(NTE_NO_KEY), ErrorOf(::CryptGetUserKey(provider.get(), AT_SIGNATURE, key.receive())));
  ASSERT_TRUE(::CryptGetUserKey(provider.get(), AT_KEYEXCHANGE, key.receive())) << std::hex << ::GetLastError();
  EXPECT_EQ("1/1/0", csp.Open());
  DWORD value = 0, size = sizeof value;
  ASSERT_TRUE(::CryptGetKeyParam(key.get(), KP_ALGID, reinterpret_cast<BYTE*>(&value), &size, 0));
  EXPECT_EQ(static_cast<DWORD>(CALG_RSA_KEYX), value);
  ASSERT_TRUE(::CryptGetKeyParam(key.get(), KP_KEYLEN, reinterpret_cast<BYTE*>(&value), &size, 0));
  EXPECT_EQ(2048u, value);
  std::vector<BYTE> certificate(4096);
  size = static_cast<DWORD>(certificate.size());
  ASSERT_TRUE(::CryptGetKeyParam(key.get(), KP_CERTIFICATE, certificate.data(), &size, 0));
  certificate.resize(size);
  EXPECT_EQ(CertificateFiles::read("jane-doe.der"), certificate);

  std::vector<BYTE> exported(1024);
  size = static_cast<DWORD>(exported.size());
  ASSERT_TRUE(::CryptExportKey(key.get(), 0, PUBLICKEYBLOB, 0, exported.data(), &size)) << std::hex << ::GetLastError();
  exported.resize(size);
  EXPECT_EQ(signingkit::PublicKeyBlob("jane-doe"), exported) << "the certificate's key, as CryptoAPI decodes it";
  EXPECT_EQ(static_cast<DWORD>(NTE_BAD_KEY_STATE),
            ErrorOf(::CryptExportKey(key.get(), 0, PRIVATEKEYBLOB, 0, exported.data(), &size)));
}

TEST_F(CspSigning, HashesAreTheBaseProvidersForSha1AndSha256Only) {
  ScopedCryptProv provider(Open());
  for (ALG_ID algorithm : {CALG_SHA1, CALG_SHA_256}) {
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(::CryptCreateHash(provider.get(), algorithm, 0, 0, &hash)) << std::hex << ::GetLastError();
    ASSERT_TRUE(::CryptHashData(hash, reinterpret_cast<const BYTE*>("abc"), 3, 0));
    std::vector<BYTE> value(64);
    DWORD size = static_cast<DWORD>(value.size());
    ASSERT_TRUE(::CryptGetHashParam(hash, HP_HASHVAL, value.data(), &size, 0));
    value.resize(size);
    EXPECT_EQ(signingkit::Hash(algorithm, "abc"), value) << "algorithm " << std::hex << algorithm;
    EXPECT_TRUE(::CryptDestroyHash(hash));
  }
  HCRYPTHASH hash = 0;
  EXPECT_EQ(static_cast<DWORD>(NTE_BAD_ALGID), ErrorOf(::CryptCreateHash(provider.get(), CALG_MD5, 0, 0, &hash)));
}

TEST_F(CspSigning, SignHashAsksThePinParameterFailsQuietlyInASilentContextAndSignsWithTheCertifiedKey) {
  const auto signature = [](HCRYPTPROV provider, DWORD keySpec, std::vector<BYTE>* out) {
    HCRYPTHASH hash = 0;
    EXPECT_TRUE(::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash));
    EXPECT_TRUE(::CryptHashData(hash, reinterpret_cast<const BYTE*>("abc"), 3, 0));
    DWORD size = 0;
    const DWORD sized = ErrorOf(::CryptSignHashW(hash, keySpec, nullptr, 0, nullptr, &size));
    out->assign(size, 0);
    const DWORD error = sized ? sized : ErrorOf(::CryptSignHashW(hash, keySpec, nullptr, 0, out->data(), &size));
    ::CryptDestroyHash(hash);
    return error;
  };
  std::vector<BYTE> signed_;
  ScopedCryptProv silent(Open(CRYPT_SILENT)), context(Open());
  const HCRYPTPROV provider = context.get();
  EXPECT_EQ(static_cast<DWORD>(NTE_SILENT_CONTEXT), signature(silent.get(), AT_KEYEXCHANGE, &signed_));
  EXPECT_EQ(256u, signed_.size()) << "the size needs no password";
  EXPECT_EQ(static_cast<DWORD>(SCARD_W_CARD_NOT_AUTHENTICATED), signature(provider, AT_KEYEXCHANGE, &signed_))
      << "this provider shows no PIN prompt";
  ASSERT_TRUE(::CryptSetProvParam(provider, PP_KEYEXCHANGE_PIN, reinterpret_cast<const BYTE*>("wrong-pin"), 0));
  EXPECT_EQ(static_cast<DWORD>(SCARD_W_WRONG_CHV), signature(provider, AT_KEYEXCHANGE, &signed_));
  ASSERT_TRUE(::CryptSetProvParam(provider, PP_KEYEXCHANGE_PIN, reinterpret_cast<const BYTE*>(kPassword), 0));
  EXPECT_EQ(static_cast<DWORD>(NTE_NO_KEY), signature(provider, AT_SIGNATURE, &signed_));
  soft.StartTrace();
  ASSERT_EQ(0u, signature(provider, AT_KEYEXCHANGE, &signed_));
  EXPECT_TRUE(signingkit::Verifies("jane-doe", CALG_SHA_256, "abc", signed_));
  const std::vector<std::string> signs = soft.Calls("C_Sign");
  ASSERT_FALSE(signs.empty());
  EXPECT_NE(std::string::npos, signs.back().find("pData=" + signingkit::HexText(signingkit::DigestInfo(CALG_SHA_256, "abc"))))
      << "the token signs the DigestInfo of the hash: " << signs.back();
}

}  // namespace
