#include "model/ByteBuffer.h"

#include <cstring>
#include <utility>

ByteBuffer::~ByteBuffer() = default;

void ByteBuffer::clear() {
  bytes_.reset();
  length_ = 0;
  blob_ = {0, nullptr};
}

Status ByteBuffer::assign(const uint8_t* data, uint32_t length) {
  if (!data || length == 0) {
    clear();
    return StatusOk;
  }
  HeapArray<uint8_t> copy = allocateArray<uint8_t>(length);
  if (copy) std::memcpy(copy.get(), data, length);  // before the old bytes go: data may point into them
  clear();
  if (!copy) return StatusOutOfMemory;
  bytes_ = std::move(copy);
  length_ = length;
  return StatusOk;
}

Status ByteBuffer::assign(const ByteBuffer& other) {
  if (&other == this) return StatusOk;
  return assign(other.bytes_.get(), other.length_);
}

DataBlob* ByteBuffer::blob() {
  blob_.cbData = length_;
  blob_.pbData = bytes_.get();
  return &blob_;
}

bool ByteBuffer::operator==(const ByteBuffer& other) const {
  if (!bytes_ || !other.bytes_ || length_ != other.length_) return false;
  return std::memcmp(bytes_.get(), other.bytes_.get(), length_) == 0;
}
