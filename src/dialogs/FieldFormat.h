#pragma once
// Text forms of the certificate details dialog that need no platform call:
// bytes as grouped hex, the hex dump of a row's bytes, and a value split into
// the lines of the value pane.
#include <cstdint>
#include <string>
#include <vector>

#include "model/TextBuffer.h"

namespace FieldFormat {

// Two upper-case hex digits per byte, a blank after every second byte but
// the last: 20 bytes give ten groups of four. lastFirst takes the bytes from
// the end (an integer stored least significant byte first). Empty for no bytes.
Status groupedHex(const uint8_t* bytes, uint32_t size, bool lastFirst, TextBuffer& text);

// Grouped hex in lines of 18 bytes; a full line has no blank at its end, the
// last shorter line keeps the blank after its last pair.
std::vector<std::string> hexDumpLines(const uint8_t* bytes, uint32_t size);

// The value split at every ',' (runs of commas give no empty pieces), each
// piece without its leading blanks; a piece of blanks gives an empty line.
std::vector<std::string> paneLines(const char* value);

}  // namespace FieldFormat
