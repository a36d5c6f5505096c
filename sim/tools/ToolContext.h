#pragma once
// What every command works with: the loaded token library, and the shared steps of finding
// a token, opening a session and logging in, each turned into a clear message on failure.
#include <string>

#include "Arguments.h"
#include "tokenkit/Outcome.h"
#include "tokenkit/TokenSession.h"
#include "tokenkit/CryptokiLibrary.h"

class ToolContext {
 public:
  explicit ToolContext(CryptokiLibrary& library) : library_(library) {}

  CryptokiLibrary& library() { return library_; }
  CK_FUNCTION_LIST_PTR p11() { return library_.p11(); }
  Q_FUNCTION_LIST_PTR vendor() { return library_.vendor(); }

  // The token named by --serial (exact match, blanks trimmed) or --slot.
  Outcome findToken(const Arguments& args, TokenSlot* token);
  // A session on the token, logged in when `password` is given.
  Outcome openSession(const TokenSlot& token, const std::string* password, TokenSession* session);

  static Outcome refused(const std::string& what, CK_RV rv) { return tokenRefused(what, rv); }

 private:
  Outcome loginFailure(const TokenSlot& token, CK_RV rv);

  CryptokiLibrary& library_;
};
