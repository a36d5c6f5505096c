#include <windows.h>

#include <filesystem>

#include "Loader.h"
#include "model/ScopedHandle.h"
#include "model/ScopedLibrary.h"

namespace conformance {

namespace {

std::wstring widen(const std::string &s) { return std::filesystem::u8path(s).wstring(); }
std::string narrow(const std::wstring &w) { return std::filesystem::path(w).u8string(); }

struct KernelObjectTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
using ScopedKernelObject = ScopedHandle<KernelObjectTraits>;

class Win32Loader : public Loader {
 public:
  explicit Win32Loader(ScopedLibrary module) : module_(std::move(module)) {}
  void *symbol(const char *name) const override {
    return reinterpret_cast<void *>(GetProcAddress(module_.get(), name));
  }

 private:
  ScopedLibrary module_;
};

}  // namespace

std::unique_ptr<Loader> Loader::load(const std::string &path, std::string &error) {
  ScopedLibrary module(LoadLibraryW(widen(path).c_str()));
  if (!module) {
    error = "LoadLibrary(" + path + ") failed with error " + std::to_string(GetLastError());
    return nullptr;
  }
  return std::unique_ptr<Loader>(new Win32Loader(std::move(module)));
}

// Found beside the test executable, where the build puts the DLLs.
std::string defaultModulePath() { return "ZeltP11.dll"; }

void setEnvironment(const std::string &name, const std::string &value) {
  SetEnvironmentVariableW(widen(name).c_str(), value.empty() ? nullptr : widen(value).c_str());
}

std::string environment(const std::string &name) {
  wchar_t buffer[2048];
  DWORD n = GetEnvironmentVariableW(widen(name).c_str(), buffer, 2048);
  return n > 0 && n < 2048 ? narrow(std::wstring(buffer, n)) : std::string();
}

long runSelf(const std::vector<std::pair<std::string, std::string>> &env) {
  wchar_t exe[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return -1;
  for (const auto &v : env) setEnvironment(v.first, v.second);
  std::wstring commandLine = L"\"" + std::wstring(exe) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  BOOL started = CreateProcessW(exe, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  for (const auto &v : env) setEnvironment(v.first, std::string());
  if (!started) return -1;
  ScopedKernelObject process(pi.hProcess);
  ScopedKernelObject thread(pi.hThread);
  // Processes start slowly where Wine runs i386 code emulated; allow for it.
  if (WaitForSingleObject(process.get(), 300000) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
    return -1;
  }
  DWORD exitCode = 0;
  return GetExitCodeProcess(process.get(), &exitCode) ? static_cast<long>(exitCode) : -1;
}

}  // namespace conformance
