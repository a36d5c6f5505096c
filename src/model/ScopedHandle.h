#pragma once
// Move-only owner of one platform handle. Traits supply the invalid value and
// the release call; the release keeps the thread's last-error value intact so
// that an early return can still report why it failed.
#include <windows.h>

#include <utility>

template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() = default;
  explicit ScopedHandle(Handle h) : handle_(h) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~ScopedHandle() { reset(); }

  Handle get() const { return handle_; }
  bool valid() const { return handle_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  // For out-parameters of creation calls; releases what is held first.
  Handle* receive() {
    reset();
    return &handle_;
  }

  Handle release() {
    Handle h = handle_;
    handle_ = Traits::Invalid();
    return h;
  }

  void reset(Handle h = Traits::Invalid()) {
    if (handle_ != Traits::Invalid()) {
      const DWORD lastError = ::GetLastError();
      Traits::Close(handle_);
      ::SetLastError(lastError);
    }
    handle_ = h;
  }

 private:
  Handle handle_ = Traits::Invalid();
};
