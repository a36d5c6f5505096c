#include "model/CspRequests.h"

#include <windows.h>
#include <wincrypt.h>
#include <rpc.h>

#include <cstring>

#include "model/CryptoApi.h"
#include "model/CspParameters.h"
#include "model/ScopedCryptProv.h"
#include "model/ScopedRpcString.h"

const char kCspProviderName[] = "Quillon Zelt RSA Cryptographic Service Provider";

namespace {

TextBuffer g_providerName;

bool acquire(ScopedCryptProv& provider, const char* container, DWORD flags) {
  if (::CryptAcquireContextA(provider.receive(), container, g_providerName.text(), PROV_RSA_FULL, flags)) return true;
  provider.release();  // nothing was acquired
  return false;
}

const BYTE* bytes(const void* data) { return static_cast<const BYTE*>(data); }

}  // namespace

Status loadCspProviderName() { return g_providerName.assign(kCspProviderName); }
void freeCspProviderName() { g_providerName.clear(); }
const TextBuffer& cspProviderName() { return g_providerName; }

Status selectToken(const char* serial) {
  ScopedCryptProv verify;
  if (!acquire(verify, nullptr, CRYPT_VERIFYCONTEXT)) return lastErrorStatus();
  CRYPT_DATA_BLOB blob = {0, nullptr};
  const BYTE* data = nullptr;  // empty text: a null pointer, which withdraws the choice
  if (serial && *serial) {
    blob.cbData = static_cast<DWORD>(std::strlen(serial) + 1);
    blob.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(serial));
    data = bytes(&blob);
  }
  return ::CryptSetProvParam(verify.get(), VENDOR_PP_SELECT_TOKEN, data, 0) ? StatusOk : lastErrorStatus();
}

Status setDefaultContainer(const char* containerName) {
  ScopedCryptProv verify;
  if (!acquire(verify, nullptr, CRYPT_VERIFYCONTEXT)) return lastErrorStatus();
  const BYTE* data = containerName && *containerName ? bytes(containerName) : nullptr;
  return ::CryptSetProvParam(verify.get(), VENDOR_PP_DEFAULT_CONTAINER, data, 0) ? StatusOk : lastErrorStatus();
}

Status createBoundContainer(const ByteBuffer& keyId, const char* password, TextBuffer& name) {
  UUID uuid;
  ::UuidCreate(&uuid);
  ScopedRpcString guidText;
  ::UuidToStringA(&uuid, guidText.receive());
  if (!guidText) return StatusOutOfMemory;
  const char* guid = reinterpret_cast<const char*>(guidText.get());

  Status status = StatusOk;
  ScopedCryptProv container;
  if (!acquire(container, guid, CRYPT_NEWKEYSET | CRYPT_SILENT)) {
    status = silentOpenStatus();
  } else if (::CryptSetProvParam(container.get(), PP_KEYEXCHANGE_PIN, bytes(password), 0)) {
    CRYPT_DATA_BLOB blob = {keyId.size(), const_cast<BYTE*>(keyId.data())};
    if (!::CryptSetProvParam(container.get(), VENDOR_PP_BIND_KEY_ID, bytes(&blob), 0)) status = lastErrorStatus();
    ::CryptSetProvParam(container.get(), PP_KEYEXCHANGE_PIN, nullptr, 0);
  } else {
    status = lastErrorStatus();
  }
  container.reset();
  if (status == StatusOk) status = name.assign(guid);
  return status;
}

Status deleteContainer(const char* containerName, const char* password) {
  if (!containerName || !password) return StatusPointer;
  ScopedCryptProv verify;
  if (!acquire(verify, nullptr, CRYPT_VERIFYCONTEXT)) return lastErrorStatus();
  Status status = StatusOk;
  if (!::CryptSetProvParam(verify.get(), PP_KEYEXCHANGE_PIN, bytes(password), 0)) {
    status = lastErrorStatus();
  } else {
    HCRYPTPROV unused = 0;  // a deleted key set gives no handle
    if (!::CryptAcquireContextA(&unused, containerName, g_providerName.text(), PROV_RSA_FULL, CRYPT_DELETEKEYSET))
      status = lastErrorStatus();
  }
  // The password never outlives the request, whatever happened above.
  ::CryptSetProvParam(verify.get(), PP_KEYEXCHANGE_PIN, nullptr, 0);
  return status;
}
