#pragma once
// Text forms of certificate data that need no platform call: the short
// display name taken from a converted distinguished name, and the serial
// number as hex digits, plain and grouped.
#include <cstdint>

#include "model/TextBuffer.h"

namespace NameFormat {

// From a name converted to "C=US, O=Example, CN=Jane Doe" form: the value of
// the first "CN=" (case ignored), else of the first "O=", else the whole
// string. The value ends at the first ',' after it, else at the first '"',
// else at the end. On failure text is left as it was.
Status displayNameValue(const char* converted, TextBuffer& text);

// The serial number's integer blob (least significant byte first) as
// upper-case hex, most significant byte first, every byte printed.
Status serialText(const uint8_t* serial, uint32_t size, TextBuffer& text);

// serial with a space after every fourth character; empty for an empty serial.
Status groupSerial(const TextBuffer& serial, TextBuffer& grouped);

}  // namespace NameFormat
