#pragma once
// An owned, heap-allocated, NUL-terminated 8-bit string that remembers its
// stored length (text length plus one, or 0 when empty). Failures to allocate
// are reported as StatusOutOfMemory rather than thrown.
#include <cstddef>
#include <cstdint>

class TextBuffer {
 public:
  TextBuffer() = default;
  ~TextBuffer();
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  TextBuffer(TextBuffer&& other) noexcept;
  TextBuffer& operator=(TextBuffer&& other) noexcept;

  // Frees the old text and copies source; a null or empty source leaves the
  // buffer empty. When the copy cannot be allocated the buffer is empty too.
  int32_t assign(const char* source);
  // As above with the first length bytes of source (which need no NUL).
  int32_t assign(const char* source, size_t length);
  // Null or empty source: unchanged. Otherwise the text becomes the
  // concatenation; when that cannot be allocated the old text stays.
  int32_t append(const char* source);
  int32_t append(const char* source, size_t length);
  void clear();

  // Never null: an empty buffer gives "".
  const char* text() const { return text_ ? text_ : ""; }
  // Text length plus one, or 0 when empty.
  uint32_t storedLength() const { return storedLength_; }
  size_t length() const { return storedLength_ ? storedLength_ - 1 : 0; }
  bool empty() const { return storedLength_ == 0; }

 private:
  char* text_ = nullptr;
  uint32_t storedLength_ = 0;
};
