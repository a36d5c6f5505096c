#pragma once
// How a Cryptoki return value becomes the 32-bit result of an operation:
// 0 stays 0, a value with bit 0x08000000 passes unchanged, any other value is
// combined with 0xB0010000 (so CKR_PIN_INCORRECT 0xA0 becomes 0xB00100A0).
#include <cstdint>

constexpr int32_t MapCkResult(unsigned long rv) {
  return rv == 0 ? 0
                 : static_cast<int32_t>((rv & 0x08000000UL) ? rv : (rv | 0xB0010000UL));
}
