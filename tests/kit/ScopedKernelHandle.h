#pragma once
// A thread, process or event handle (null when none; files use ScopedFileHandle).
#include "model/ScopedHandle.h"

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
