#pragma once
#include "model/ScopedHandle.h"

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};

// An open registry key.
using ScopedRegKey = ScopedHandle<RegKeyTraits>;
