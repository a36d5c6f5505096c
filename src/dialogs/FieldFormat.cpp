#include "dialogs/FieldFormat.h"

#include "model/Status.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

void appendHexByte(std::string& out, uint8_t byte) {
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0x0F]);
}

}  // namespace

namespace FieldFormat {

Status groupedHex(const uint8_t* bytes, uint32_t size, bool lastFirst, TextBuffer& text) {
  text.clear();
  if (!bytes || size == 0) return StatusOk;
  std::string out;
  out.reserve(size * 2 + size / 2);
  for (uint32_t i = 0; i < size; ++i) {
    appendHexByte(out, bytes[lastFirst ? size - 1 - i : i]);
    if (i % 2 == 1 && i + 1 < size) out.push_back(' ');
  }
  return text.assign(out.c_str());
}

std::vector<std::string> hexDumpLines(const uint8_t* bytes, uint32_t size) {
  constexpr uint32_t kBytesPerLine = 18;
  std::vector<std::string> lines;
  std::string line;
  for (uint32_t i = 0; bytes && i < size; ++i) {
    appendHexByte(line, bytes[i]);
    if ((i + 1) % kBytesPerLine == 0) {
      lines.push_back(line);
      line.clear();
    } else if (i % 2 == 1) {
      line.push_back(' ');
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> paneLines(const char* value) {
  std::vector<std::string> lines;
  if (!value) return lines;
  const char* p = value;
  while (*p) {
    if (*p == ',') {
      ++p;
      continue;
    }
    const char* start = p;
    while (*p && *p != ',') ++p;
    while (start < p && *start == ' ') ++start;
    lines.emplace_back(start, p);
  }
  return lines;
}

}  // namespace FieldFormat
