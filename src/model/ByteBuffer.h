#pragma once
// An owned heap copy of a byte string with its 32-bit length.
#include <cstdint>
#include "model/HeapArray.h"
#include "model/Status.h"

// A (byte count, pointer) pair laid out as the platform's CRYPT_DATA_BLOB;
// model/ByteBufferBlob.h gives the platform type on Windows.
struct DataBlob {
  uint32_t cbData;
  uint8_t* pbData;
};

class ByteBuffer {
 public:
  ByteBuffer() = default;
  virtual ~ByteBuffer();
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  // Frees the old bytes and copies length bytes of data; null data or a zero
  // length leaves the buffer empty. Failure to allocate also leaves it empty.
  Status assign(const uint8_t* data, uint32_t length);
  // Copying a buffer onto itself does nothing.
  Status assign(const ByteBuffer& other);
  void clear();

  const uint8_t* data() const { return bytes_.get(); }
  uint32_t size() const { return length_; }
  bool empty() const { return length_ == 0; }

  // The blob view, refreshed on every call; it points at this buffer's bytes
  // and is valid until the buffer changes.
  DataBlob* blob();

  // Equal only when both hold data, of the same length and the same bytes:
  // an empty buffer equals nothing, not even another empty one.
  bool operator==(const ByteBuffer& other) const;
  bool operator!=(const ByteBuffer& other) const { return !(*this == other); }

 private:
  HeapArray<uint8_t> bytes_;
  uint32_t length_ = 0;
  DataBlob blob_ = {0, nullptr};
};
