#include "CspModule.h"

namespace cspmodule {

namespace {
HINSTANCE g_instance = nullptr;
}

void setInstance(HINSTANCE instance) { g_instance = instance; }
HINSTANCE instance() { return g_instance; }

std::wstring folder() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(g_instance, path, MAX_PATH);
  std::wstring p(path, n < MAX_PATH ? n : 0);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

}  // namespace cspmodule
