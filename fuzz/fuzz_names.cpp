// Feeds arbitrary converted names to the display-name extraction and
// arbitrary serial blobs to the serial formatting, checking the shapes of
// their results.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "model/NameFormat.h"
#include "model/Status.h"
#include "model/TextBuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char* converted = new char[size + 1];
  std::memcpy(converted, data, size);
  converted[size] = '\0';

  TextBuffer display;
  if (NameFormat::displayNameValue(converted, display) != StatusOk) __builtin_trap();
  // The display name is always a piece of the converted string.
  if (!display.empty() && !std::strstr(converted, display.text())) __builtin_trap();
  delete[] converted;

  if (size > UINT32_MAX) return 0;
  TextBuffer serial;
  if (NameFormat::serialText(data, static_cast<uint32_t>(size), serial) != StatusOk) __builtin_trap();
  if (serial.length() != 2 * size) __builtin_trap();
  for (size_t i = 0; i < size; ++i) {
    static const char digits[] = "0123456789ABCDEF";
    const uint8_t byte = data[size - 1 - i];
    if (serial.text()[2 * i] != digits[byte >> 4] || serial.text()[2 * i + 1] != digits[byte & 15])
      __builtin_trap();
  }

  TextBuffer grouped;
  if (NameFormat::groupSerial(serial, grouped) != StatusOk) __builtin_trap();
  const size_t digitsCount = serial.length();
  if (grouped.length() != digitsCount + digitsCount / 4) __builtin_trap();
  for (size_t i = 0, d = 0; i < grouped.length(); ++i) {
    const bool spacePlace = (i % 5) == 4;
    if (spacePlace != (grouped.text()[i] == ' ')) __builtin_trap();
    if (!spacePlace && grouped.text()[i] != serial.text()[d++]) __builtin_trap();
  }
  return 0;
}
