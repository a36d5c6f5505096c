#pragma once
// Move-only owner of one platform handle. Traits supply the invalid value and
// the release call; the release keeps the thread's last-error value intact so
// that an early return can still report why it failed. Each kind of handle
// counts how many of its owners hold one: the system's own handle counters are
// not available everywhere (Wine reports none), and this is where a leak shows.
#include <windows.h>

#include <utility>

template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() = default;
  explicit ScopedHandle(Handle h) : handle_(h) { Count(+1); }
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

  // Handles of this kind that owners hold now, in the whole module.
  static LONG Live() { return live_; }

  // For out-parameters of creation calls (`Create(x.receive())`); releases what
  // is held first. What the call stored is counted when the expression ends.
  class Receiver {
   public:
    explicit Receiver(ScopedHandle& owner) : owner_(owner) {}
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;
    ~Receiver() { owner_.Count(+1); }
    operator Handle*() const { return &owner_.handle_; }

   private:
    ScopedHandle& owner_;
  };
  Receiver receive() {
    reset();
    return Receiver(*this);
  }

  Handle release() {
    Count(-1);
    Handle h = handle_;
    handle_ = Traits::Invalid();
    return h;
  }

  void reset(Handle h = Traits::Invalid()) {
    if (handle_ != Traits::Invalid()) {
      Count(-1);
      const DWORD lastError = ::GetLastError();
      Traits::Close(handle_);
      ::SetLastError(lastError);
    }
    handle_ = h;
    Count(+1);
  }

 private:
  void Count(LONG step) {
    if (handle_ != Traits::Invalid()) ::InterlockedExchangeAdd(&live_, step);
  }

  Handle handle_ = Traits::Invalid();
  static inline LONG live_ = 0;
};
