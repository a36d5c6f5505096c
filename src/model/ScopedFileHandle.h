#pragma once
#include "model/ScopedHandle.h"

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

// A file or pipe from CreateFile / CreatePipe (INVALID_HANDLE_VALUE when none).
using ScopedFileHandle = ScopedHandle<FileHandleTraits>;
