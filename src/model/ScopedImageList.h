#pragma once
#include <windows.h>

#include <commctrl.h>

#include "model/ScopedHandle.h"

struct ImageListTraits {
  using Handle = HIMAGELIST;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::ImageList_Destroy(h); }
};

// An image list that this code created and that no control destroys with itself.
using ScopedImageList = ScopedHandle<ImageListTraits>;
