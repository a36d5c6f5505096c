#include "kit/ChildProcess.h"

#include "kit/ScopedKernelHandle.h"
#include "model/ScopedFileHandle.h"

namespace testkit {

namespace {

// The variable's value, and whether it was set at all.
std::pair<bool, std::wstring> Variable(const std::wstring& name) {
  const DWORD size = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (!size) return {false, std::wstring()};
  std::wstring value(size, L'\0');
  value.resize(::GetEnvironmentVariableW(name.c_str(), &value[0], size));
  return {true, value};
}

}  // namespace

ChildRun RunChild(const std::wstring& commandLine, DWORD timeoutMs, const Environment& environment) {
  ChildRun run;
  // A file, not a pipe: a child that writes much cannot fill it and stall. It goes when closed.
  wchar_t folder[MAX_PATH], path[MAX_PATH];
  ::GetTempPathW(MAX_PATH, folder);
  if (!::GetTempFileNameW(folder, L"zcp", 0, path)) return run;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  const ScopedFileHandle out(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           &inherit, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!out) return run;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = out.get();
  PROCESS_INFORMATION process = {};
  std::wstring command = commandLine;
  // The child inherits this process's variables; they are put back as they were once it started.
  std::vector<std::pair<bool, std::wstring>> before;
  for (const auto& variable : environment) {
    before.push_back(Variable(variable.first));
    ::SetEnvironmentVariableW(variable.first.c_str(), variable.second.c_str());
  }
  run.started = ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  if (!run.started) run.startError = ::GetLastError();
  for (size_t i = 0; i < environment.size(); ++i)
    ::SetEnvironmentVariableW(environment[i].first.c_str(), before[i].first ? before[i].second.c_str() : nullptr);
  if (!run.started) return run;
  const ScopedKernelHandle child(process.hProcess), thread(process.hThread);
  if (::WaitForSingleObject(child.get(), timeoutMs) != WAIT_OBJECT_0) {
    run.timedOut = true;
    ::TerminateProcess(child.get(), 1);
    ::WaitForSingleObject(child.get(), 5000);
  }
  DWORD code = static_cast<DWORD>(-1);
  if (::GetExitCodeProcess(child.get(), &code)) run.exitCode = static_cast<long>(code);
  ::SetFilePointer(out.get(), 0, nullptr, FILE_BEGIN);
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(out.get(), buffer, sizeof buffer, &read, nullptr) && read)
    for (DWORD i = 0; i < read; ++i)
      if (buffer[i] != '\r') run.output += buffer[i];
  return run;
}

}  // namespace testkit
