#include "TokenFile.h"

#include <winternl.h>

#include <vector>

#include "ZeltVendor.h"
#include "model/ScopedHandle.h"

namespace softtoken {

namespace {

constexpr uint64_t kMaxFileSize = 64u * 1024u * 1024u;

// Another process may hold the file for the instant of its own replacement.
bool transient(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

struct FileTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
using ScopedFile = ScopedHandle<FileTraits>;

// The close of a written file can report a failed write-back; this one is checked.
bool closeChecked(ScopedFile &file) { return ::CloseHandle(file.release()) != FALSE; }

bool writeAll(HANDLE h, const uint8_t *p, size_t n) {
  while (n > 0) {
    DWORD chunk = n > 0x100000 ? 0x100000 : static_cast<DWORD>(n);
    DWORD written = 0;
    if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) return false;
    p += written;
    n -= written;
  }
  return true;
}

}  // namespace

TokenFile::Load TokenFile::load(FileStamp &known, TokenImage &out) const {
  HANDLE raw = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 50; ++attempt) {
    raw = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw != INVALID_HANDLE_VALUE) break;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      const bool changed = known.exists;
      known = FileStamp{};
      return changed ? Load::Absent : Load::Unchanged;
    }
    if (!transient(error)) return Load::Unreadable;
    Sleep(10);
  }
  ScopedFile file(raw);
  if (!file) return Load::Unreadable;

  // The file's identity, size and last write, each from the file itself: the library looks
  // before nearly every call, and GetFileInformationByHandle would also ask the volume for its
  // serial number, which under Wine is a round trip to the mount manager each time.
  FILE_INTERNAL_INFORMATION id;
  IO_STATUS_BLOCK io;
  LARGE_INTEGER size;
  FILETIME written;
  if (NtQueryInformationFile(file.get(), &io, &id, sizeof id, FileInternalInformation) < 0 ||
      !GetFileSizeEx(file.get(), &size) || !GetFileTime(file.get(), nullptr, nullptr, &written))
    return Load::Unreadable;
  FileStamp stamp;
  stamp.exists = true;
  stamp.index = static_cast<uint64_t>(id.IndexNumber.QuadPart);
  stamp.size = static_cast<uint64_t>(size.QuadPart);
  stamp.writeTime = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  if (stamp == known) return Load::Unchanged;
  known = stamp;

  if (stamp.size > kMaxFileSize) return Load::Corrupt;
  std::vector<uint8_t> bytes(static_cast<size_t>(stamp.size));
  size_t got = 0;
  while (got < bytes.size()) {
    DWORD n = 0;
    if (!ReadFile(file.get(), bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &n, nullptr))
      return Load::Corrupt;
    if (n == 0) break;
    got += n;
  }
  if (got != bytes.size()) return Load::Corrupt;
  return TokenImage::decode(bytes.data(), bytes.size(), out) ? Load::Valid : Load::Corrupt;
}

bool TokenFile::save(const TokenImage &image, WriteFault fault) const {
  const std::vector<uint8_t> bytes = image.encode();
  const std::wstring temp = path_ + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";

  ScopedFile file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  if (fault != WriteFault::None) {
    // A write cut short: half the new image reaches the disk, the token file is not touched.
    writeAll(file.get(), bytes.data(), bytes.size() / 2);
    FlushFileBuffers(file.get());
    file.reset();
    if (fault == WriteFault::CrashHalfway) TerminateProcess(GetCurrentProcess(), Q_CRASH_EXIT_CODE);
    return false;
  }
  if (!writeAll(file.get(), bytes.data(), bytes.size()) || !FlushFileBuffers(file.get()) ||
      !closeChecked(file)) {
    file.reset();
    DeleteFileW(temp.c_str());
    return false;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (MoveFileExW(temp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    if (!transient(GetLastError())) break;
    Sleep(10);
  }
  DeleteFileW(temp.c_str());
  return false;
}

bool TokenFile::remove() const {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (DeleteFileW(path_.c_str())) return true;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    if (!transient(error)) return false;
    Sleep(10);
  }
  return false;
}

}  // namespace softtoken
