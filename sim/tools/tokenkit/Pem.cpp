#include "tokenkit/Pem.h"

namespace pem {

namespace {
const char kBegin[] = "-----BEGIN ";
const char kEnd[] = "-----END ";
const char kDashes[] = "-----";

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
}  // namespace

bool looksLikePem(const std::vector<uint8_t>& bytes) {
  const std::string text(bytes.begin(), bytes.end());
  return text.find(kBegin) != std::string::npos;
}

bool decodeBase64(const std::string& text, std::vector<uint8_t>* out) {
  out->clear();
  unsigned int buffer = 0;
  int bits = 0, padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const int v = base64Value(c);
    if (v < 0 || padding) return false;  // nothing but padding may follow padding
    buffer = (buffer << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(static_cast<uint8_t>(buffer >> bits));
    }
  }
  return padding <= 2;
}

bool parse(const std::vector<uint8_t>& bytes, std::vector<PemBlock>* blocks, std::string* error) {
  blocks->clear();
  const std::string text(bytes.begin(), bytes.end());
  size_t pos = 0;
  for (;;) {
    const size_t begin = text.find(kBegin, pos);
    if (begin == std::string::npos) break;
    const size_t labelStart = begin + sizeof kBegin - 1;
    const size_t labelEnd = text.find(kDashes, labelStart);
    const size_t lineEnd = text.find('\n', labelStart);
    if (labelEnd == std::string::npos || (lineEnd != std::string::npos && labelEnd > lineEnd)) {
      *error = "a PEM begin line is not closed by \"-----\"";
      return false;
    }
    PemBlock block;
    block.label = text.substr(labelStart, labelEnd - labelStart);
    const size_t bodyStart = labelEnd + sizeof kDashes - 1;
    const std::string endLine = std::string(kEnd) + block.label + kDashes;
    const size_t end = text.find(endLine, bodyStart);
    if (end == std::string::npos) {
      *error = "the PEM block \"" + block.label + "\" has no end line";
      return false;
    }
    std::string body = text.substr(bodyStart, end - bodyStart);
    if (body.find(':') != std::string::npos) {
      *error = "the PEM block \"" + block.label + "\" has headers (an encrypted key?); those are not supported";
      return false;
    }
    if (!decodeBase64(body, &block.der) || block.der.empty()) {
      *error = "the PEM block \"" + block.label + "\" is not valid base64";
      return false;
    }
    blocks->push_back(std::move(block));
    pos = end + endLine.size();
  }
  return true;
}

}  // namespace pem
