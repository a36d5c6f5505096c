#pragma once
// The token's catalog of key containers: a version byte, a byte not
// interpreted here, a 16-bit little-endian name count (at most 100) and that
// many NUL-terminated container names back to back.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "model/TextBuffer.h"

class ContainerCatalog {
 public:
  static constexpr uint16_t MaxNames = 100;

  ContainerCatalog() = default;
  virtual ~ContainerCatalog();
  ContainerCatalog(const ContainerCatalog&) = delete;
  ContainerCatalog& operator=(const ContainerCatalog&) = delete;

  // Reads a catalog object's value. A value shorter than 4 bytes is refused
  // (StatusFail) and leaves the catalog as it was; a count above MaxNames is
  // refused with the header kept and no names; a name that cannot be
  // allocated ends the parse with StatusOutOfMemory, keeping the names before.
  // Only bytes inside the value are read: a name that runs past the end is
  // cut at the end, and names that start at or past the end are empty, so a
  // successful parse always yields count() names.
  Status parse(const uint8_t* value, size_t length);

  // The name under the cursor, or null at the end; restart goes back to the
  // first name first.
  const TextBuffer* nextName(bool restart);

  uint8_t version() const { return version_; }
  uint8_t secondByte() const { return secondByte_; }
  uint16_t count() const { return count_; }

 private:
  struct Name {
    TextBuffer text;
    std::unique_ptr<Name> next;
  };

  uint8_t version_ = 0;
  uint8_t secondByte_ = 0;
  uint16_t count_ = 0;
  std::unique_ptr<Name> first_;
  const Name* cursor_ = nullptr;
};
