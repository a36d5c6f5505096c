// Cross-process lock over one store folder, so that a read-modify-write of a token file by
// the host and one by the provisioning tool cannot interleave.
#pragma once

#include <windows.h>

#include <string>

#include "model/ScopedHandle.h"

namespace softtoken {

class StoreLock {
 public:
  // Opens (or creates) the named mutex that stands for the folder.
  explicit StoreLock(const std::wstring &folder);
  StoreLock(const StoreLock &) = delete;
  StoreLock &operator=(const StoreLock &) = delete;

  // Holding the mutex for the life of the guard; a mutex left by a crashed owner is taken over.
  class Guard {
   public:
    explicit Guard(StoreLock &lock);
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;
    ~Guard();

   private:
    HANDLE mutex_;
    bool held_;
  };

 private:
  struct MutexTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::CloseHandle(h); }
  };

  ScopedHandle<MutexTraits> mutex_;
};

}  // namespace softtoken
