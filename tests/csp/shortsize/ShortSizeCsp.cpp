// A provider in front of ZeltCsp.dll whose size query for container names counts the longest
// name without its NUL, as some providers' does. Every other entry is forwarded (see the .def).
#include <windows.h>
#include <wincrypt.h>

extern "C" BOOL WINAPI CPGetProvParam(HCRYPTPROV provider, DWORD param, BYTE* data, DWORD* length, DWORD flags) {
  using Entry = BOOL(WINAPI*)(HCRYPTPROV, DWORD, BYTE*, DWORD*, DWORD);
  static const Entry next =
      reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(::LoadLibraryA("ZeltCsp.dll"), "CPGetProvParam")));
  if (!next) return FALSE;
  const BOOL ok = next(provider, param, data, length, flags);
  if (ok && param == PP_ENUMCONTAINERS && !data && *length > 0) --*length;
  return ok;
}
