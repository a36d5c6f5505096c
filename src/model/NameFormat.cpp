#include "model/NameFormat.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "model/Status.h"

namespace {

// ASCII only, as the attribute keys are; bytes of other characters match only themselves.
char foldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Position right after the first occurrence of key (upper case), case ignored; null if none.
const char* valueAfter(const char* text, const char* key) {
  const size_t keyLength = std::strlen(key);
  for (const char* p = text; *p; ++p) {
    size_t i = 0;
    while (i < keyLength && p[i] && foldCase(p[i]) == key[i]) ++i;
    if (i == keyLength) return p + keyLength;
  }
  return nullptr;
}

}  // namespace

namespace NameFormat {

int32_t displayNameValue(const char* converted, TextBuffer& text) {
  if (!converted) return StatusPointer;
  const char* start = valueAfter(converted, "CN=");
  if (!start) start = valueAfter(converted, "O=");
  const char* end = nullptr;
  if (!start) {
    start = converted;
  } else {
    end = std::strchr(start, ',');
    if (!end) end = std::strchr(start, '"');
  }
  if (!end) end = start + std::strlen(start);

  // Built aside so that a failed allocation leaves text as it was.
  TextBuffer value;
  const int32_t status = value.assign(start, static_cast<size_t>(end - start));
  if (status == StatusOk) text = std::move(value);
  return status;
}

int32_t serialText(const uint8_t* serial, uint32_t size, TextBuffer& text) {
  text.clear();
  if (!serial || size == 0) return StatusOk;
  static const char digits[] = "0123456789ABCDEF";
  const size_t length = static_cast<size_t>(size) * 2;
  char* hex = static_cast<char*>(std::malloc(length));
  if (!hex) return StatusOutOfMemory;
  for (uint32_t i = 0; i < size; ++i) {
    const uint8_t byte = serial[size - 1 - i];
    hex[2 * i] = digits[byte >> 4];
    hex[2 * i + 1] = digits[byte & 0x0F];
  }
  const int32_t status = text.assign(hex, length);
  std::free(hex);
  return status;
}

int32_t groupSerial(const TextBuffer& serial, TextBuffer& grouped) {
  grouped.clear();
  const size_t length = serial.length();
  if (length == 0) return StatusOk;
  const size_t groupedLength = length + length / 4;
  char* out = static_cast<char*>(std::malloc(groupedLength));
  if (!out) return StatusOutOfMemory;
  const char* in = serial.text();
  size_t o = 0;
  for (size_t i = 0; i < length; ++i) {
    out[o++] = in[i];
    if (i % 4 == 3) out[o++] = ' ';
  }
  const int32_t status = grouped.assign(out, groupedLength);
  std::free(out);
  return status;
}

}  // namespace NameFormat
