// The CSP's entries for the keys of a container, hashes and signatures. The private keys never
// leave the token: a signature is the token's (CKM_RSA_PKCS over the DigestInfo built here),
// the hashing is the system's base provider's.
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CspHandles.h"
#include "CspModule.h"
#include "DigestInfo.h"
#include "ProviderState.h"
#include "TokenLink.h"

namespace {

BOOL unsupported() { return fail(static_cast<DWORD>(NTE_BAD_ALGID)); }

const wchar_t* hashName(ALG_ID algorithm) { return algorithm == CALG_SHA1 ? L"SHA1" : L"SHA256"; }

// The token's signature of the DigestInfo, with the password set for the process. A silent
// context fails where a card provider would have to ask the user (for the card or the PIN).
DWORD signOnToken(const ProviderContext& ctx, const containers::Key& key, const std::vector<uint8_t>& digestInfo,
                  std::vector<uint8_t>* signature) {
  TokenLink link;
  DWORD error = link.open();
  if (error == static_cast<DWORD>(SCARD_E_NO_SMARTCARD) && ctx.silent) return static_cast<DWORD>(NTE_SILENT_CONTEXT);
  if (error) return error;
  std::string password;
  if (!providerstate::password(&password))
    return static_cast<DWORD>(ctx.silent ? NTE_SILENT_CONTEXT : SCARD_W_CARD_NOT_AUTHENTICATED);
  if (!password.empty()) ::SecureZeroMemory(&password[0], password.size());
  error = link.login();
  return error ? error : link.sign(key.id, digestInfo, signature);
}

}  // namespace

extern "C" {

BOOL WINAPI CPGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey) {
  CSP_ENTRY();
  ProviderContext* ctx = providerOf(hProv);
  if (!phUserKey) return fail(ERROR_INVALID_PARAMETER);
  if (ctx->verifyOnly) return fail(static_cast<DWORD>(NTE_BAD_KEYSET));
  const containers::Key* key = ctx->key(dwKeySpec);
  if (!key) return fail(static_cast<DWORD>(NTE_NO_KEY));
  auto* out = new KeyContext;
  out->keySpec = dwKeySpec;
  out->key = *key;
  *phUserKey = reinterpret_cast<HCRYPTKEY>(out);
  return TRUE;
}

BOOL WINAPI CPGetKeyParam(HCRYPTPROV, HCRYPTKEY hKey, DWORD dwParam, BYTE* pbData, DWORD* pcbDataLen, DWORD) {
  CSP_ENTRY();
  const KeyContext* key = keyOf(hKey);
  switch (dwParam) {
    case KP_CERTIFICATE:
      if (key->key.certificate.empty()) return fail(static_cast<DWORD>(SCARD_E_NO_SUCH_CERTIFICATE));
      return copyOut(key->key.certificate.data(), static_cast<DWORD>(key->key.certificate.size()), pbData,
                     pcbDataLen);
    case KP_ALGID: {
      const ALG_ID algorithm = key->keySpec == AT_KEYEXCHANGE ? CALG_RSA_KEYX : CALG_RSA_SIGN;
      return copyOut(&algorithm, sizeof algorithm, pbData, pcbDataLen);
    }
    case KP_KEYLEN: {
      const DWORD bits = key->key.publicKey.bits();
      if (!bits) return fail(static_cast<DWORD>(NTE_BAD_KEY));
      return copyOut(&bits, sizeof bits, pbData, pcbDataLen);
    }
    default:
      return fail(static_cast<DWORD>(NTE_BAD_TYPE));
  }
}

BOOL WINAPI CPDestroyKey(HCRYPTPROV, HCRYPTKEY hKey) {
  CSP_ENTRY();
  delete keyOf(hKey);
  return TRUE;
}

// Only the public key leaves: a private key blob is refused as for a key marked unexportable.
BOOL WINAPI CPExportKey(HCRYPTPROV, HCRYPTKEY hKey, HCRYPTKEY hPubKey, DWORD dwBlobType, DWORD dwFlags, BYTE* pbData,
                        DWORD* pcbDataLen) {
  CSP_ENTRY();
  const KeyContext* key = keyOf(hKey);
  if (dwBlobType == PRIVATEKEYBLOB) return fail(static_cast<DWORD>(NTE_BAD_KEY_STATE));
  if (dwBlobType != PUBLICKEYBLOB) return fail(static_cast<DWORD>(NTE_BAD_TYPE));
  if (hPubKey || key->key.publicKey.empty()) return fail(static_cast<DWORD>(NTE_BAD_KEY));
  if (dwFlags) return fail(static_cast<DWORD>(NTE_BAD_FLAGS));
  const std::vector<uint8_t> blob =
      key->key.publicKey.blob(key->keySpec == AT_KEYEXCHANGE ? CALG_RSA_KEYX : CALG_RSA_SIGN);
  return copyOut(blob.data(), static_cast<DWORD>(blob.size()), pbData, pcbDataLen);
}

