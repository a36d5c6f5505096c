#include "model/TextBuffer.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "model/Status.h"

TextBuffer::~TextBuffer() { std::free(text_); }

TextBuffer::TextBuffer(TextBuffer&& other) noexcept
    : text_(std::exchange(other.text_, nullptr)),
      storedLength_(std::exchange(other.storedLength_, 0)) {}

TextBuffer& TextBuffer::operator=(TextBuffer&& other) noexcept {
  if (this != &other) {
    std::free(text_);
    text_ = std::exchange(other.text_, nullptr);
    storedLength_ = std::exchange(other.storedLength_, 0);
  }
  return *this;
}

void TextBuffer::clear() {
  std::free(text_);
  text_ = nullptr;
  storedLength_ = 0;
}

int32_t TextBuffer::assign(const char* source) {
  return assign(source, source ? std::strlen(source) : 0);
}

int32_t TextBuffer::assign(const char* source, size_t length) {
  if (!source || length == 0) {
    clear();
    return StatusOk;
  }
  // The stored length is 32 bits wide; a longer text cannot be held.
  char* copy = length < UINT32_MAX ? static_cast<char*>(std::malloc(length + 1)) : nullptr;
  if (copy) {
    // Copied before the old text goes: source may point into it.
    std::memcpy(copy, source, length);
    copy[length] = '\0';
  }
  clear();
  if (!copy) return StatusOutOfMemory;
  text_ = copy;
  storedLength_ = static_cast<uint32_t>(length + 1);
  return StatusOk;
}

int32_t TextBuffer::append(const char* source) {
  return append(source, source ? std::strlen(source) : 0);
}

int32_t TextBuffer::append(const char* source, size_t length) {
  if (!source || length == 0) return StatusOk;
  if (empty()) return assign(source, length);
  const size_t old = this->length();
  if (length >= UINT32_MAX - storedLength_) return StatusOutOfMemory;
  char* joined = static_cast<char*>(std::malloc(old + length + 1));
  if (!joined) return StatusOutOfMemory;
  std::memcpy(joined, text_, old);
  std::memcpy(joined + old, source, length);
  joined[old + length] = '\0';
  std::free(text_);
  text_ = joined;
  storedLength_ = static_cast<uint32_t>(old + length + 1);
  return StatusOk;
}
