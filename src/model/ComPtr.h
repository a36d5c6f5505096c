#pragma once
// Move-only owner of one COM interface reference.
#include <objbase.h>

#include <utility>

#include "model/Status.h"

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes over a reference the caller already owns.
  static ComPtr Adopt(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  // Adds a reference of its own.
  static ComPtr Share(T* p) {
    if (p) p->AddRef();
    return Adopt(p);
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& o) noexcept : p_(o.Detach()) {}
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) Reset(o.Detach());
    return *this;
  }
  ~ComPtr() { Reset(); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  T** Receive() {
    Reset();
    return &p_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

  void Reset(T* p = nullptr) {
    T* old = p_;
    p_ = p;
    if (old) old->Release();
  }

  // QueryInterface into another smart pointer; the query's result.
  template <typename U>
  Status As(REFIID iid, ComPtr<U>* out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out->ReceiveVoid());
  }

 private:
  T* p_ = nullptr;
};
