#pragma once
// Move-only owner of a secret text (a password or PIN in the ANSI code page).
// The bytes are wiped before they are freed.
#include <windows.h>

#include <cstddef>

class SecretBuffer {
 public:
  SecretBuffer() = default;
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;
  SecretBuffer(SecretBuffer&& o) noexcept : data_(o.data_), length_(o.length_), null_(o.null_) {
    o.data_ = nullptr;
    o.length_ = 0;
    o.null_ = true;
  }
  SecretBuffer& operator=(SecretBuffer&& o) noexcept;
  ~SecretBuffer() { Clear(); }

  // The wide text in the system ANSI code page; a null text stays null.
  // False only when the copy cannot be allocated or converted.
  bool AssignWide(const wchar_t* text);

  // Null when the source was null; otherwise NUL-terminated.
  const char* data() const { return null_ ? nullptr : data_; }
  // Bytes without the terminating NUL; 0 for a null text.
  size_t length() const { return length_; }
  bool isNull() const { return null_; }

  void Clear();

 private:
  char* data_ = nullptr;
  size_t length_ = 0;
  bool null_ = true;
};
