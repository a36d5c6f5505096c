#include "server/Registrar.h"

#include <vector>

#include "model/ScopedRegKey.h"

namespace {

HKEY RootKey(const std::wstring& name) {
  if (name == L"HKCR" || name == L"HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
  if (name == L"HKCU" || name == L"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
  if (name == L"HKLM" || name == L"HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
  if (name == L"HKU" || name == L"HKEY_USERS") return HKEY_USERS;
  return nullptr;
}

LONG SetValue(HKEY key, const RegistryScriptValue& v) {
  const wchar_t* name = v.name.empty() ? nullptr : v.name.c_str();
  if (v.type == L'd') {
    const DWORD n = v.number;
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof(n));
  }
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.text.c_str()),
                          static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t)));
}

// Deletes a key with all its subkeys; a key that is not there is no failure.
LONG DeleteTree(HKEY parent, const std::wstring& name) {
  const LONG rc = ::RegDeleteTreeW(parent, name.c_str());
  return (rc == ERROR_FILE_NOT_FOUND) ? ERROR_SUCCESS : rc;
}

}  // namespace

HRESULT Registrar::Run(HINSTANCE module, UINT resourceId, bool registering) {
  HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"REGISTRY");
  if (!info) return HRESULT_FROM_WIN32(::GetLastError());
  HGLOBAL data = ::LoadResource(module, info);
  const DWORD size = ::SizeofResource(module, info);
  const char* bytes = data ? static_cast<const char*>(::LockResource(data)) : nullptr;
  if (!bytes || size == 0) return E_FAIL;

  const int wide = ::MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), nullptr, 0);
  if (wide <= 0) return HRESULT_FROM_WIN32(::GetLastError());
  std::wstring text(static_cast<size_t>(wide), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), &text[0], wide);
  return RunScript(text, registering);
}

HRESULT Registrar::RunScript(const std::wstring& raw, bool registering) {
  const std::wstring text =
      RegistryScriptSubstitute(raw, L"%MODULE%", RegistryScriptQuote(modulePath_));
  RegistryScript script;
  std::wstring error;
  if (!ParseRegistryScript(text, &script, &error)) return DISP_E_EXCEPTION;

  HRESULT first = S_OK;
  for (const RegistryScriptKey& root : script.roots) {
    HKEY rootKey = RootKey(root.name);
    if (!rootKey) return E_INVALIDARG;
    for (const RegistryScriptKey& key : root.children) {
      const HRESULT hr = registering ? RegisterKey(rootKey, key) : UnregisterKey(rootKey, key);
      if (FAILED(hr)) {
        if (registering) return hr;
        if (SUCCEEDED(first)) first = hr;
      }
    }
  }
  return first;
}

HRESULT Registrar::RegisterKey(HKEY parent, const RegistryScriptKey& key) {
  using Rule = RegistryScriptKey::Rule;
  if (key.rule == Rule::Delete) return HRESULT_FROM_WIN32(DeleteTree(parent, key.name));
  if (key.rule == Rule::ForceRemove) {
    const LONG rc = DeleteTree(parent, key.name);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  }
  ScopedRegKey k;
  LONG rc = ::RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, k.receive(), nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  if (key.hasDefault && (rc = SetValue(k.get(), key.defaultValue)) != ERROR_SUCCESS)
    return HRESULT_FROM_WIN32(rc);
  for (const RegistryScriptValue& v : key.values)
    if ((rc = SetValue(k.get(), v)) != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  for (const RegistryScriptKey& child : key.children) {
    const HRESULT hr = RegisterKey(k.get(), child);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT Registrar::UnregisterKey(HKEY parent, const RegistryScriptKey& key) {
  using Rule = RegistryScriptKey::Rule;
  if (key.rule == Rule::Delete) return S_OK;
  if (key.rule == Rule::ForceRemove) return HRESULT_FROM_WIN32(DeleteTree(parent, key.name));

  HRESULT first = S_OK;
  {
    ScopedRegKey k;
    const LONG rc = ::RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_READ | KEY_WRITE, k.receive());
    if (rc == ERROR_FILE_NOT_FOUND) return S_OK;
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    for (const RegistryScriptKey& child : key.children) {
      const HRESULT hr = UnregisterKey(k.get(), child);
      if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    if (key.rule == Rule::NoRemove) return first;
    for (const RegistryScriptValue& v : key.values) ::RegDeleteValueW(k.get(), v.name.c_str());
    DWORD subkeys = 0;
    if (::RegQueryInfoKeyW(k.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS || subkeys != 0)
      return first;  // something of someone else's still lives below it
  }
  const LONG rc = ::RegDeleteKeyW(parent, key.name.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND && SUCCEEDED(first)) first = HRESULT_FROM_WIN32(rc);
  return first;
}
