#pragma once
// The import table of a loaded module, where the bench puts its forwarders.
#include <windows.h>

class ImportTable {
 public:
  // Replaces `module`'s import `name` of `dll` (by name, case-insensitive for the DLL) with
  // `replacement`; the original address, or null when the module has no such import.
  static void* Patch(HMODULE module, const char* dll, const char* name, void* replacement);
};
