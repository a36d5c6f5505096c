#pragma once
// An owned, heap-allocated, NUL-terminated 8-bit string that remembers its
// stored length (text length plus one, or 0 when empty). Failures to allocate
// are reported as StatusOutOfMemory rather than thrown.
#include <cstddef>
#include <cstdint>
#include "model/HeapArray.h"
#include "model/Status.h"

class TextBuffer {
 public:
  TextBuffer() = default;
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  TextBuffer(TextBuffer&& other) noexcept;
  TextBuffer& operator=(TextBuffer&& other) noexcept;

  // Frees the old text and copies source; a null or empty source leaves the
  // buffer empty. When the copy cannot be allocated the buffer is empty too.
  Status assign(const char* source);
  // As above with the first length bytes of source (which need no NUL).
  Status assign(const char* source, size_t length);
  // Null or empty source: unchanged. Otherwise the text becomes the
  // concatenation; when that cannot be allocated the old text stays.
  Status append(const char* source);
  Status append(const char* source, size_t length);
  void clear();

  // Never null: an empty buffer gives "".
  const char* text() const { return text_ ? text_.get() : ""; }
  // Text length plus one, or 0 when empty.
  uint32_t storedLength() const { return storedLength_; }
  size_t length() const { return storedLength_ ? storedLength_ - 1 : 0; }
  bool empty() const { return storedLength_ == 0; }

 private:
  HeapArray<char> text_;
  uint32_t storedLength_ = 0;
};
