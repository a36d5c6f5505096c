#pragma once
#include "model/ScopedHandle.h"

struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};

// A module loaded with LoadLibrary.
using ScopedLibrary = ScopedHandle<LibraryTraits>;
