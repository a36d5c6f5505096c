#pragma once
// Reads DER elements (tag, definite length, contents) strictly within a byte range.
#include <cstddef>
#include <cstdint>
#include <vector>

class DerReader {
 public:
  DerReader() = default;
  DerReader(const uint8_t* data, size_t size) : next_(data), end_(data + size) {}

  bool atEnd() const { return next_ == end_; }
  // Bytes from the current position to the end.
  size_t remaining() const { return static_cast<size_t>(end_ - next_); }

  // Reads one element: its single-byte tag and a reader over its contents. False when the
  // element is malformed or runs past the end; the reader does not move then.
  bool next(uint8_t* tag, DerReader* contents);
  // Reads one element and checks its tag.
  bool expect(uint8_t tag, DerReader* contents);
  // Reads a non-negative INTEGER as an unsigned big-endian magnitude without leading zeros
  // (zero becomes one 0 byte). False for a negative number or another tag.
  bool readUnsigned(std::vector<uint8_t>* magnitude);

  const uint8_t* data() const { return next_; }

 private:
  const uint8_t* next_ = nullptr;
  const uint8_t* end_ = nullptr;
};

namespace dertag {
constexpr uint8_t Integer = 0x02;
constexpr uint8_t OctetString = 0x04;
constexpr uint8_t Null = 0x05;
constexpr uint8_t ObjectId = 0x06;
constexpr uint8_t Sequence = 0x30;
}  // namespace dertag
