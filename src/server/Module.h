#pragma once
#include <windows.h>

#include <cstddef>

// Process-wide state of the module: its instance handle (the source of every
// resource) and the lock count that keeps it loaded.
namespace Module {

HINSTANCE Instance();
// Set by DllMain; a test executable that links the page statically sets its own.
void SetInstance(HINSTANCE instance);

LONG Lock();
LONG Unlock();
LONG LockCount();

// Full path of the module's file, or an empty string.
bool FilePath(wchar_t* buffer, DWORD capacity);

// The module's one way to read its string table: string `id` in `buffer`, cut to `capacity` bytes
// with its NUL; "" when it does not load. Returns `buffer`.
const char* LoadText(UINT id, char* buffer, int capacity);
template <size_t N>
const char* LoadText(UINT id, char (&buffer)[N]) {
  return LoadText(id, buffer, static_cast<int>(N));
}

}  // namespace Module
