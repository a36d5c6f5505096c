#pragma once
// PEM text: "-----BEGIN <label>-----", base64 lines, "-----END <label>-----".
#include <cstdint>
#include <string>
#include <vector>

struct PemBlock {
  std::string label;  // "CERTIFICATE", "PRIVATE KEY", ...
  std::vector<uint8_t> der;
};

namespace pem {

// Whether the bytes hold a PEM begin line anywhere.
bool looksLikePem(const std::vector<uint8_t>& bytes);

// Every block in file order; text around the blocks is ignored. False with a reason for a
// block without its end line, with a mismatched end label or with invalid base64.
bool parse(const std::vector<uint8_t>& bytes, std::vector<PemBlock>* blocks, std::string* error);

// Standard base64; blanks and line breaks are skipped. False for any other stray character.
bool decodeBase64(const std::string& text, std::vector<uint8_t>* out);

}  // namespace pem
