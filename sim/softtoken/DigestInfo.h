// The DER DigestInfo that a PKCS #1 v1.5 signature carries: the hash algorithm's identifier
// and the hash value. The CSP builds it for CKM_RSA_PKCS, the software token reads it back to
// tell the platform which hash it signs. Pure code, header only, shared by both DLLs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace digestinfo {

struct Algorithm {
  const wchar_t *name;  // the platform's name of the hash (bcrypt's BCRYPT_SHA1_ALGORITHM, ...)
  size_t hashSize;
  std::vector<uint8_t> prefix;  // the DER up to the hash value
};

inline const std::vector<Algorithm> &algorithms() {
  static const std::vector<Algorithm> table = {
      {L"SHA1", 20, {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14}},
      {L"SHA256", 32, {0x30, 0x31, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01,
                       0x05, 0x00, 0x04, 0x20}},
      {L"SHA384", 48, {0x30, 0x41, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02,
                       0x05, 0x00, 0x04, 0x30}},
      {L"SHA512", 64, {0x30, 0x51, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03,
                       0x05, 0x00, 0x04, 0x40}},
  };
  return table;
}

// The algorithm of that name and hash size; null when the table has none.
inline const Algorithm *find(const wchar_t *name, size_t hashSize) {
  for (const Algorithm &a : algorithms()) {
    bool same = true;
    for (size_t i = 0; same && (a.name[i] || name[i]); ++i) same = a.name[i] == name[i];
    if (same && a.hashSize == hashSize) return &a;
  }
  return nullptr;
}

inline std::vector<uint8_t> build(const Algorithm &algorithm, const uint8_t *hash) {
  std::vector<uint8_t> out = algorithm.prefix;
  out.insert(out.end(), hash, hash + algorithm.hashSize);
  return out;
}

// The algorithm whose DigestInfo `data` is, with the offset of the hash value; null when the
// data is no DigestInfo the table knows.
inline const Algorithm *parse(const uint8_t *data, size_t size, size_t *hashOffset) {
  for (const Algorithm &a : algorithms()) {
    if (size != a.prefix.size() + a.hashSize) continue;
    bool same = true;
    for (size_t i = 0; same && i < a.prefix.size(); ++i) same = data[i] == a.prefix[i];
    if (!same) continue;
    *hashOffset = a.prefix.size();
    return &a;
  }
  return nullptr;
}

}  // namespace digestinfo
