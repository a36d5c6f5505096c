#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "model/ScopedHandle.h"

struct SystemStoreTraits {
  using Handle = HCERTSTORE;
  static Handle Invalid() { return nullptr; }
  // Forced: the store is really closed before it is opened again, whatever
  // contexts found in it are still referenced.
  static void Close(Handle h) { ::CertCloseStore(h, CERT_CLOSE_STORE_FORCE_FLAG); }
};

// A system certificate store from CertOpenStore, and the changes made to it. Wine keeps a system
// store's changes in a cache until they are committed; Windows writes them through, where the
// commit does nothing. A change made here is committed as soon as it succeeds.
class ScopedSystemStore : public ScopedHandle<SystemStoreTraits> {
 public:
  using ScopedHandle::ScopedHandle;

  // CertAddCertificateContextToStore; false with the call's last error.
  bool addCertificate(PCCERT_CONTEXT context, DWORD disposition) const {
    if (!::CertAddCertificateContextToStore(get(), context, disposition, nullptr)) return false;
    commit();
    return true;
  }
  // CertDeleteCertificateFromStore of a context found in this store, which the call frees whether
  // it succeeds or not; false with the call's last error.
  bool deleteCertificate(PCCERT_CONTEXT found) const {
    if (!::CertDeleteCertificateFromStore(found)) return false;
    commit();
    return true;
  }

 private:
  void commit() const { ::CertControlStore(get(), 0, CERT_STORE_CTRL_COMMIT, nullptr); }
};
