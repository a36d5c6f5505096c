#pragma once
#include <objbase.h>
#include <windows.h>

#include <string>

namespace testkit {

// The page DLL loaded from the build's bin folder (or a given copy of it), with its four exports.
class ModuleUnderTest {
 public:
  explicit ModuleUnderTest(const std::wstring& path = std::wstring());
  ~ModuleUnderTest();
  ModuleUnderTest(const ModuleUnderTest&) = delete;
  ModuleUnderTest& operator=(const ModuleUnderTest&) = delete;

  bool loaded() const { return module_ != nullptr; }
  HMODULE handle() const { return module_; }
  const std::wstring& path() const { return path_; }

  HRESULT CanUnloadNow() const;
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
  HRESULT RegisterServer() const;
  HRESULT UnregisterServer() const;

  // Creates a page through the module's class factory.
  HRESULT CreatePage(IUnknown* outer, REFIID iid, void** out) const;

 private:
  std::wstring path_;
  HMODULE module_ = nullptr;
};

// Runs a program and waits for it; returns its exit code, or -1 when it did not start.
long RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 120000);

}  // namespace testkit
