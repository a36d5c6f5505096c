#include "model/TextBuffer.h"

#include <cstring>
#include <utility>

TextBuffer::TextBuffer(TextBuffer&& other) noexcept
    : text_(std::move(other.text_)), storedLength_(std::exchange(other.storedLength_, 0)) {}

TextBuffer& TextBuffer::operator=(TextBuffer&& other) noexcept {
  if (this != &other) {
    text_ = std::move(other.text_);
    storedLength_ = std::exchange(other.storedLength_, 0);
  }
  return *this;
}

void TextBuffer::clear() {
  text_.reset();
  storedLength_ = 0;
}

Status TextBuffer::assign(const char* source) {
  return assign(source, source ? std::strlen(source) : 0);
}

Status TextBuffer::assign(const char* source, size_t length) {
  if (!source || length == 0) {
    clear();
    return StatusOk;
  }
  // The stored length is 32 bits wide; a longer text cannot be held.
  HeapArray<char> copy = length < UINT32_MAX ? allocateArray<char>(length + 1) : HeapArray<char>();
  if (copy) {
    // Copied before the old text goes: source may point into it.
    std::memcpy(copy.get(), source, length);
    copy[length] = '\0';
  }
  clear();
  if (!copy) return StatusOutOfMemory;
  text_ = std::move(copy);
  storedLength_ = static_cast<uint32_t>(length + 1);
  return StatusOk;
}

Status TextBuffer::append(const char* source) {
  return append(source, source ? std::strlen(source) : 0);
}

Status TextBuffer::append(const char* source, size_t length) {
  if (!source || length == 0) return StatusOk;
  if (empty()) return assign(source, length);
  const size_t old = this->length();
  if (length >= UINT32_MAX - storedLength_) return StatusOutOfMemory;
  HeapArray<char> joined = allocateArray<char>(old + length + 1);
  if (!joined) return StatusOutOfMemory;
  std::memcpy(joined.get(), text_.get(), old);
  std::memcpy(joined.get() + old, source, length);
  joined[old + length] = '\0';
  text_ = std::move(joined);
  storedLength_ = static_cast<uint32_t>(old + length + 1);
  return StatusOk;
}
