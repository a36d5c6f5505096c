#pragma once
// The CSP's own module: its folder, where the token library is found.
#include <windows.h>

#include <string>

namespace cspmodule {

void setInstance(HINSTANCE instance);
HINSTANCE instance();
// With a trailing '\'.
std::wstring folder();

}  // namespace cspmodule
