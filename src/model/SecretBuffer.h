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

  // Status of AssignWide for a text that the ANSI code page cannot hold: a character without a
  // mapping would otherwise reach the token as '?' or as a best-fit look-alike, which is not what
  // the user typed (HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION)).
  static constexpr HRESULT kNotRepresentable = static_cast<HRESULT>(0x80070459L);
  // Status of AssignWide for a text longer than the caller's bound
  // (HRESULT_FROM_WIN32(ERROR_BUFFER_OVERFLOW)).
  static constexpr HRESULT kTooLong = static_cast<HRESULT>(0x8007006FL);
  // The bound of passwords, paths and container names: a 260-byte buffer with its NUL.
  static constexpr size_t kTextLimit = 259;
  static constexpr size_t kUnbounded = static_cast<size_t>(-1);

  // The wide text in the system ANSI code page; a null text stays null. S_OK,
  // kNotRepresentable, kTooLong (more than maxLength bytes) or E_OUTOFMEMORY; on
  // failure the buffer is null.
  HRESULT AssignWide(const wchar_t* text, size_t maxLength = kUnbounded);

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
