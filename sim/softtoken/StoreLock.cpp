#include "StoreLock.h"

#include <cstdint>
#include <cwchar>
#include <cwctype>

namespace softtoken {

StoreLock::StoreLock(const std::wstring &folder) {
  // Mutex names cannot hold backslashes; a hash of the folder keeps the name short and valid.
  uint32_t hash = 2166136261u;
  for (wchar_t c : folder) {
    wchar_t lower = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
    hash = (hash ^ static_cast<uint32_t>(lower)) * 16777619u;
  }
  wchar_t name[64];
  swprintf(name, 64, L"Local\\ZeltSoftTokenStore.%08X", hash);
  mutex_.reset(CreateMutexW(nullptr, FALSE, name));
}

StoreLock::Guard::Guard(StoreLock &lock) : mutex_(lock.mutex_.get()), held_(false) {
  if (!mutex_) return;
  DWORD r = WaitForSingleObject(mutex_, INFINITE);
  held_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

StoreLock::Guard::~Guard() {
  if (held_) ReleaseMutex(mutex_);
}

}  // namespace softtoken
