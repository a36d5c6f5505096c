// CKM_RSA_PKCS signatures with the components that an RSA private key object keeps, computed
// by the platform (bcrypt), never here.
#pragma once

#include <cstdint>
#include <vector>

#include "TokenImage.h"
#include "cryptoki/Pkcs11.h"

namespace softtoken {

// Length of the key's signatures: the bytes of its modulus (0 when it has none).
CK_ULONG signatureLength(const StoredObject &key);

// The PKCS #1 v1.5 (block type 1) signature of `data`, which must leave the 11 bytes of padding
// room in the modulus (CKR_DATA_LEN_RANGE). CKR_KEY_TYPE_INCONSISTENT for a key without its
// private components; CKR_FUNCTION_FAILED when the platform refuses.
CK_RV rsaPkcs1Sign(const StoredObject &key, const std::vector<uint8_t> &data, std::vector<uint8_t> *signature);

}  // namespace softtoken
