#include "tokenkit/ContainerFormat.h"

#include <cstring>

namespace containerformat {

const char kCatalogLabel[] = "QCspRSAContainerCatalog\x07";

namespace {

void appendString(std::vector<uint8_t>* out, const std::string& s) {
  out->insert(out->end(), s.begin(), s.end());
  out->push_back(0);
}

// The string from *pos up to its NUL; false when no NUL comes before the end.
bool takeString(const std::vector<uint8_t>& value, size_t* pos, std::string* s) {
  if (*pos >= value.size()) return false;
  const void* nul = std::memchr(value.data() + *pos, 0, value.size() - *pos);
  const size_t end = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - value.data()) : value.size();
  s->assign(reinterpret_cast<const char*>(value.data()) + *pos, end - *pos);
  *pos = end + 1;
  return nul != nullptr;
}

void padToMinimum(std::vector<uint8_t>* value) {
  while (value->size() < 4) value->push_back(0);
}

}  // namespace

std::vector<uint8_t> buildCatalog(uint8_t version, const std::vector<std::string>& names) {
  std::vector<uint8_t> value = {version, 0, static_cast<uint8_t>(names.size() & 0xFF),
                                static_cast<uint8_t>(names.size() >> 8)};
  for (const std::string& n : names) appendString(&value, n);
  return value;
}

bool readCatalog(const std::vector<uint8_t>& value, uint8_t* version, std::vector<std::string>* names) {
  names->clear();
  if (value.size() < 4) return false;
  *version = value[0];
  const unsigned count = value[2] | static_cast<unsigned>(value[3]) << 8;
  if (count > kMaxNames) return false;
  size_t pos = 4;
  for (unsigned i = 0; i < count; ++i) {
    std::string name;
    if (!takeString(value, &pos, &name)) return false;
    names->push_back(name);
  }
  return true;
}

std::vector<uint8_t> buildRecord(const RecordFields& fields) {
  std::vector<uint8_t> value = {fields.version, 0};
  if (fields.version >= 1) {
    appendString(&value, fields.field1);
    appendString(&value, fields.field2);
    appendString(&value, fields.exchangeCertLabel);
  }
  if (fields.version >= 2) appendString(&value, fields.signatureCertLabel);
  padToMinimum(&value);
  return value;
}

bool readRecord(const std::vector<uint8_t>& value, RecordFields* fields) {
  if (value.size() < 4) return false;
  RecordFields f;
  f.version = value[0];
  size_t pos = 2;
  if (f.version >= 1) {
    takeString(value, &pos, &f.field1);
    takeString(value, &pos, &f.field2);
    takeString(value, &pos, &f.exchangeCertLabel);
  }
  if (f.version >= 2) takeString(value, &pos, &f.signatureCertLabel);
  *fields = f;
  return true;
}

}  // namespace containerformat
