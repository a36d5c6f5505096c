#include "CspModule.h"

#include "CspHooks.h"

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

void readEnvironment() {
  char value[1024];
  const DWORD n = ::GetEnvironmentVariableA("ZELT_CSP_FAIL", value, sizeof value);
  if (n > 0 && n < sizeof value) csphooks::inject(value);
}

bool enter(const char* entry) {
  uint32_t error = 0;
  if (!csphooks::enter(entry, &error)) return true;
  ::SetLastError(error);
  return false;
}

}  // namespace cspmodule
