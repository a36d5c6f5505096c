#include "CallFormula.h"

#include <algorithm>

namespace {

// Certificates that a container record names (key exchange and signature).
uint64_t Named(const TokenLayout& token) { return static_cast<uint64_t>(token.certificates - token.loose); }
uint64_t Listed(const TokenLayout& token, int listed) {
  return static_cast<uint64_t>(std::min(token.certificates, listed));
}

// Reading the token as Manage does, with the page's session of the last reading still open:
// C_Initialize; the slot search (C_GetSlotList twice, C_GetTokenInfo for the one token);
// C_CloseSession, C_CloseAllSessions, C_OpenSession; C_Initialize; the certificate search
// (FindObjectsInit, FindObjects, FindObjectsFinal); the catalog found (3) and read (size, value);
// the same 5 for each container's record and for each certificate a record names; then per row
// listed its value and its CKA_ID (2 each).
uint64_t Reading(const TokenLayout& token, int listed) {
  return 16 + 5 * static_cast<uint64_t>(token.Containers()) + 5 * Named(token) + 4 * Listed(token, listed);
}

}  // namespace

CallFormula CallFormula::Activation(const TokenLayout&) {
  // The library's two list exports, C_Initialize, C_GetSlotList twice, C_GetTokenInfo for the one
  // token present, Q_GetPinStatus.
  return {"7", 7};
}

CallFormula CallFormula::Manage(const TokenLayout& token, int listed) {
  return {"16 + 5c + 5n + 4r", Reading(token, listed)};
}

CallFormula CallFormula::RegisterConverting(const TokenLayout& token, int listed) {
  return {"?", Reading(token, listed) * 0};
}

CallFormula CallFormula::RemoveContainer(const TokenLayout& token, int listed) {
  return {"?", Reading(token, listed) * 0};
}

CallFormula CallFormula::Import(const TokenLayout& token, int listed) {
  return {"?", Reading(token, listed) * 0};
}
