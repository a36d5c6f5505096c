#include "RsaPublicKey.h"

#include <algorithm>
#include <cstring>

#include "model/ScopedCertContext.h"

namespace {

std::vector<uint8_t> withoutLeadingZeros(std::vector<uint8_t> value) {
  value.erase(value.begin(), std::find_if(value.begin(), value.end(), [](uint8_t b) { return b != 0; }));
  return value;
}

}  // namespace

RsaPublicKey RsaPublicKey::ofCertificate(const std::vector<uint8_t>& der) {
  RsaPublicKey key;
  ScopedCertContext cert(
      ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  if (!cert) return key;
  const CRYPT_BIT_BLOB& bits = cert.get()->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  BYTE* decoded = nullptr;
  DWORD size = 0;
  if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, bits.pbData, bits.cbData,
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &size))
    return key;
  RSAPUBKEY header;
  if (size >= sizeof(BLOBHEADER) + sizeof header) {
    std::memcpy(&header, decoded + sizeof(BLOBHEADER), sizeof header);
    const BYTE* modulus = decoded + sizeof(BLOBHEADER) + sizeof header;
    const DWORD length = (header.bitlen + 7) / 8;
    if (size >= sizeof(BLOBHEADER) + sizeof header + length) {
      // The blob keeps the modulus little-endian.
      key.modulus_ = withoutLeadingZeros(std::vector<uint8_t>(std::reverse_iterator<const BYTE*>(modulus + length),
                                                              std::reverse_iterator<const BYTE*>(modulus)));
      key.exponent_ = header.pubexp;
    }
  }
  ::LocalFree(decoded);
  return key;
}

RsaPublicKey RsaPublicKey::ofComponents(const std::vector<uint8_t>& modulus, const std::vector<uint8_t>& exponent) {
  RsaPublicKey key;
  const std::vector<uint8_t> e = withoutLeadingZeros(exponent);
  if (e.empty() || e.size() > sizeof(DWORD)) return key;
  for (uint8_t b : e) key.exponent_ = (key.exponent_ << 8) | b;
  key.modulus_ = withoutLeadingZeros(modulus);
  return key;
}

DWORD RsaPublicKey::bits() const {
  if (modulus_.empty()) return 0;
  DWORD bits = static_cast<DWORD>(modulus_.size() - 1) * 8;
  for (uint8_t top = modulus_[0]; top; top >>= 1) ++bits;
  return bits;
}

std::vector<uint8_t> RsaPublicKey::blob(ALG_ID algorithm) const {
  BLOBHEADER header = {PUBLICKEYBLOB, CUR_BLOB_VERSION, 0, algorithm};
  RSAPUBKEY rsa = {0x31415352 /* "RSA1" */, bits(), exponent_};
  std::vector<uint8_t> out(sizeof header + sizeof rsa + modulus_.size());
  std::memcpy(out.data(), &header, sizeof header);
  std::memcpy(out.data() + sizeof header, &rsa, sizeof rsa);
  std::reverse_copy(modulus_.begin(), modulus_.end(), out.begin() + sizeof header + sizeof rsa);
  return out;
}
