#pragma once
// Descriptions of the error codes that the page asks the host about: Cryptoki return values
// as the page maps them (0xB001xxxx), and the platform's codes (HRESULTs and Win32 errors).
#include <windows.h>

#include <string>

namespace errortext {

// Bits that mark a Cryptoki return value mapped into a 32-bit result.
constexpr DWORD kCryptokiMark = 0xB0010000;

// The page's mapping of a Cryptoki return value: 0 stays 0, values with bit 0x08000000 pass
// unchanged, the others are combined with kCryptokiMark.
HRESULT fromCryptoki(unsigned long rv);

// A sentence or two in words, ending with the code; empty when nothing is known of the code.
std::wstring describe(HRESULT code);

}  // namespace errortext
