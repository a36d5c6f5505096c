#pragma once
// The tokens the bench measures on: `certificates` certificates of the bench's own set, the first
// `loose` of them without a container (each with its key pair, so it can be converted), the others
// two to a container (key exchange, then signature), with the container catalog.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kit/SoftToken.h"

struct TokenLayout {
  int certificates = 0;
  int loose = 0;
  int Containers() const { return (certificates - loose + 1) / 2; }
};

class BenchToken {
 public:
  static constexpr CK_SLOT_ID kSlot = 2;
  static constexpr const char* kSerial = "BE0C4A11";
  static constexpr const char* kPassword = "bench-password";

  // `folder` holds bench-01.der, bench-02.der, ... (scripts/bench.sh makes them).
  BenchToken(testkit::SoftToken& soft, std::wstring folder) : soft_(soft), folder_(std::move(folder)) {}

  // Makes the token anew; "" on success, else what failed.
  std::string Make(const TokenLayout& layout);
  // The encoding of certificate `index` (0-based) of the set; empty when it cannot be read.
  std::vector<uint8_t> Certificate(int index) const;

 private:
  testkit::SoftToken& soft_;
  std::wstring folder_;
};
