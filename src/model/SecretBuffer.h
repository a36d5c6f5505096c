#pragma once
// Move-only owner of a text in the ANSI code page, converted from a wide text: the module's one
// conversion from wide text to the ANSI code page. Secret texts (passwords and PINs) are what it
// was made for, so the bytes are wiped before they are freed, whatever the text.
#include <windows.h>

#include <cstddef>
#include "model/HeapArray.h"
#include "model/Status.h"

class SecretBuffer {
 public:
  SecretBuffer() = default;
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;
  SecretBuffer(SecretBuffer&& o) noexcept : data_(std::move(o.data_)), length_(o.length_) { o.length_ = 0; }
  SecretBuffer& operator=(SecretBuffer&& o) noexcept;
  ~SecretBuffer() { Clear(); }

  // Status of AssignWide for a text that the ANSI code page cannot hold: a character without a
  // mapping would otherwise reach the token as '?' or as a best-fit look-alike, which is not what
  // the user typed (HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION)).
  static constexpr Status kNotRepresentable = static_cast<Status>(0x80070459L);
  // Status of AssignWide for a text longer than the caller's bound
  // (HRESULT_FROM_WIN32(ERROR_BUFFER_OVERFLOW)).
  static constexpr Status kTooLong = static_cast<Status>(0x8007006FL);
  // The bound of passwords, paths and container names: a 260-byte buffer with its NUL.
  static constexpr size_t kTextLimit = 259;
  static constexpr size_t kUnbounded = static_cast<size_t>(-1);

  enum class Conversion {
    // What is passed on (passwords, paths, serials): exactly as given, or refused.
    Exact,
    // What is shown: the code page's stand-ins for characters it lacks, and the text cut to the
    // bound at a character boundary.
    Shown,
  };

  // The wide text in the system ANSI code page; a null text stays null. Exact: S_OK,
  // kNotRepresentable, kTooLong (more than maxLength bytes) or E_OUTOFMEMORY. Shown: S_OK, or
  // E_OUTOFMEMORY. On failure the buffer is null.
  Status AssignWide(const wchar_t* text, size_t maxLength = kUnbounded, Conversion conversion = Conversion::Exact);

  // Null when the source was null; otherwise NUL-terminated.
  const char* data() const { return data_.get(); }
  // Never null: "" for a null text.
  const char* text() const { return data_ ? data_.get() : ""; }
  // Bytes without the terminating NUL; 0 for a null text.
  size_t length() const { return length_; }
  bool isNull() const { return !data_; }

  void Clear();

 private:
  Status AssignExact(const wchar_t* text, size_t maxLength);
  Status AssignShown(const wchar_t* text, size_t maxLength);

  HeapArray<char> data_;
  size_t length_ = 0;
};
