#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "model/ScopedHandle.h"

struct CryptKeyTraits {
  using Handle = HCRYPTKEY;
  static Handle Invalid() { return 0; }
  static void Close(Handle h) { ::CryptDestroyKey(h); }
};

// A key from CryptGetUserKey or CryptImportKey.
using ScopedCryptKey = ScopedHandle<CryptKeyTraits>;
