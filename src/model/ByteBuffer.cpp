#include "model/ByteBuffer.h"

#include <cstdlib>
#include <cstring>

#include "model/Status.h"

ByteBuffer::~ByteBuffer() { std::free(bytes_); }

void ByteBuffer::clear() {
  std::free(bytes_);
  bytes_ = nullptr;
  length_ = 0;
  blob_ = {0, nullptr};
}

int32_t ByteBuffer::assign(const uint8_t* data, uint32_t length) {
  if (!data || length == 0) {
    clear();
    return StatusOk;
  }
  uint8_t* copy = static_cast<uint8_t*>(std::malloc(length));
  if (copy) std::memcpy(copy, data, length);  // before the old bytes go: data may point into them
  clear();
  if (!copy) return StatusOutOfMemory;
  bytes_ = copy;
  length_ = length;
  return StatusOk;
}

int32_t ByteBuffer::assign(const ByteBuffer& other) {
  if (&other == this) return StatusOk;
  return assign(other.bytes_, other.length_);
}

DataBlob* ByteBuffer::blob() {
  blob_.cbData = length_;
  blob_.pbData = bytes_;
  return &blob_;
}

bool ByteBuffer::operator==(const ByteBuffer& other) const {
  if (!bytes_ || !other.bytes_ || length_ != other.length_) return false;
  return std::memcmp(bytes_, other.bytes_, length_) == 0;
}
