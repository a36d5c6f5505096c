#include "kit/Registry.h"

#include "model/ScopedRegKey.h"

namespace testkit {

bool KeyExists(HKEY root, const std::wstring& path) {
  ScopedRegKey k;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, k.receive()) == ERROR_SUCCESS;
}

std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* name, bool* found) {
  if (found) *found = false;
  ScopedRegKey k;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, k.receive()) != ERROR_SUCCESS) return {};
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(k.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
    return {};
  std::wstring s(size / sizeof(wchar_t) + 1, L'\0');
  if (::RegQueryValueExW(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&s[0]), &size) != ERROR_SUCCESS)
    return {};
  s.resize(wcslen(s.c_str()));
  if (found) *found = true;
  return s;
}

bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD* value) {
  ScopedRegKey k;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, k.receive()) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = sizeof(DWORD);
  return ::RegQueryValueExW(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
             ERROR_SUCCESS &&
         type == REG_DWORD;
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path) {
  std::vector<std::wstring> names;
  ScopedRegKey k;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, k.receive()) != ERROR_SUCCESS) return names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = 256;
    if (::RegEnumKeyExW(k.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, len);
  }
  return names;
}

std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path) {
  std::vector<std::wstring> names;
  ScopedRegKey k;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, k.receive()) != ERROR_SUCCESS) return names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = 256;
    if (::RegEnumValueW(k.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, len);
  }
  return names;
}

void DeleteKeyTree(HKEY root, const std::wstring& path) { ::RegDeleteTreeW(root, path.c_str()); }

}  // namespace testkit
