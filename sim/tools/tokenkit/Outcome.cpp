#include "tokenkit/Outcome.h"

#include <cstdio>

#include "tokenkit/CryptokiText.h"

std::string quoted(const std::string& text) {
  std::string q = "\"";
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      q += escape;
    } else if (c == '"' || c == '\\') {
      q += '\\';
      q += static_cast<char>(c);
    } else {
      q += static_cast<char>(c);
    }
  }
  return q + "\"";
}

Outcome tokenRefused(const std::string& what, CK_RV rv) {
  std::string text = what + " failed: " + cryptokitext::returnValueName(rv);
  const std::string words = cryptokitext::returnValueDescription(rv);
  if (!words.empty()) text += " (" + words + ")";
  ExitCode code = ExitCode::TokenRefused;
  if (rv == CKR_PIN_INCORRECT || rv == CKR_PIN_LOCKED) code = ExitCode::Password;
  if (rv == CKR_TOKEN_NOT_PRESENT || rv == CKR_SLOT_ID_INVALID || rv == CKR_DEVICE_REMOVED)
    code = ExitCode::UnknownToken;
  return Outcome::refusedBy(code, text, rv);
}
