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

// Register on a certificate without a container converts it first, all of it inside the CSP: the
// new key set (27: the lists, C_Initialize, the slot search, a session, the catalog read, the
// name checked free, the record written, the catalog read twice and rewritten, the session
// closed), then its binding to the certificate's key pair (57: the session logged in, the catalog
// and the new record read, the certificate and private key found by CKA_ID, the label read and
// checked, the record rewritten, the catalog read twice more, the first container's record read,
// logout, close) with each certificate of the catalog's first container read (8: found, value,
// CKA_ID). Registering itself is the store's business and reaches no token.
CallFormula CallFormula::RegisterConverting(const TokenLayout& token, int) {
  const uint64_t first = token.certificates - token.loose >= 2 ? 2 : 1;
  return {"27 + 57 + 8k1", 27 + 57 + 8 * first};
}

// Remove of a certificate in a container of two certificates (without key objects of its own):
// the CSP deletes the container (58: the lists, C_Initialize, the slot search, a session and a
// login, the catalog and the record read, each certificate found by label, its CKA_ID read and
// the objects with that CKA_ID searched, the first one's twice; the record destroyed, the catalog
// read twice and rewritten, the certificates destroyed, logout, close), then the page reads the
// token again without the slot search: C_Initialize, the certificate search, the catalog, each
// remaining container and each certificate a remaining record names (5 each), 4 per row listed.
CallFormula CallFormula::RemoveContainer(const TokenLayout& token, int listed) {
  const TokenLayout after{token.certificates - 2, token.loose};
  return {"58 + 9 + 5(c-1) + 5(n-2) + 4r'",
          58 + 9 + 5 * static_cast<uint64_t>(after.Containers()) + 5 * Named(after) + 4 * Listed(after, listed)};
}

// Import of one PKCS #12 file (one certificate and its key pair): the page reads the token as
// Manage does to find a certificate that is already there, then the import library writes it
// (34: the lists, C_Initialize, the token list twice, a session, the certificate searched by
// value, login, its container name checked free, the catalog read, the certificate, the two keys
// and the container record created, the catalog read twice and rewritten, logout, close), and the
// page reads the password state again (1).
CallFormula CallFormula::Import(const TokenLayout& token, int listed) {
  return {"16 + 5c + 5n + 4r + 34 + 1", Reading(token, listed) + 34 + 1};
}
