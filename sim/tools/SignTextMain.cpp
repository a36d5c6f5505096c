// zelt-sign: an ordinary CryptoAPI client of a certificate in the current user's "MY" store.
// It finds the certificate, reaches its private key through the certificate's key provider
// information, gives the provider the PIN through its PIN parameter, signs a text with
// CryptSignMessage and verifies the message with CryptVerifyMessageSignature against that
// certificate. The demo signs with the token's logon certificate this way.
//   zelt-sign --cert FILE [--pfx-password TEXT] --password PIN [--text TEXT] [--hash sha1|sha256]
// Exit codes: 0 signed and verified, 2 usage, 3 the certificate or its key is not there,
// 4 signing or verifying failed.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Arguments.h"
#include "tokenkit/CredentialLoader.h"
#include "tokenkit/HexText.h"
#include "tokenkit/ScopedCertStore.h"
#include "tokenkit/WideText.h"
#include "model/ScopedCertContext.h"

namespace {

int failed(int code, const std::string& what, DWORD error = 0) {
  std::fprintf(stderr, "zelt-sign: %s%s\n", what.c_str(),
               error ? (" (error " + hextext::code(error) + ")").c_str() : "");
  return code;
}

std::string nameOf(PCCERT_CONTEXT cert) {
  char name[512] = "";
  ::CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, sizeof name);
  return name;
}

// The message is verified against this certificate, not against one the message carries.
PCCERT_CONTEXT WINAPI signerIs(void* expected, DWORD, PCERT_INFO, HCERTSTORE) {
  return ::CertDuplicateCertificateContext(static_cast<PCCERT_CONTEXT>(expected));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(widetext::toUtf8(argv[i]));
  Arguments args;
  std::string error;
  if (!Arguments::parse(words, {}, &args, &error)) return failed(2, error);
  const std::string unknown = args.firstUnknown({"cert", "pfx-password", "password", "text", "hash"});
  const std::string hash = args.value("hash", "sha256");
  if (!unknown.empty() || !args.command().empty() || !args.has("cert") || !args.has("password") ||
      (hash != "sha1" && hash != "sha256"))
    return failed(2, "usage: zelt-sign --cert FILE [--pfx-password TEXT] --password PIN [--text TEXT] "
                     "[--hash sha1|sha256]");

  const std::string pfxPassword = args.value("pfx-password");
  Credential credential;
  const Outcome read = CredentialLoader::readCertificateFile(
      widetext::fromUtf8(args.value("cert")), args.has("pfx-password") ? &pfxPassword : nullptr, &credential);
  if (read.failed()) return failed(2, read.message());
  ScopedCertContext wanted(::CertCreateCertificateContext(X509_ASN_ENCODING, credential.certificate.data(),
                                                          static_cast<DWORD>(credential.certificate.size())));
  ScopedCertStore my(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
  if (!wanted || !my) return failed(3, "cannot open the certificate or the \"MY\" store", ::GetLastError());
  ScopedCertContext cert(::CertFindCertificateInStore(my.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                      wanted.get(), nullptr));
  if (!cert) return failed(3, "the certificate of " + nameOf(wanted.get()) + " is not registered in \"MY\"");

  HCRYPTPROV provider = 0;
  DWORD keySpec = 0;
  BOOL callerFrees = FALSE;
  if (!::CryptAcquireCertificatePrivateKey(cert.get(), CRYPT_ACQUIRE_CACHE_FLAG, nullptr, &provider, &keySpec,
                                           &callerFrees))
    return failed(3, "no private key for the certificate", ::GetLastError());
  const std::string password = args.value("password");
  const DWORD pinParameter = keySpec == AT_SIGNATURE ? PP_SIGNATURE_PIN : PP_KEYEXCHANGE_PIN;
  int code = 0;
  std::vector<BYTE> message(16384);
  DWORD size = static_cast<DWORD>(message.size());
  const std::string text = args.value("text", "Signed on the Zelt token");
  const BYTE* parts[] = {reinterpret_cast<const BYTE*>(text.data())};
  DWORD partSizes[] = {static_cast<DWORD>(text.size())};
  CRYPT_SIGN_MESSAGE_PARA sign = {};
  sign.cbSize = sizeof sign;
  sign.dwMsgEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  sign.pSigningCert = cert.get();
  sign.HashAlgorithm.pszObjId = const_cast<char*>(hash == "sha1" ? szOID_OIWSEC_sha1 : szOID_NIST_sha256);
  if (!::CryptSetProvParam(provider, pinParameter, reinterpret_cast<const BYTE*>(password.c_str()), 0))
    code = failed(4, "the provider refused the password", ::GetLastError());
  else if (!::CryptSignMessage(&sign, FALSE, 1, parts, partSizes, message.data(), &size))
    code = failed(4, "signing failed", ::GetLastError());
  // The provider forgets the password, and the handle cached with the certificate goes.
  ::CryptSetProvParam(provider, pinParameter, nullptr, 0);
  if (callerFrees) ::CryptReleaseContext(provider, 0);
  else ::CertSetCertificateContextProperty(cert.get(), CERT_KEY_PROV_HANDLE_PROP_ID, 0, nullptr);
  if (code) return code;

  CRYPT_VERIFY_MESSAGE_PARA verify = {};
  verify.cbSize = sizeof verify;
  verify.dwMsgAndCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  verify.pfnGetSignerCertificate = signerIs;
  verify.pvGetArg = const_cast<CERT_CONTEXT*>(cert.get());
  std::vector<BYTE> content(text.size() + 16);
  DWORD contentSize = static_cast<DWORD>(content.size());
  PCCERT_CONTEXT signerCert = nullptr;
  if (!::CryptVerifyMessageSignature(&verify, 0, message.data(), size, content.data(), &contentSize, &signerCert))
    return failed(4, "the signature does not verify", ::GetLastError());
  ScopedCertContext signer(signerCert);
  std::printf("signed \"%s\" (%s) with the key of %s: a %lu-byte PKCS #7 message\n", text.c_str(), hash.c_str(),
              nameOf(cert.get()).c_str(), static_cast<unsigned long>(size));
  std::printf("verified: the signer is %s, the content is \"%s\"\n", nameOf(signer.get()).c_str(),
              std::string(content.begin(), content.begin() + contentSize).c_str());
  std::fflush(stdout);
  return 0;
}
