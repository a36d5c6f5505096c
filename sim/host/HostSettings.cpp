#include "HostSettings.h"

#include "model/ScopedRegKey.h"

const wchar_t HostSettings::kDefaultKey[] =
    L"Software\\Quillon Works\\Zelt\\Zelt Components\\Zelt Utilities\\Token Utility";

bool HostSettings::readFlag(const wchar_t* name, bool fallback) const {
  ScopedRegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS)
    return fallback;
  DWORD value = 0, type = 0, size = sizeof value;
  if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return fallback;
  return value != 0;
}

LONG HostSettings::writeFlag(const wchar_t* name, bool value) {
  ScopedRegKey key;
  LONG rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                              nullptr, key.receive(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  const DWORD data = value ? 1 : 0;
  return ::RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}
