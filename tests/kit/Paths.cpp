#include "kit/Paths.h"

#include <windows.h>

#include <filesystem>

#include "model/ScopedFileHandle.h"

namespace testkit {

std::wstring BinDir() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path, n);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

std::wstring SourcePath(const std::wstring& relative) {
  std::string unix = ZELT_SOURCE_DIR;
  std::wstring p = L"Z:";
  for (char c : unix) p.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
  p.push_back(L'\\');
  for (wchar_t c : relative) p.push_back(c == L'/' ? L'\\' : c);
  return p;
}

std::wstring MakeTempDir(const std::wstring& hint) {
  wchar_t base[MAX_PATH];
  ::GetTempPathW(MAX_PATH, base);
  for (unsigned i = 0;; ++i) {
    std::wstring dir = std::wstring(base) + L"zelt-" + hint + L"-" + std::to_wstring(::GetCurrentProcessId()) +
                       L"-" + std::to_wstring(i);
    if (::CreateDirectoryW(dir.c_str(), nullptr)) return dir;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return std::wstring();
  }
}

void RemoveTree(const std::wstring& dir) {
  std::error_code ignored;
  if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
}

std::vector<unsigned char> ReadWholeFile(const std::wstring& path) {
  std::vector<unsigned char> bytes;
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  if (!file) return bytes;
  unsigned char chunk[4096];
  DWORD read = 0;
  while (::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read) bytes.insert(bytes.end(), chunk, chunk + read);
  return bytes;
}

}  // namespace testkit
