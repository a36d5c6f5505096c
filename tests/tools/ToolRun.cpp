#include "ToolRun.h"

#include <windows.h>

#include "kit/Paths.h"
#include "model/ScopedFileHandle.h"

namespace {

std::string readAll(HANDLE file) {
  std::string text;
  ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) text.append(buffer, read);
  // The tool writes text mode: lines end in CR LF. Compare them as lines.
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i];
  }
  return lines;
}

// Output goes to files, not pipes: a long listing cannot fill a pipe and stall the child.
HANDLE outputFile() {
  wchar_t folder[MAX_PATH], path[MAX_PATH];
  ::GetTempPathW(MAX_PATH, folder);
  ::GetTempFileNameW(folder, L"zto", 0, path);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

}  // namespace

ToolRun runTool(const std::wstring& arguments, const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
  ToolRun run;
  ScopedFileHandle out(outputFile()), err(outputFile());
  if (!out || !err) return run;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nullptr;
  si.hStdOutput = out.get();
  si.hStdError = err.get();
  PROCESS_INFORMATION pi = {};
  std::wstring command = L"\"" + testkit::BinDir() + L"zelt-token.exe\" " + arguments;
  for (const auto& v : environment) ::SetEnvironmentVariableW(v.first.c_str(), v.second.c_str());
  const BOOL started = ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  for (const auto& v : environment) ::SetEnvironmentVariableW(v.first.c_str(), nullptr);
  if (!started) return run;
  ScopedFileHandle process(pi.hProcess), thread(pi.hThread);
  if (::WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) {
    ::TerminateProcess(pi.hProcess, 1);
    ::WaitForSingleObject(pi.hProcess, 5000);
  }
  DWORD code = static_cast<DWORD>(-1);
  ::GetExitCodeProcess(pi.hProcess, &code);
  run.exitCode = static_cast<long>(code);
  run.out = readAll(out.get());
  run.err = readAll(err.get());
  return run;
}

std::string describe(const ToolRun& run) {
  return "exit code " + std::to_string(run.exitCode) + "\nstdout: " + run.out + "\nstderr: " + run.err;
}
