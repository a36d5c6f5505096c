#pragma once
// Walks NUL-terminated strings stored back to back in a token object's value
// without reading past the value's end.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "model/TextBuffer.h"

class ValueReader {
 public:
  ValueReader(const uint8_t* data, size_t length) : next_(data), end_(data + length) {}

  // The string up to its NUL goes to text and the reader moves past the NUL.
  // A string without a NUL before the end is cut there; at the end the string
  // is empty. Returns the text's assign status.
  Status readString(TextBuffer& text) {
    const size_t available = static_cast<size_t>(end_ - next_);
    const void* nul = available ? std::memchr(next_, 0, available) : nullptr;
    const size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - next_) : available;
    const Status status = text.assign(reinterpret_cast<const char*>(next_), length);
    next_ += nul ? length + 1 : length;
    return status;
  }

 private:
  const uint8_t* next_;
  const uint8_t* end_;
};
