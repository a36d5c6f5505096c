#pragma once
// The CSP's own module: its folder, where the token library is found, and the door every
// entry point goes through first (the test hooks).
#include <windows.h>

#include <string>

namespace cspmodule {

void setInstance(HINSTANCE instance);
HINSTANCE instance();
// With a trailing '\'.
std::wstring folder();

// Applies ZELT_CSP_FAIL; called once, when the module is loaded.
void readEnvironment();
// Counts and traces one call of the entry. False, with the injected error as the last error,
// when the call is to fail without doing anything.
bool enter(const char* entry);

}  // namespace cspmodule

// The first statement of every entry point.
#define CSP_ENTRY()                                 \
  do {                                              \
    if (!cspmodule::enter(__func__)) return FALSE; \
  } while (0)
