#include "tokenkit/DerReader.h"

bool DerReader::next(uint8_t* tag, DerReader* contents) {
  const size_t available = remaining();
  if (available < 2) return false;
  const uint8_t t = next_[0];
  if ((t & 0x1F) == 0x1F) return false;  // multi-byte tags do not occur in keys
  size_t length = next_[1];
  size_t header = 2;
  if (length & 0x80) {
    const size_t count = length & 0x7F;
    if (count == 0 || count > 4 || available < 2 + count) return false;  // indefinite or huge
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | next_[2 + i];
    header += count;
  }
  if (length > available - header) return false;
  *tag = t;
  *contents = DerReader(next_ + header, length);
  next_ += header + length;
  return true;
}

bool DerReader::expect(uint8_t tag, DerReader* contents) {
  DerReader saved = *this;
  uint8_t t = 0;
  if (!next(&t, contents)) return false;
  if (t != tag) {
    *this = saved;
    return false;
  }
  return true;
}

bool DerReader::readUnsigned(std::vector<uint8_t>* magnitude) {
  DerReader saved = *this;
  DerReader value;
  if (!expect(dertag::Integer, &value) || value.atEnd() || (value.next_[0] & 0x80)) {
    *this = saved;
    return false;
  }
  const uint8_t* p = value.next_;
  while (p + 1 < value.end_ && *p == 0) ++p;
  magnitude->assign(p, value.end_);
  return true;
}
