#include "model/CspContext.h"

#include <cstring>
#include <new>

#include "model/CryptoApi.h"
#include "model/CspRequests.h"
#include "model/HeapArray.h"
#include "model/ScopedCryptKey.h"

CspContext::CspContext() { providerName_.assign(kCspProviderName); }

CspContext::~CspContext() {
  verifyContext_.reset();
  clearEntries();
}

void CspContext::clearEntries() {
  entries_.reset();
  defaultMarked_ = false;
}

Status CspContext::addEntry(const ByteBuffer& certificate, const char* containerName, uint32_t keySpec) {
  std::unique_ptr<ContainerMapEntry> entry(new (std::nothrow) ContainerMapEntry);
  if (!entry) return StatusOutOfMemory;
  entry->certificate.assign(certificate);
  entry->containerName.assign(containerName);
  entry->keySpec = keySpec;
  if (!defaultMarked_) {
    entry->isDefault = true;
    defaultMarked_ = true;
  }
  std::unique_ptr<ContainerMapEntry>* tail = &entries_;
  while (*tail) tail = &(*tail)->next;
  *tail = std::move(entry);
  return StatusOk;
}

Status CspContext::lookup(const ByteBuffer& certificate, TextBuffer& containerName, uint32_t* keySpec,
                          bool* isDefault) const {
  containerName.clear();
  for (const ContainerMapEntry* entry = entries_.get(); entry; entry = entry->next.get()) {
    if (entry->certificate != certificate) continue;
    containerName.assign(entry->containerName.text());
    if (keySpec) *keySpec = entry->keySpec;
    if (isDefault) *isDefault = entry->isDefault;
    return 0;
  }
  return 1;
}

Status CspContext::acquireVerifyContext() {
  verifyContext_.reset();
  if (!::CryptAcquireContextA(verifyContext_.receive(), nullptr, providerName_.text(), PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT)) {
    verifyContext_.release();  // a failed call leaves no handle to release
    return lastErrorStatus();
  }
  return StatusOk;
}

Status CspContext::nextContainerName(bool first, TextBuffer& name) {
  if (!verifyContext_) return StatusFail;
  if (first) defaultMarked_ = false;
  const DWORD flags = first ? CRYPT_FIRST : 0;
  DWORD length = 0;
  if (!::CryptGetProvParam(verifyContext_.get(), PP_ENUMCONTAINERS, nullptr, &length, flags))
    return lastErrorStatus();
  // Announced with the byte a provider may have left out of the size for the
  // NUL; one more zero byte past it ends a name that came without its NUL.
  DWORD size = length + 1;
  HeapArray<BYTE> buffer = allocateArray<BYTE>(static_cast<size_t>(size) + 1);
  if (!buffer) return StatusOutOfMemory;
  std::memset(buffer.get(), 0, static_cast<size_t>(size) + 1);
  if (!::CryptGetProvParam(verifyContext_.get(), PP_ENUMCONTAINERS, buffer.get(), &size, flags))
    return lastErrorStatus();
  return name.assign(reinterpret_cast<const char*>(buffer.get()));
}

Status CspContext::readKeyCertificate(HCRYPTPROV provider, DWORD keySpec, ByteBuffer& certificate) {
  if (!provider) return static_cast<Status>(E_INVALIDARG);
  ScopedCryptKey key;
  if (!::CryptGetUserKey(provider, keySpec, key.receive())) {
    key.release();
    return lastErrorStatus();
  }
  DWORD length = 0;
  if (!::CryptGetKeyParam(key.get(), KP_CERTIFICATE, nullptr, &length, 0)) return lastErrorStatus();
  if (length == 0) return StatusFail;
  HeapArray<BYTE> buffer = allocateArray<BYTE>(length);
  if (!buffer) return StatusOutOfMemory;
  if (!::CryptGetKeyParam(key.get(), KP_CERTIFICATE, buffer.get(), &length, 0)) return lastErrorStatus();
  return certificate.assign(buffer.get(), length);
}

Status CspContext::readContainer(const char* name) {
  ScopedCryptProv container;
  const char* containerName = name && *name ? name : nullptr;
  if (!::CryptAcquireContextA(container.receive(), containerName, providerName_.text(), PROV_RSA_FULL,
                              CRYPT_SILENT)) {
    container.release();
    return silentOpenStatus();
  }
  for (DWORD keySpec : {static_cast<DWORD>(AT_KEYEXCHANGE), static_cast<DWORD>(AT_SIGNATURE)}) {
    ByteBuffer certificate;
    if (readKeyCertificate(container.get(), keySpec, certificate) == StatusOk)
      addEntry(certificate, name, keySpec);
  }
  return StatusOk;
}

Status CspContext::enumerateContainers() {
  const Status acquired = acquireVerifyContext();
  if (acquired != StatusOk) return acquired;
  clearEntries();
  Status status = StatusOk;
  TextBuffer name;
  for (bool first = true;; first = false) {
    status = nextContainerName(first, name);
    if (status != StatusOk) break;
    status = readContainer(name.text());
    if (status != StatusOk) break;
    ::Sleep(0);
  }
  return status == static_cast<Status>(ERROR_NO_MORE_ITEMS) ? StatusOk : status;
}
