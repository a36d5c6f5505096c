#pragma once
#include <windows.h>

#include "server/RegistryScript.h"

// Runs a registry script resource of the module: writes its keys and values,
// or removes them by the script's NoRemove/ForceRemove rules.
class Registrar {
 public:
  // "%MODULE%" in the script becomes `modulePath` with its apostrophes doubled.
  explicit Registrar(const wchar_t* modulePath) : modulePath_(modulePath ? modulePath : L"") {}

  HRESULT RegisterResource(HINSTANCE module, UINT resourceId) { return Run(module, resourceId, true); }
  HRESULT UnregisterResource(HINSTANCE module, UINT resourceId) { return Run(module, resourceId, false); }

  // The same for a script given as text (resource loading aside).
  HRESULT RunScript(const std::wstring& text, bool registering);

 private:
  HRESULT Run(HINSTANCE module, UINT resourceId, bool registering);
  HRESULT RegisterKey(HKEY parent, const RegistryScriptKey& key);
  HRESULT UnregisterKey(HKEY parent, const RegistryScriptKey& key);

  std::wstring modulePath_;
};
