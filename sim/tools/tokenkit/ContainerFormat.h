#pragma once
// The CSP's container catalog and container records as token data objects carry them.
//
// Catalog value: version (1 byte), a reserved byte (0), the name count N (16-bit
// little-endian, at most 100), then N NUL-terminated names back to back.
// Record value: version (1 byte), a reserved byte (0), then for version >= 1 three
// NUL-terminated strings (two the CSP keeps for itself, then the label of the key-exchange
// certificate) and for version >= 2 a fourth (the label of the signature certificate).
// Values are at least 4 bytes long; shorter ones are padded with zeros.
#include <cstdint>
#include <string>
#include <vector>

namespace containerformat {

// Label of the catalog object: the name and the byte 0x07 (the NUL is added when stored).
extern const char kCatalogLabel[];
constexpr unsigned kMaxNames = 100;
constexpr uint8_t kCatalogVersion = 1;
constexpr uint8_t kRecordVersion = 2;

struct RecordFields {
  uint8_t version = kRecordVersion;
  std::string field1;
  std::string field2;
  std::string exchangeCertLabel;
  std::string signatureCertLabel;
};

std::vector<uint8_t> buildCatalog(uint8_t version, const std::vector<std::string>& names);
// False when the value is shorter than 4 bytes, declares more than kMaxNames names or a name
// runs past its end.
bool readCatalog(const std::vector<uint8_t>& value, uint8_t* version, std::vector<std::string>* names);

std::vector<uint8_t> buildRecord(const RecordFields& fields);
// False when the value is shorter than 4 bytes; strings cut by the value's end are kept cut.
bool readRecord(const std::vector<uint8_t>& value, RecordFields* fields);

}  // namespace containerformat
