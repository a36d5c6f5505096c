#include "model/NameFormat.h"

#include <cstring>
#include <utility>

#include "model/HeapArray.h"

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

Status displayNameValue(const char* converted, TextBuffer& text) {
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
  const Status status = value.assign(start, static_cast<size_t>(end - start));
  if (status == StatusOk) text = std::move(value);
  return status;
}

Status serialText(const uint8_t* serial, uint32_t size, TextBuffer& text) {
  text.clear();
  if (!serial || size == 0) return StatusOk;
  static const char digits[] = "0123456789ABCDEF";
  const size_t length = static_cast<size_t>(size) * 2;
  HeapArray<char> hex = allocateArray<char>(length);
  if (!hex) return StatusOutOfMemory;
  for (uint32_t i = 0; i < size; ++i) {
    const uint8_t byte = serial[size - 1 - i];
    hex[2 * i] = digits[byte >> 4];
    hex[2 * i + 1] = digits[byte & 0x0F];
  }
  return text.assign(hex.get(), length);
}

Status groupSerial(const TextBuffer& serial, TextBuffer& grouped) {
  grouped.clear();
  const size_t length = serial.length();
  if (length == 0) return StatusOk;
  const size_t groupedLength = length + length / 4;
  HeapArray<char> out = allocateArray<char>(groupedLength);
  if (!out) return StatusOutOfMemory;
  const char* in = serial.text();
  size_t o = 0;
  for (size_t i = 0; i < length; ++i) {
    out[o++] = in[i];
    if (i % 4 == 3) out[o++] = ' ';
  }
  return grouped.assign(out.get(), groupedLength);
}

}  // namespace NameFormat
