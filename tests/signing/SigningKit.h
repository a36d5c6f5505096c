#pragma once
// What the signing cases share: hashes and DigestInfos of known texts, and the check of a
// signature against a certificate of tests/data/certs with the system's own provider.
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "model/CertificateFiles.h"
#include "model/ScopedCryptKey.h"
#include "model/ScopedCryptProv.h"

namespace signingkit {

inline std::vector<BYTE> Hash(ALG_ID algorithm, const std::string& text) {
  BYTE value[64];
  DWORD size = sizeof value;
  if (!::CryptHashCertificate(0, algorithm, 0, reinterpret_cast<const BYTE*>(text.data()),
                              static_cast<DWORD>(text.size()), value, &size))
    return {};
  return std::vector<BYTE>(value, value + size);
}

// The DER DigestInfo of the text's SHA-1 or SHA-256: what a PKCS #1 signature signs.
inline std::vector<BYTE> DigestInfo(ALG_ID algorithm, const std::string& text) {
  std::vector<BYTE> info = algorithm == CALG_SHA1
                               ? std::vector<BYTE>{0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02,
                                                   0x1A, 0x05, 0x00, 0x04, 0x14}
                               : std::vector<BYTE>{0x30, 0x31, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                                   0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
  const std::vector<BYTE> hash = Hash(algorithm, text);
  info.insert(info.end(), hash.begin(), hash.end());
  return info;
}

// As the software token's trace shows bytes.
inline std::string HexText(const std::vector<BYTE>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (BYTE b : bytes) text += {digits[b >> 4], digits[b & 15]};
  return text;
}

// The PUBLICKEYBLOB of the key of a certificate file, as CryptoAPI decodes it from the certificate.
inline std::vector<BYTE> PublicKeyBlob(const std::string& certificate) {
  const std::vector<BYTE> der = CertificateFiles::read(certificate + ".der");
  ScopedCertContext cert(::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  std::vector<BYTE> blob(1024);
  DWORD size = static_cast<DWORD>(blob.size());
  if (!cert || !::CryptDecodeObjectEx(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB,
                                      cert.get()->pCertInfo->SubjectPublicKeyInfo.PublicKey.pbData,
                                      cert.get()->pCertInfo->SubjectPublicKeyInfo.PublicKey.cbData, 0, nullptr,
                                      blob.data(), &size))
    return {};
  blob.resize(size);
  return blob;
}

// Whether `signature` (little-endian, as CryptSignHash gives it) is the PKCS #1 signature of the
// text's hash by the key of the certificate file, as the default RSA provider checks it.
inline bool Verifies(const std::string& certificate, ALG_ID algorithm, const std::string& text,
                     const std::vector<BYTE>& signature) {
  const std::vector<BYTE> blob = PublicKeyBlob(certificate);
  ScopedCryptProv provider;
  ScopedCryptKey key;
  HCRYPTHASH hash = 0;
  if (blob.empty() ||
      !::CryptAcquireContextW(provider.receive(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
      !::CryptImportKey(provider.get(), blob.data(), static_cast<DWORD>(blob.size()), 0, 0, key.receive()) ||
      !::CryptCreateHash(provider.get(), algorithm, 0, 0, &hash))
    return false;
  const bool good =
      ::CryptHashData(hash, reinterpret_cast<const BYTE*>(text.data()), static_cast<DWORD>(text.size()), 0) &&
      ::CryptVerifySignatureW(hash, signature.data(), static_cast<DWORD>(signature.size()), key.get(), nullptr, 0);
  ::CryptDestroyHash(hash);
  return good;
}

}  // namespace signingkit
