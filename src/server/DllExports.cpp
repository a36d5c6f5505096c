// Entry points of the in-process server.
#include <windows.h>

#include "model/CspRequests.h"
#include "page/UserPage.h"
#include "res/resource.h"
#include "server/ClassFactory.h"
#include "server/Guids.h"
#include "server/Module.h"
#include "server/Registrar.h"
#include "server/TypeLibrary.h"

namespace {

const ClassEntry g_classes[] = {
    {&CLSID_UserPage, &UserPage::CreateInstance, IDR_USERPAGE},
};

IClassFactory* g_factories[sizeof(g_classes) / sizeof(g_classes[0])] = {};
CRITICAL_SECTION g_factoryLock;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    Module::SetInstance(instance);
    // The attach never fails: a refused load leaves the host without its page. A
    // provider name that cannot be copied stays empty.
    loadCspProviderName();
    ::InitializeCriticalSection(&g_factoryLock);
    ::DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    for (IClassFactory*& factory : g_factories) {
      if (factory) factory->Release();
      factory = nullptr;
    }
    ::DeleteCriticalSection(&g_factoryLock);
    freeCspProviderName();
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() { return Module::LockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (size_t i = 0; i < sizeof(g_classes) / sizeof(g_classes[0]); ++i) {
    if (!IsEqualCLSID(clsid, *g_classes[i].clsid)) continue;
    if (!g_factories[i]) {
      ::EnterCriticalSection(&g_factoryLock);
      if (!g_factories[i]) g_factories[i] = new (std::nothrow) ClassFactory(g_classes[i]);
      ::LeaveCriticalSection(&g_factoryLock);
      if (!g_factories[i]) return E_OUTOFMEMORY;
    }
    return g_factories[i]->QueryInterface(iid, out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  if (!Module::FilePath(path, MAX_PATH)) return HRESULT_FROM_WIN32(::GetLastError());
  Registrar registrar(path);
  for (const ClassEntry& entry : g_classes) {
    const HRESULT hr = registrar.RegisterResource(Module::Instance(), entry.registryScriptId);
    if (FAILED(hr)) return hr;
  }
  return TypeLibrary::Register(path);
}

STDAPI DllUnregisterServer() {
  wchar_t path[MAX_PATH];
  Module::FilePath(path, MAX_PATH);
  Registrar registrar(path);
  for (const ClassEntry& entry : g_classes) registrar.UnregisterResource(Module::Instance(), entry.registryScriptId);
  TypeLibrary::Unregister(path);
  return S_OK;
}
