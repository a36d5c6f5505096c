// Everything one token keeps between processes, and its file format.
// Pure code: no Windows headers, so the format can be checked natively too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace softtoken {

struct StoredAttribute {
  uint32_t type = 0;
  std::vector<uint8_t> value;
};

struct StoredObject {
  uint32_t id = 0;  // stable across processes; object handles are built from it
  std::vector<StoredAttribute> attributes;

  const StoredAttribute *find(uint32_t type) const;
  StoredAttribute *find(uint32_t type);
  void set(uint32_t type, std::vector<uint8_t> value);
};

struct PinRecord {
  bool isSet = false;
  bool locked = false;
  uint32_t limit = 5;
  uint32_t failures = 0;
  std::string value;

  // A wrong attempt: counts it and locks when the limit is reached.
  void fail();
  void succeed() { failures = 0; }
  void reset(const std::string &newValue);
  uint32_t triesLeft() const { return locked || failures >= limit ? 0 : limit - failures; }
};

class TokenImage {
 public:
  static constexpr uint32_t kFormatVersion = 1;

  uint64_t uid = 0;         // identity of this token; a new token in the slot gets a new one
  uint64_t generation = 0;  // grows with every write
  std::string serial;       // 1..16 bytes
  std::string label;        // 0..32 bytes
  uint32_t minPinLen = 4;
  uint32_t maxPinLen = 64;
  PinRecord soPin;
  PinRecord userPin;
  PinRecord devicePin;
  std::string devicePuk;
  uint32_t nextObjectId = 1;
  std::vector<StoredObject> objects;

  StoredObject *findObject(uint32_t id);

  std::vector<uint8_t> encode() const;
  // False for anything that is not a whole, unaltered image of the current format.
  static bool decode(const uint8_t *data, size_t size, TokenImage &out);
};

uint32_t crc32(const uint8_t *data, size_t size);

}  // namespace softtoken
