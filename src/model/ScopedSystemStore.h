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

// A system certificate store from CertOpenStore.
using ScopedSystemStore = ScopedHandle<SystemStoreTraits>;
