#pragma once
// Move-only owner of a BSTR. Secret texts (passwords) are wiped before they are freed.
#include <windows.h>

#include <oleauto.h>

class ScopedBstr {
 public:
  enum class Kind { Plain, Secret };

  explicit ScopedBstr(Kind kind = Kind::Plain) : kind_(kind) {}
  ScopedBstr(BSTR s, Kind kind) : str_(s), kind_(kind) {}
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ScopedBstr(ScopedBstr&& o) noexcept : str_(o.Release()), kind_(o.kind_) {}
  ScopedBstr& operator=(ScopedBstr&& o) noexcept {
    if (this != &o) {
      Reset(o.Release());
      kind_ = o.kind_;
    }
    return *this;
  }
  ~ScopedBstr() { Reset(); }

  static ScopedBstr FromWide(const wchar_t* text, Kind kind = Kind::Plain) {
    return ScopedBstr(text ? ::SysAllocString(text) : nullptr, kind);
  }

  BSTR Get() const { return str_; }
  BSTR* Receive() {
    Reset();
    return &str_;
  }
  BSTR Release() {
    BSTR s = str_;
    str_ = nullptr;
    return s;
  }
  void Reset(BSTR s = nullptr) {
    if (str_) {
      const DWORD lastError = ::GetLastError();
      if (kind_ == Kind::Secret) ::SecureZeroMemory(str_, ::SysStringByteLen(str_));
      ::SysFreeString(str_);
      ::SetLastError(lastError);
    }
    str_ = s;
  }

 private:
  BSTR str_ = nullptr;
  Kind kind_;
};
