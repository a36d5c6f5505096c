#include "kit/ModuleUnderTest.h"

#include "kit/Paths.h"
#include "server/Guids.h"

namespace testkit {

namespace {
template <typename Fn>
Fn Export(HMODULE m, const char* name) {
  return m ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(m, name))) : nullptr;
}
using NoArgFn = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
}  // namespace

ModuleUnderTest::ModuleUnderTest(const std::wstring& path)
    : path_(path.empty() ? BinDir() + L"ZeltUtilUserPage.dll" : path) {
  module_ = ::LoadLibraryW(path_.c_str());
}

ModuleUnderTest::~ModuleUnderTest() {
  if (module_) ::FreeLibrary(module_);
}

HRESULT ModuleUnderTest::CanUnloadNow() const {
  auto fn = Export<NoArgFn>(module_, "DllCanUnloadNow");
  return fn ? fn() : E_NOTIMPL;
}

HRESULT ModuleUnderTest::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
  auto fn = Export<GetClassObjectFn>(module_, "DllGetClassObject");
  return fn ? fn(clsid, iid, out) : E_NOTIMPL;
}

HRESULT ModuleUnderTest::RegisterServer() const {
  auto fn = Export<NoArgFn>(module_, "DllRegisterServer");
  return fn ? fn() : E_NOTIMPL;
}

HRESULT ModuleUnderTest::UnregisterServer() const {
  auto fn = Export<NoArgFn>(module_, "DllUnregisterServer");
  return fn ? fn() : E_NOTIMPL;
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
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::wstring cmd = commandLine;
  if (!::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  ::CloseHandle(pi.hThread);
  DWORD code = static_cast<DWORD>(-1);
  if (::WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) ::GetExitCodeProcess(pi.hProcess, &code);
  else ::TerminateProcess(pi.hProcess, 1);
  ::CloseHandle(pi.hProcess);
  return static_cast<long>(code);
}

}  // namespace testkit
