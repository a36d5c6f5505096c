#include "model/CspRequests.h"

#include <windows.h>
#include <wincrypt.h>
#include <rpc.h>

#include <cstring>

#include "model/CspParameters.h"
#include "model/ScopedCryptProv.h"
#include "model/Status.h"

const char kCspProviderName[] = "Quillon Zelt RSA Cryptographic Service Provider";

namespace {

TextBuffer g_providerName;

int32_t lastErrorStatus() { return static_cast<int32_t>(::GetLastError()); }

// Opening a container silently fails with NTE_SILENT_CONTEXT when there is no token.
int32_t silentOpenStatus() {
  const DWORD error = ::GetLastError();
  return static_cast<int32_t>(error == static_cast<DWORD>(NTE_SILENT_CONTEXT) ? SCARD_E_NO_SMARTCARD : error);
}

bool acquire(ScopedCryptProv& provider, const char* container, DWORD flags) {
  if (::CryptAcquireContextA(provider.receive(), container, g_providerName.text(), PROV_RSA_FULL, flags)) return true;
  provider.release();  // nothing was acquired
  return false;
}

const BYTE* bytes(const void* data) { return static_cast<const BYTE*>(data); }

}  // namespace

int32_t loadCspProviderName() { return g_providerName.assign(kCspProviderName); }
void freeCspProviderName() { g_providerName.clear(); }
const TextBuffer& cspProviderName() { return g_providerName; }

int32_t selectToken(const char* serial) {
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

int32_t setDefaultContainer(const char* containerName) {
  ScopedCryptProv verify;
  if (!acquire(verify, nullptr, CRYPT_VERIFYCONTEXT)) return lastErrorStatus();
  const BYTE* data = containerName && *containerName ? bytes(containerName) : nullptr;
  return ::CryptSetProvParam(verify.get(), VENDOR_PP_DEFAULT_CONTAINER, data, 0) ? StatusOk : lastErrorStatus();
}

int32_t createBoundContainer(const ByteBuffer& keyId, const char* password, TextBuffer& name) {
  UUID uuid;
  ::UuidCreate(&uuid);
  RPC_CSTR guidText = nullptr;
  ::UuidToStringA(&uuid, &guidText);
  if (!guidText) return StatusOutOfMemory;
  const char* guid = reinterpret_cast<const char*>(guidText);

  int32_t status = StatusOk;
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
  ::RpcStringFreeA(&guidText);
  return status;
}

int32_t deleteContainer(const char* containerName, const char* password) {
  if (!containerName || !password) return StatusPointer;
  ScopedCryptProv verify;
  if (!acquire(verify, nullptr, CRYPT_VERIFYCONTEXT)) return lastErrorStatus();
  int32_t status = StatusOk;
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
