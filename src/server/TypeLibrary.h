#pragma once
#include <windows.h>

// Registration of the type library stored in the module's own resources.
namespace TypeLibrary {

// Registers the module's type library with the module's folder as help folder.
HRESULT Register(const wchar_t* modulePath);
// Unregisters it by the id, version, locale and system kind it carries;
// skipped when the system offers no UnRegisterTypeLib.
HRESULT Unregister(const wchar_t* modulePath);

}  // namespace TypeLibrary
