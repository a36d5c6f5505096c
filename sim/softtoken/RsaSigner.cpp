#include "RsaSigner.h"

#include <windows.h>
#include <bcrypt.h>

#include "DigestInfo.h"
#include "model/ScopedHandle.h"

namespace softtoken {

namespace {

struct AlgorithmTraits {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};

struct KeyTraits {
  using Handle = BCRYPT_KEY_HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::BCryptDestroyKey(h); }
};

// A big-endian integer without its leading zeros.
std::vector<uint8_t> component(const StoredObject &key, CK_ATTRIBUTE_TYPE type) {
  const StoredAttribute *a = key.find(static_cast<uint32_t>(type));
  if (!a) return {};
  size_t skip = 0;
  while (skip < a->value.size() && a->value[skip] == 0) ++skip;
  return std::vector<uint8_t>(a->value.begin() + static_cast<std::ptrdiff_t>(skip), a->value.end());
}

// Appends the integer right-aligned in `size` bytes; false when it does not fit.
bool append(std::vector<uint8_t> &blob, const std::vector<uint8_t> &value, size_t size) {
  if (value.size() > size) return false;
  blob.insert(blob.end(), size - value.size(), 0);
  blob.insert(blob.end(), value.begin(), value.end());
  return true;
}

unsigned long bitLength(const std::vector<uint8_t> &value) {
  if (value.empty()) return 0;
  unsigned long bits = static_cast<unsigned long>(value.size() - 1) * 8;
  for (uint8_t top = value[0]; top; top >>= 1) ++bits;
  return bits;
}

// The key as bcrypt imports it: BCRYPT_RSAFULLPRIVATE_BLOB. Empty when a component is missing.
std::vector<uint8_t> privateBlob(const StoredObject &key) {
  const std::vector<uint8_t> n = component(key, CKA_MODULUS), e = component(key, CKA_PUBLIC_EXPONENT),
                             d = component(key, CKA_PRIVATE_EXPONENT), p = component(key, CKA_PRIME_1),
                             q = component(key, CKA_PRIME_2), dp = component(key, CKA_EXPONENT_1),
                             dq = component(key, CKA_EXPONENT_2), qi = component(key, CKA_COEFFICIENT);
  if (n.empty() || e.empty() || d.empty() || p.empty() || q.empty() || dp.empty() || dq.empty() || qi.empty())
    return {};
  BCRYPT_RSAKEY_BLOB header = {};
  header.Magic = BCRYPT_RSAFULLPRIVATE_MAGIC;
  header.BitLength = bitLength(n);
  header.cbPublicExp = static_cast<ULONG>(e.size());
  header.cbModulus = static_cast<ULONG>(n.size());
  header.cbPrime1 = static_cast<ULONG>(p.size());
  header.cbPrime2 = static_cast<ULONG>(q.size());
  std::vector<uint8_t> blob(reinterpret_cast<const uint8_t *>(&header),
                            reinterpret_cast<const uint8_t *>(&header) + sizeof header);
  blob.insert(blob.end(), e.begin(), e.end());
  blob.insert(blob.end(), n.begin(), n.end());
  blob.insert(blob.end(), p.begin(), p.end());
  blob.insert(blob.end(), q.begin(), q.end());
  const bool fits = append(blob, dp, p.size()) && append(blob, dq, q.size()) && append(blob, qi, p.size()) &&
                    append(blob, d, n.size());
  if (!fits) {
    ::SecureZeroMemory(blob.data(), blob.size());
    return {};
  }
  return blob;
}

}  // namespace

CK_ULONG signatureLength(const StoredObject &key) { return component(key, CKA_MODULUS).size(); }

CK_RV rsaPkcs1Sign(const StoredObject &key, const std::vector<uint8_t> &data, std::vector<uint8_t> *signature) {
  const CK_ULONG length = signatureLength(key);
  if (length == 0) return CKR_KEY_TYPE_INCONSISTENT;
  if (data.size() + 11 > length) return CKR_DATA_LEN_RANGE;
  std::vector<uint8_t> blob = privateBlob(key);
  if (blob.empty()) return CKR_KEY_TYPE_INCONSISTENT;

  ScopedHandle<AlgorithmTraits> algorithm;
  ScopedHandle<KeyTraits> imported;
  NTSTATUS status = ::BCryptOpenAlgorithmProvider(algorithm.receive(), BCRYPT_RSA_ALGORITHM, nullptr, 0);
  if (BCRYPT_SUCCESS(status))
    status = ::BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_RSAFULLPRIVATE_BLOB, imported.receive(),
                                   blob.data(), static_cast<ULONG>(blob.size()), 0);
  ::SecureZeroMemory(blob.data(), blob.size());
  if (!BCRYPT_SUCCESS(status)) return CKR_FUNCTION_FAILED;

  // bcrypt adds the DigestInfo of the hash it is told; told no hash it pads the data as it is,
  // which gives the same signature. Wine's bcrypt only does the former, so a DigestInfo it
  // knows is handed over as its hash.
  BCRYPT_PKCS1_PADDING_INFO padding = {nullptr};
  const uint8_t *input = data.data();
  ULONG inputSize = static_cast<ULONG>(data.size());
  size_t hashOffset = 0;
  if (const digestinfo::Algorithm *a = digestinfo::parse(data.data(), data.size(), &hashOffset)) {
    padding.pszAlgId = a->name;
    input += hashOffset;
    inputSize = static_cast<ULONG>(a->hashSize);
  }
  signature->assign(length, 0);
  ULONG written = 0;
  status = ::BCryptSignHash(imported.get(), &padding, const_cast<PUCHAR>(input), inputSize, signature->data(),
                            static_cast<ULONG>(signature->size()), &written, BCRYPT_PAD_PKCS1);
  if (!BCRYPT_SUCCESS(status) || written != length) return CKR_FUNCTION_FAILED;
  return CKR_OK;
}

}  // namespace softtoken
