#pragma once
// The handles the CSP hands out through CryptoAPI, and what the entries share to answer in the
// CryptoAPI manner. Every handle is counted by the test hooks for as long as it lives.
#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <string>
#include <vector>

#include "BaseHash.h"
#include "Containers.h"
#include "CspHooks.h"

template <csphooks::Handle kind>
struct CountedHandle {
  CountedHandle() { csphooks::opened(kind); }
  ~CountedHandle() { csphooks::closed(kind); }
  CountedHandle(const CountedHandle&) = delete;
  CountedHandle& operator=(const CountedHandle&) = delete;
};

// The whole token (a verification context) or one container, read when it was opened.
struct ProviderContext : CountedHandle<csphooks::Handle::Context> {
  bool verifyOnly = true;
  bool silent = false;  // CRYPT_SILENT: the provider may not ask the user for anything
  containers::Contents container;
  std::vector<std::string> enumNames;  // PP_ENUMCONTAINERS, taken at CRYPT_FIRST
  size_t enumNext = 0;
  bool enumStarted = false;

  // The container's key of that spec; null when it has none.
  const containers::Key* key(DWORD keySpec) const {
    const containers::Key* k = keySpec == AT_KEYEXCHANGE ? &container.exchange
                               : keySpec == AT_SIGNATURE ? &container.signature
                                                         : nullptr;
    return k && k->present ? k : nullptr;
  }
};

struct KeyContext : CountedHandle<csphooks::Handle::Key> {
  DWORD keySpec = 0;
  containers::Key key;
};

struct HashContext : CountedHandle<csphooks::Handle::Hash> {
  BaseHash hash;
};

inline ProviderContext* providerOf(HCRYPTPROV handle) { return reinterpret_cast<ProviderContext*>(handle); }
inline KeyContext* keyOf(HCRYPTKEY handle) { return reinterpret_cast<KeyContext*>(handle); }
inline HashContext* hashOf(HCRYPTHASH handle) { return reinterpret_cast<HashContext*>(handle); }

inline BOOL fail(DWORD error) {
  ::SetLastError(error);
  return FALSE;
}

// Copies a value out in the CryptoAPI manner: a null buffer asks for the size.
inline BOOL copyOut(const void* data, DWORD size, BYTE* buffer, DWORD* length) {
  if (!length) return fail(ERROR_INVALID_PARAMETER);
  if (buffer && *length < size) {
    *length = size;
    return fail(ERROR_MORE_DATA);
  }
  if (buffer && size) std::memcpy(buffer, data, size);
  *length = size;
  return TRUE;
}
