#pragma once
#include "model/ScopedHandle.h"

struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

// A font, pen, brush or bitmap that this code created; not selected into a DC when it goes.
using ScopedGdiObject = ScopedHandle<GdiObjectTraits>;
