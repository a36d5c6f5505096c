#include "server/Module.h"

namespace {
HINSTANCE g_instance = nullptr;
volatile LONG g_lockCount = 0;
}  // namespace

namespace Module {

HINSTANCE Instance() { return g_instance; }
void SetInstance(HINSTANCE instance) { g_instance = instance; }

LONG Lock() { return ::InterlockedIncrement(&g_lockCount); }
LONG Unlock() { return ::InterlockedDecrement(&g_lockCount); }
LONG LockCount() { return g_lockCount; }

bool FilePath(wchar_t* buffer, DWORD capacity) {
  if (!buffer || capacity == 0) return false;
  const DWORD n = ::GetModuleFileNameW(g_instance, buffer, capacity);
  if (n == 0 || n >= capacity) {
    buffer[0] = L'\0';
    return false;
  }
  return true;
}

const char* LoadText(UINT id, char* buffer, int capacity) {
  if (::LoadStringA(g_instance, id, buffer, capacity) <= 0) buffer[0] = '\0';
  return buffer;
}

}  // namespace Module
