#pragma once
// An RSA private key as Cryptoki stores it: unsigned big-endian integers.
#include <cstdint>
#include <string>
#include <vector>

// The private parts are wiped when the key goes.
struct RsaKey {
  RsaKey() = default;
  RsaKey(const RsaKey&) = default;
  RsaKey& operator=(const RsaKey&) = default;
  RsaKey(RsaKey&&) = default;
  RsaKey& operator=(RsaKey&&) = default;
  ~RsaKey();

  std::vector<uint8_t> modulus;
  std::vector<uint8_t> publicExponent;
  std::vector<uint8_t> privateExponent;
  std::vector<uint8_t> prime1;
  std::vector<uint8_t> prime2;
  std::vector<uint8_t> exponent1;
  std::vector<uint8_t> exponent2;
  std::vector<uint8_t> coefficient;

  bool empty() const { return modulus.empty(); }
  // Bits of the modulus.
  unsigned long modulusBits() const;
};

namespace rsakey {

// A PKCS #1 RSAPrivateKey or a PKCS #8 PrivateKeyInfo that holds one, in DER. False with a
// reason for anything else (other algorithms, encrypted keys, malformed input).
bool parsePrivateKey(const std::vector<uint8_t>& der, RsaKey* key, std::string* error);

}  // namespace rsakey
