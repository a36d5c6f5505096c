#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "model/ScopedHandle.h"

struct CryptProvTraits {
  using Handle = HCRYPTPROV;
  static Handle Invalid() { return 0; }
  static void Close(Handle h) { ::CryptReleaseContext(h, 0); }
};

// A provider context from CryptAcquireContext.
using ScopedCryptProv = ScopedHandle<CryptProvTraits>;
