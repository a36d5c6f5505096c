#pragma once
// Which certificate belongs to which key container of the token's CSP: the
// container map, filled from the CSP's own containers (enumerateContainers)
// or by the caller from the token's catalog (clearEntries, addEntry).
#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <memory>

#include "model/ByteBuffer.h"
#include "model/ContainerMapEntry.h"
#include "model/ScopedCryptProv.h"
#include "model/Status.h"
#include "model/TextBuffer.h"

class CspContext {
 public:
  CspContext();
  virtual ~CspContext();
  CspContext(const CspContext&) = delete;
  CspContext& operator=(const CspContext&) = delete;

  // Destroys every entry; the next entry added becomes the default one.
  void clearEntries();
  // Appends an entry with copies of the arguments; the first entry after a
  // clear is marked default. StatusOutOfMemory when the entry cannot be made.
  Status addEntry(const ByteBuffer& certificate, const char* containerName, uint32_t keySpec);
  // The first entry holding the same certificate bytes: 0, with its container
  // name and (when asked) key spec and default flag. 1 when there is none;
  // containerName is then empty and the other outs untouched.
  Status lookup(const ByteBuffer& certificate, TextBuffer& containerName, uint32_t* keySpec = nullptr,
                 bool* isDefault = nullptr) const;
  // Rebuilds the map from every container of the CSP. 0 at the normal end;
  // otherwise the first failure, with the entries read until then kept
  // (SCARD_E_NO_SMARTCARD when no token is present).
  Status enumerateContainers();

  // Steps of the enumeration.
  // Replaces the held verification context by a new one.
  Status acquireVerifyContext();
  // The next container name of the held verification context (first: from
  // the start); ERROR_NO_MORE_ITEMS after the last.
  Status nextContainerName(bool first, TextBuffer& name);
  // Adds an entry for each key of the container that has a certificate,
  // key exchange first. An empty name opens the default container.
  Status readContainer(const char* name);
  // The certificate stored with the container's key of that spec.
  Status readKeyCertificate(HCRYPTPROV provider, DWORD keySpec, ByteBuffer& certificate);

  const ContainerMapEntry* firstEntry() const { return entries_.get(); }
  const TextBuffer& providerName() const { return providerName_; }

 private:
  ScopedCryptProv verifyContext_;
  TextBuffer providerName_;
  std::unique_ptr<ContainerMapEntry> entries_;
  bool defaultMarked_ = false;
};