BOOL WINAPI CPCreateHash(HCRYPTPROV, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags, HCRYPTHASH* phHash) {
  CSP_ENTRY();
  if (!phHash) return fail(ERROR_INVALID_PARAMETER);
  if (hKey) return fail(static_cast<DWORD>(NTE_BAD_KEY));  // no keyed hashes
  if (dwFlags) return fail(static_cast<DWORD>(NTE_BAD_FLAGS));
  if (!BaseHash::supported(Algid)) return unsupported();
  auto* hash = new HashContext;
  const DWORD error = hash->hash.create(Algid);
  if (error) {
    delete hash;
    return fail(error);
  }
  *phHash = reinterpret_cast<HCRYPTHASH>(hash);
  return TRUE;
}

BOOL WINAPI CPHashData(HCRYPTPROV, HCRYPTHASH hHash, const BYTE* pbData, DWORD cbDataLen, DWORD dwFlags) {
  CSP_ENTRY();
  return ::CryptHashData(hashOf(hHash)->hash.get(), pbData, cbDataLen, dwFlags);
}

BOOL WINAPI CPGetHashParam(HCRYPTPROV, HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pcbDataLen,
                           DWORD dwFlags) {
  CSP_ENTRY();
  return ::CryptGetHashParam(hashOf(hHash)->hash.get(), dwParam, pbData, pcbDataLen, dwFlags);
}

BOOL WINAPI CPSetHashParam(HCRYPTPROV, HCRYPTHASH hHash, DWORD dwParam, const BYTE* pbData, DWORD dwFlags) {
  CSP_ENTRY();
  return ::CryptSetHashParam(hashOf(hHash)->hash.get(), dwParam, pbData, dwFlags);
}

BOOL WINAPI CPDestroyHash(HCRYPTPROV, HCRYPTHASH hHash) {
  CSP_ENTRY();
  delete hashOf(hHash);
  return TRUE;
}

// The signature comes back little-endian, as CryptoAPI providers give it.
BOOL WINAPI CPSignHash(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwKeySpec, LPCWSTR, DWORD dwFlags, BYTE* pbSignature,
                       DWORD* pcbSigLen) {
  CSP_ENTRY();
  const ProviderContext* ctx = providerOf(hProv);
  const HashContext* hash = hashOf(hHash);
  if (!pcbSigLen || !hash) return fail(ERROR_INVALID_PARAMETER);
  if (dwFlags) return fail(static_cast<DWORD>(NTE_BAD_FLAGS));
  if (ctx->verifyOnly) return fail(static_cast<DWORD>(NTE_BAD_KEYSET));
  const containers::Key* key = ctx->key(dwKeySpec);
  if (!key) return fail(static_cast<DWORD>(NTE_NO_KEY));
  const DWORD length = key->publicKey.bytes();
  if (!length) return fail(static_cast<DWORD>(NTE_BAD_KEY));
  if (!pbSignature || *pcbSigLen < length) {
    const bool query = !pbSignature;
    *pcbSigLen = length;
    return query ? TRUE : fail(ERROR_MORE_DATA);
  }
  std::vector<uint8_t> value, signature;
  DWORD error = hash->hash.value(&value);
  if (error) return fail(error);
  const digestinfo::Algorithm* algorithm = digestinfo::find(hashName(hash->hash.algorithm()), value.size());
  if (!algorithm) return unsupported();
  error = signOnToken(*ctx, *key, digestinfo::build(*algorithm, value.data()), &signature);
  if (error) return fail(error);
  if (signature.size() != length) return fail(static_cast<DWORD>(NTE_FAIL));
  std::reverse_copy(signature.begin(), signature.end(), pbSignature);
  *pcbSigLen = length;
  return TRUE;
}

// Nothing else: key generation, import, derivation, encryption and random numbers are refused.
BOOL WINAPI CPGenKey(HCRYPTPROV, ALG_ID, DWORD, HCRYPTKEY*) {
  CSP_ENTRY();
  return unsupported();
}
BOOL WINAPI CPDeriveKey(HCRYPTPROV, ALG_ID, HCRYPTHASH, DWORD, HCRYPTKEY*) {
  CSP_ENTRY();
  return unsupported();
}
BOOL WINAPI CPSetKeyParam(HCRYPTPROV, HCRYPTKEY, DWORD, const BYTE*, DWORD) {
  CSP_ENTRY();
  return fail(static_cast<DWORD>(NTE_BAD_TYPE));
}
BOOL WINAPI CPImportKey(HCRYPTPROV, const BYTE*, DWORD, HCRYPTKEY, DWORD, HCRYPTKEY*) {
  CSP_ENTRY();
  return unsupported();
}
BOOL WINAPI CPEncrypt(HCRYPTPROV, HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, BYTE*, DWORD*, DWORD) {
  CSP_ENTRY();
  return unsupported();
}
BOOL WINAPI CPDecrypt(HCRYPTPROV, HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, BYTE*, DWORD*) {
  CSP_ENTRY();
  return unsupported();
}
BOOL WINAPI CPHashSessionKey(HCRYPTPROV, HCRYPTHASH, HCRYPTKEY, DWORD) {
  CSP_ENTRY();
  return unsupported();
}
BOOL WINAPI CPVerifySignature(HCRYPTPROV, HCRYPTHASH, const BYTE*, DWORD, HCRYPTKEY, LPCWSTR, DWORD) {
  CSP_ENTRY();
  return unsupported();
}
BOOL WINAPI CPGenRandom(HCRYPTPROV, DWORD, BYTE*) {
  CSP_ENTRY();
  return unsupported();
}

}  // extern "C"
