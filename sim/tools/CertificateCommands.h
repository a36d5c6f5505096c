#pragma once
// Adds a certificate with its key pair to a token, optionally bound to a CSP container.
#include "Arguments.h"
#include "tokenkit/Outcome.h"
#include "ToolContext.h"

class CertificateCommands {
 public:
  static Outcome add(ToolContext& ctx, const Arguments& args);
};
