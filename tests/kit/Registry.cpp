#include "kit/Registry.h"

#include "model/ScopedRegKey.h"

namespace testkit {

namespace {

// Names of the subkeys, or of the values, of a key.
std::vector<std::wstring> Names(HKEY root, const std::wstring& path, bool values) {
  std::vector<std::wstring> names;
  ScopedRegKey k;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, k.receive()) != ERROR_SUCCESS) return names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = 256;
    const LONG rc = values ? ::RegEnumValueW(k.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr)
                           : ::RegEnumKeyExW(k.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return names;
    names.emplace_back(name, len);
  }
}

}  // namespace

bool KeyExists(HKEY root, const std::wstring& path) {
  ScopedRegKey k;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, k.receive()) == ERROR_SUCCESS;
}

std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* name) {
  wchar_t text[1024] = L"";
  DWORD size = sizeof text;
  if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return {};
  return text;
}

bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD* value) {
  DWORD size = sizeof(DWORD);
  return ::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, value, &size) == ERROR_SUCCESS;
}

std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path) { return Names(root, path, false); }

std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path) { return Names(root, path, true); }

void DeleteKeyTree(HKEY root, const std::wstring& path) { ::RegDeleteTreeW(root, path.c_str()); }

}  // namespace testkit
