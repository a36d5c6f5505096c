#pragma once
#include <windows.h>

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

}  // namespace Module
