// ZeltCsp.dll: the token's CryptoAPI provider, "Quillon Zelt RSA Cryptographic Service
// Provider" (PROV_RSA_FULL), over the token library. This file: the module, provider contexts
// and their parameters; the keys, hashes and signatures are KeyEntries.cpp's.
#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <string>
#include <vector>

#include "Containers.h"
#include "CspHandles.h"
#include "CspModule.h"
#include "ProviderState.h"
#include "TokenLink.h"
#include "model/CspParameters.h"
#include "model/ScopedRegKey.h"

namespace {

const wchar_t kProviderName[] = L"Quillon Zelt RSA Cryptographic Service Provider";
const wchar_t kProviderKey[] =
    L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\Quillon Zelt RSA Cryptographic Service Provider";

// The token's container names; while the chosen token is away, the names last read from it.
DWORD containerNames(std::vector<std::string>* names) {
  names->clear();
  TokenLink link;
  const DWORD error = link.open();
  std::string serial;
  if (error == static_cast<DWORD>(SCARD_E_NO_SMARTCARD)) {
    if (providerstate::selectedSerial(&serial)) *names = providerstate::knownNames(serial);
    return 0;
  }
  if (error) return error;
  const DWORD listed = containers::listNames(link, names);
  if (!listed) providerstate::rememberNames(link.serial(), *names);
  return listed;
}

BOOL enumContainers(ProviderContext* ctx, BYTE* buffer, DWORD* length, DWORD flags) {
  if (!length) return fail(ERROR_INVALID_PARAMETER);
  if ((flags & CRYPT_FIRST) || !ctx->enumStarted) {
    const DWORD error = containerNames(&ctx->enumNames);
    if (error) return fail(error);
    ctx->enumNext = 0;
    ctx->enumStarted = true;
  }
  if (!buffer) {
    // The size of the longest name: a size query does not move the enumeration on.
    if (ctx->enumNames.empty()) return fail(ERROR_NO_MORE_ITEMS);
    size_t longest = 0;
    for (const std::string& n : ctx->enumNames) longest = n.size() > longest ? n.size() : longest;
    *length = static_cast<DWORD>(longest + 1);
    return TRUE;
  }
  if (ctx->enumNext >= ctx->enumNames.size()) return fail(ERROR_NO_MORE_ITEMS);
  const std::string& name = ctx->enumNames[ctx->enumNext];
  if (!copyOut(name.c_str(), static_cast<DWORD>(name.size() + 1), buffer, length)) return FALSE;
  ++ctx->enumNext;
  return TRUE;
}

BOOL openContainer(const char* name, DWORD flags, ProviderContext** out) {
  const bool silent = (flags & CRYPT_SILENT) != 0;
  const std::string container = name ? name : "";
  TokenLink link;
  DWORD error = link.open();
  if (error == static_cast<DWORD>(SCARD_E_NO_SMARTCARD) && silent) error = static_cast<DWORD>(NTE_SILENT_CONTEXT);
  if (error) return fail(error);

  if (flags & CRYPT_DELETEKEYSET) {
    error = link.login();
    if (!error) error = containers::remove(link, container);
    return error ? fail(error) : TRUE;
  }
  if (flags & CRYPT_NEWKEYSET) {
    error = containers::create(link, container);
    if (error) return fail(error);
  }
  auto* ctx = new ProviderContext;
  ctx->verifyOnly = false;
  ctx->silent = silent;
  // A container just made is empty and known: reading it back could only fail after it exists,
  // and the caller would be told that nothing was made.
  if (flags & CRYPT_NEWKEYSET)
    ctx->container.name = container;
  else
    error = containers::read(link, container, &ctx->container);
  if (error) {
    delete ctx;
    return fail(error);
  }
  *out = ctx;
  return TRUE;
}

DWORD bindKeyId(ProviderContext* ctx, const BYTE* data) {
  const auto* blob = reinterpret_cast<const CRYPT_DATA_BLOB*>(data);
  if (ctx->verifyOnly) return static_cast<DWORD>(NTE_BAD_KEYSET);
  if (!blob || !blob->pbData || !blob->cbData) return ERROR_INVALID_PARAMETER;
  TokenLink link;
  DWORD error = link.open();
  if (!error) error = link.login();
  if (!error) error = containers::bindKeyId(link, ctx->container.name, std::vector<uint8_t>(blob->pbData, blob->pbData + blob->cbData));
  // The binding is on the token now, whatever follows: the context's own view is refreshed for
  // the calls made on it later, and a failure there is theirs to report, not the binding's.
  if (!error) containers::read(link, ctx->container.name, &ctx->container);
  return error;
}

DWORD setDefaultContainer(const BYTE* data) {
  if (!data) return static_cast<DWORD>(NTE_BAD_KEYSET);
  TokenLink link;
  DWORD error = link.open();
  if (!error) error = containers::makeDefault(link, reinterpret_cast<const char*>(data));
  return error;
}

// A null pointer forgets the choice; any blob chooses, even an empty one (which no token matches).
void selectToken(const BYTE* data) {
  const auto* blob = reinterpret_cast<const CRYPT_DATA_BLOB*>(data);
  if (!blob) {
    providerstate::selectSerial(nullptr);
    return;
  }
  std::string serial;
  if (blob->pbData) serial.assign(reinterpret_cast<const char*>(blob->pbData), blob->cbData);
  // The serial comes with its NUL, and perhaps with the token's padding blanks.
  while (!serial.empty() && (serial.back() == '\0' || serial.back() == ' ')) serial.pop_back();
  providerstate::selectSerial(&serial);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    cspmodule::setInstance(instance);
    cspmodule::readEnvironment();
    ::DisableThreadLibraryCalls(instance);
    // CryptoAPI loads the provider for each handle and frees it with the handle; the token
    // choice and the password must outlive the handle that set them.
    HMODULE pinned = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCWSTR>(&cspmodule::setInstance), &pinned);
  }
  return TRUE;
}

HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(cspmodule::instance(), path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return HRESULT_FROM_WIN32(::GetLastError());
  ScopedRegKey key;
  LONG rc = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProviderKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.receive(), nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  const DWORD type = PROV_RSA_FULL;
  const DWORD noSignature = 0;
  rc = ::RegSetValueExW(key.get(), L"Image Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), (n + 1) * sizeof(wchar_t));
  if (rc == ERROR_SUCCESS)
    rc = ::RegSetValueExW(key.get(), L"Type", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&type), sizeof type);
  if (rc == ERROR_SUCCESS)
    rc = ::RegSetValueExW(key.get(), L"SigInFile", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&noSignature),
                          sizeof noSignature);
  return HRESULT_FROM_WIN32(rc);
}

HRESULT WINAPI DllUnregisterServer() {
  const LONG rc = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kProviderKey);
  return rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
}

BOOL WINAPI CPAcquireContext(HCRYPTPROV* phProv, LPCSTR szContainer, DWORD dwFlags, void* /*vtable*/) {
  CSP_ENTRY();
  if (!phProv) return fail(ERROR_INVALID_PARAMETER);
  *phProv = 0;
  if ((dwFlags & CRYPT_VERIFYCONTEXT) == CRYPT_VERIFYCONTEXT) {
    if (szContainer && *szContainer) return fail(static_cast<DWORD>(NTE_BAD_FLAGS));
    *phProv = reinterpret_cast<HCRYPTPROV>(new ProviderContext);
    return TRUE;
  }
  ProviderContext* ctx = nullptr;
  if (!openContainer(szContainer, dwFlags, &ctx)) return FALSE;
  *phProv = reinterpret_cast<HCRYPTPROV>(ctx);
  return TRUE;
}

BOOL WINAPI CPReleaseContext(HCRYPTPROV hProv, DWORD) {
  CSP_ENTRY();
  delete providerOf(hProv);
  return TRUE;
}

BOOL WINAPI CPGetProvParam(HCRYPTPROV hProv, DWORD dwParam, BYTE* pbData, DWORD* pcbDataLen, DWORD dwFlags) {
  CSP_ENTRY();
  ProviderContext* ctx = providerOf(hProv);
  switch (dwParam) {
    case PP_ENUMCONTAINERS:
      return enumContainers(ctx, pbData, pcbDataLen, dwFlags);
    case PP_NAME: {
      char name[64];
      const int n = ::WideCharToMultiByte(CP_ACP, 0, kProviderName, -1, name, sizeof name, nullptr, nullptr);
      return copyOut(name, static_cast<DWORD>(n), pbData, pcbDataLen);
    }
    case PP_CONTAINER:
    case PP_UNIQUE_CONTAINER:
      if (ctx->verifyOnly) return fail(static_cast<DWORD>(NTE_BAD_KEYSET));
      return copyOut(ctx->container.name.c_str(), static_cast<DWORD>(ctx->container.name.size() + 1), pbData,
                     pcbDataLen);
    case PP_PROVTYPE: {
      const DWORD type = PROV_RSA_FULL;
      return copyOut(&type, sizeof type, pbData, pcbDataLen);
    }
    default:
      return fail(static_cast<DWORD>(NTE_BAD_TYPE));
  }
}

BOOL WINAPI CPSetProvParam(HCRYPTPROV hProv, DWORD dwParam, const BYTE* pbData, DWORD) {
  CSP_ENTRY();
  ProviderContext* ctx = providerOf(hProv);
  DWORD error = 0;
  switch (dwParam) {
    case PP_KEYEXCHANGE_PIN:
    case PP_SIGNATURE_PIN:
      providerstate::setPassword(reinterpret_cast<const char*>(pbData));
      break;
    case VENDOR_PP_DEFAULT_CONTAINER:
      error = setDefaultContainer(pbData);
      break;
    case VENDOR_PP_BIND_KEY_ID:
      error = bindKeyId(ctx, pbData);
      break;
    case VENDOR_PP_SELECT_TOKEN:
      selectToken(pbData);
      break;
    default:
      error = static_cast<DWORD>(NTE_BAD_TYPE);
  }
  return error ? fail(error) : TRUE;
}

}  // extern "C"
