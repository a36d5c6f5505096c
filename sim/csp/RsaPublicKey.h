#pragma once
// The public half of a container's RSA key, as the CSP hands it out: its length for
// KP_KEYLEN and signatures, and the PUBLICKEYBLOB of CryptExportKey.
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <vector>

class RsaPublicKey {
 public:
  RsaPublicKey() = default;
  // The key of a DER certificate; empty when the certificate holds no RSA key.
  static RsaPublicKey ofCertificate(const std::vector<uint8_t>& der);
  // From Cryptoki's big-endian CKA_MODULUS and CKA_PUBLIC_EXPONENT; empty when either is
  // missing or the exponent does not fit 32 bits.
  static RsaPublicKey ofComponents(const std::vector<uint8_t>& modulus, const std::vector<uint8_t>& exponent);

  bool empty() const { return modulus_.empty(); }
  DWORD bits() const;
  // Bytes of a signature made with the key.
  DWORD bytes() const { return static_cast<DWORD>(modulus_.size()); }
  // PUBLICKEYBLOB (version 2) with `algorithm` as the key's ALG_ID.
  std::vector<uint8_t> blob(ALG_ID algorithm) const;

 private:
  std::vector<uint8_t> modulus_;  // big-endian, without leading zeros
  DWORD exponent_ = 0;
};
