#pragma once
#include "model/ScopedHandle.h"

struct MemoryDCTraits {
  using Handle = HDC;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};

// A device context from CreateCompatibleDC.
using ScopedMemoryDC = ScopedHandle<MemoryDCTraits>;
