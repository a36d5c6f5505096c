#pragma once
// Result of one tool command: success, or the exit code and the sentence that explains it.
#include <string>
#include <utility>

#include "cryptoki/Pkcs11.h"

// Exit codes of zelt-token, as its help text lists them.
enum class ExitCode : int {
  Ok = 0,
  Usage = 1,         // unknown command or option, missing or malformed value
  BadInput = 2,      // a file or value that cannot be used
  UnknownToken = 3,  // no token with that serial, or an empty slot
  Password = 4,      // wrong or blocked password
  TokenRefused = 5,  // the token library refused a call
  NoLibrary = 6,     // the token library cannot be loaded
  Conflict = 7,      // the change would clash with what is already there
  System = 8,        // a platform call failed (files, certificate store)
};

class Outcome {
 public:
  static Outcome ok() { return Outcome(ExitCode::Ok, std::string()); }
  static Outcome fail(ExitCode code, std::string message) { return Outcome(code, std::move(message)); }
  // A failure because the token library answered rv.
  static Outcome refusedBy(ExitCode code, std::string message, CK_RV rv) {
    Outcome o(code, std::move(message));
    o.tokenValue_ = rv;
    return o;
  }

  bool failed() const { return code_ != ExitCode::Ok; }
  ExitCode code() const { return code_; }
  const std::string& message() const { return message_; }
  // The token library's answer behind the failure, CKR_OK when the library did not refuse.
  CK_RV tokenValue() const { return tokenValue_; }

 private:
  Outcome(ExitCode code, std::string message) : code_(code), message_(std::move(message)) {}
  ExitCode code_;
  std::string message_;
  CK_RV tokenValue_ = CKR_OK;
};

// "<what> failed: CKR_X (description)" with the exit code that fits the value.
Outcome tokenRefused(const std::string& what, CK_RV rv);

// Quotes a text for messages: "name" with control bytes escaped.
std::string quoted(const std::string& text);
