#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "model/ScopedHandle.h"

struct CertStoreTraits {
  using Handle = HCERTSTORE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CertCloseStore(h, 0); }
};

// A certificate store from CertOpenStore or PFXImportCertStore.
using ScopedCertStore = ScopedHandle<CertStoreTraits>;
