// Feeds arbitrary converted names to the display-name extraction and arbitrary serial blobs
// to the serial formatting, checking the shapes of their results.
#include <cstdint>
#include <cstring>
#include <string>

#include "model/NameFormat.h"
#include "model/Status.h"
#include "model/TextBuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string converted(reinterpret_cast<const char*>(data), size);
  TextBuffer display;
  if (NameFormat::displayNameValue(converted.c_str(), display) != StatusOk) __builtin_trap();
  // The display name is always a piece of the converted string.
  if (!display.empty() && !std::strstr(converted.c_str(), display.text())) __builtin_trap();

  if (size > UINT32_MAX) return 0;
  TextBuffer serial, grouped;
  if (NameFormat::serialText(data, static_cast<uint32_t>(size), serial) != StatusOk) __builtin_trap();
  if (serial.length() != 2 * size || std::strspn(serial.text(), "0123456789ABCDEF") != serial.length())
    __builtin_trap();
  if (NameFormat::groupSerial(serial, grouped) != StatusOk) __builtin_trap();
  if (grouped.length() != serial.length() + serial.length() / 4) __builtin_trap();
  for (size_t i = 0; i < grouped.length(); ++i) {
    if ((i % 5 == 4) != (grouped.text()[i] == ' ')) __builtin_trap();
  }
  return 0;
}
