#pragma once
#include "model/ScopedHandle.h"

template <typename T>
struct GdiObjectTraits {
  using Handle = T;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

// A font, bitmap, brush or pen that this code created (not a stock object).
template <typename T>
using ScopedGdiObject = ScopedHandle<GdiObjectTraits<T>>;
