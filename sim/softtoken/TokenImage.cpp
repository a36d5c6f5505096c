#include "TokenImage.h"

#include <cstring>

namespace softtoken {

namespace {

// File layout, little-endian throughout:
//   "ZTOKEN\r\n"  u32 format version  u32 payload length  payload  u32 CRC-32 of all before it
// The CR LF in the magic catches text-mode transfers; the CRC catches flips and truncation.
const char kMagic[8] = {'Z', 'T', 'O', 'K', 'E', 'N', '\r', '\n'};
constexpr size_t kHeaderSize = 8 + 4 + 4;
constexpr uint32_t kMaxObjects = 100000;
constexpr uint32_t kMaxAttributes = 1000;

class Writer {
 public:
  void u8(uint8_t v) { bytes_.push_back(v); }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void u64(uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void blob(const uint8_t *p, size_t n) {
    u32(static_cast<uint32_t>(n));
    bytes_.insert(bytes_.end(), p, p + n);
  }
  void text(const std::string &s) { blob(reinterpret_cast<const uint8_t *>(s.data()), s.size()); }
  void pin(const PinRecord &p) {
    u8(p.isSet ? 1 : 0);
    u8(p.locked ? 1 : 0);
    u32(p.limit);
    u32(p.failures);
    text(p.value);
  }
  std::vector<uint8_t> &bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

class Reader {
 public:
  Reader(const uint8_t *p, size_t n) : p_(p), n_(n) {}
  bool u8(uint8_t &v) {
    if (n_ - pos_ < 1) return false;
    v = p_[pos_++];
    return true;
  }
  bool u32(uint32_t &v) {
    if (n_ - pos_ < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(p_[pos_ + i]) << (8 * i);
    pos_ += 4;
    return true;
  }
  bool u64(uint64_t &v) {
    if (n_ - pos_ < 8) return false;
    v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(p_[pos_ + i]) << (8 * i);
    pos_ += 8;
    return true;
  }
  bool blob(std::vector<uint8_t> &v) {
    uint32_t len;
    if (!u32(len) || n_ - pos_ < len) return false;
    v.assign(p_ + pos_, p_ + pos_ + len);
    pos_ += len;
    return true;
  }
  bool text(std::string &s, size_t maxLen) {
    std::vector<uint8_t> v;
    if (!blob(v) || v.size() > maxLen) return false;
    s.assign(v.begin(), v.end());
    return true;
  }
  bool flag(bool &b) {
    uint8_t v;
    if (!u8(v) || v > 1) return false;
    b = v != 0;
    return true;
  }
  bool pin(PinRecord &p) {
    return flag(p.isSet) && flag(p.locked) && u32(p.limit) && u32(p.failures) && text(p.value, 255) &&
           p.limit >= 1 && p.limit <= 255;
  }
  bool atEnd() const { return pos_ == n_; }

 private:
  const uint8_t *p_;
  size_t n_;
  size_t pos_ = 0;
};

}  // namespace

uint32_t crc32(const uint8_t *data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

const StoredAttribute *StoredObject::find(uint32_t type) const {
  for (const auto &a : attributes)
    if (a.type == type) return &a;
  return nullptr;
}

StoredAttribute *StoredObject::find(uint32_t type) {
  for (auto &a : attributes)
    if (a.type == type) return &a;
  return nullptr;
}

void StoredObject::set(uint32_t type, std::vector<uint8_t> value) {
  if (StoredAttribute *a = find(type)) {
    a->value = std::move(value);
    return;
  }
  attributes.push_back(StoredAttribute{type, std::move(value)});
}

void PinRecord::fail() {
  if (failures < limit) ++failures;
  if (failures >= limit) locked = true;
}

void PinRecord::reset(const std::string &newValue) {
  isSet = true;
  value = newValue;
  failures = 0;
  locked = false;
}

StoredObject *TokenImage::findObject(uint32_t id) {
  for (auto &o : objects)
    if (o.id == id) return &o;
  return nullptr;
}

std::vector<uint8_t> TokenImage::encode() const {
  Writer body;
  body.u64(uid);
  body.u64(generation);
  body.text(serial);
  body.text(label);
  body.u32(minPinLen);
  body.u32(maxPinLen);
  body.pin(soPin);
  body.pin(userPin);
  body.pin(devicePin);
  body.text(devicePuk);
  body.u32(nextObjectId);
  body.u32(static_cast<uint32_t>(objects.size()));
  for (const auto &o : objects) {
    body.u32(o.id);
    body.u32(static_cast<uint32_t>(o.attributes.size()));
    for (const auto &a : o.attributes) {
      body.u32(a.type);
      body.blob(a.value.data(), a.value.size());
    }
  }

  Writer file;
  for (char c : kMagic) file.u8(static_cast<uint8_t>(c));
  file.u32(kFormatVersion);
  file.u32(static_cast<uint32_t>(body.bytes().size()));
  file.bytes().insert(file.bytes().end(), body.bytes().begin(), body.bytes().end());
  file.u32(crc32(file.bytes().data(), file.bytes().size()));
  return std::move(file.bytes());
}

bool TokenImage::decode(const uint8_t *data, size_t size, TokenImage &out) {
  if (!data || size < kHeaderSize + 4 || std::memcmp(data, kMagic, sizeof kMagic) != 0) return false;
  Reader header(data + 8, 8);
  uint32_t version = 0, length = 0;
  header.u32(version);
  header.u32(length);
  if (version != kFormatVersion || length != size - kHeaderSize - 4) return false;
  Reader trailer(data + size - 4, 4);
  uint32_t storedCrc = 0;
  trailer.u32(storedCrc);
  if (crc32(data, size - 4) != storedCrc) return false;

  TokenImage t;
  Reader r(data + kHeaderSize, length);
  uint32_t count = 0;
  if (!(r.u64(t.uid) && r.u64(t.generation) && r.text(t.serial, 16) && r.text(t.label, 32) &&
        r.u32(t.minPinLen) && r.u32(t.maxPinLen) && r.pin(t.soPin) && r.pin(t.userPin) &&
        r.pin(t.devicePin) && r.text(t.devicePuk, 255) && r.u32(t.nextObjectId) && r.u32(count)))
    return false;
  if (t.serial.empty() || t.minPinLen > t.maxPinLen || count > kMaxObjects) return false;
  for (uint32_t i = 0; i < count; ++i) {
    StoredObject o;
    uint32_t attrCount = 0;
    if (!r.u32(o.id) || !r.u32(attrCount) || attrCount > kMaxAttributes || o.id == 0 ||
        o.id >= t.nextObjectId)
      return false;
    for (uint32_t k = 0; k < attrCount; ++k) {
      StoredAttribute a;
      if (!r.u32(a.type) || !r.blob(a.value)) return false;
      o.attributes.push_back(std::move(a));
    }
    t.objects.push_back(std::move(o));
  }
  if (!r.atEnd()) return false;
  out = std::move(t);
  return true;
}

}  // namespace softtoken
