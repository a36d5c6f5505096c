#include "kit/ModuleUnderTest.h"

#include "kit/ChildProcess.h"
#include "kit/Paths.h"
#include "server/Guids.h"

namespace testkit {

ModuleUnderTest::ModuleUnderTest() : module_(::LoadLibraryW((BinDir() + L"ZeltUtilUserPage.dll").c_str())) {}

ModuleUnderTest::~ModuleUnderTest() {
  if (module_) ::FreeLibrary(module_);
}

HRESULT ModuleUnderTest::CanUnloadNow() const {
  auto fn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(::GetProcAddress(module_, "DllCanUnloadNow")));
  return fn ? fn() : E_NOTIMPL;
}

HRESULT ModuleUnderTest::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
  auto fn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(::GetProcAddress(module_, "DllGetClassObject")));
  return fn ? fn(clsid, iid, out) : E_NOTIMPL;
}

HRESULT ModuleUnderTest::CreatePage(IUnknown* outer, REFIID iid, void** out) const {
  IClassFactory* factory = nullptr;
  HRESULT hr = GetClassObject(CLSID_UserPage, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, iid, out);
  factory->Release();
  return hr;
}

long RunProcess(const std::wstring& commandLine, DWORD timeoutMs) {
  const ChildRun run = RunChild(commandLine, timeoutMs);
  return run.started && !run.timedOut ? run.exitCode : -1;
}

}  // namespace testkit
