#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace testkit {

bool KeyExists(HKEY root, const std::wstring& path);
// The value as text (REG_SZ); empty when absent.
std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* name);
bool ReadDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD* value);
std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path);
// Names of the values of a key; the default value appears as "" when set.
std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path);
void DeleteKeyTree(HKEY root, const std::wstring& path);

}  // namespace testkit
