#pragma once
#include <objbase.h>
#include <windows.h>

#include <string>

namespace testkit {

// The page DLL loaded from the build's bin folder, with its exports.
class ModuleUnderTest {
 public:
  ModuleUnderTest();
  ~ModuleUnderTest();
  ModuleUnderTest(const ModuleUnderTest&) = delete;
  ModuleUnderTest& operator=(const ModuleUnderTest&) = delete;

  bool loaded() const { return module_ != nullptr; }
  HMODULE handle() const { return module_; }

  HRESULT CanUnloadNow() const;
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;

  HRESULT CreatePage(IUnknown* outer, REFIID iid, void** out) const;

 private:
  HMODULE module_ = nullptr;
};

// Runs a program and waits for it; returns its exit code, or -1 when it did not start or end in time.
long RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 120000);

}  // namespace testkit
