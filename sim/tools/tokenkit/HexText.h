#pragma once
// Hexadecimal text of byte strings, as the tools print and accept them.
#include <cstdint>
#include <string>
#include <vector>

namespace hextext {

// Lower-case pairs without separators.
std::string encode(const uint8_t* data, size_t size);
inline std::string encode(const std::vector<uint8_t>& bytes) { return encode(bytes.data(), bytes.size()); }

// A 32-bit code as "0x" and eight upper-case digits, as error codes are shown.
std::string code(unsigned long value);

// Accepts pairs of hex digits, optionally separated by ':' or blanks and with a leading "0x".
// False for an odd digit count or any other character.
bool decode(const std::string& text, std::vector<uint8_t>* bytes);

}  // namespace hextext
