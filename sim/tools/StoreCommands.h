#pragma once
// Registers or unregisters a certificate with the current user's "MY" store, as the page's
// Register does, so that a token certificate can start out registered.
#include "Arguments.h"
#include "tokenkit/Outcome.h"

class StoreCommands {
 public:
  static Outcome registerMy(const Arguments& args);
  static Outcome unregisterMy(const Arguments& args);
};
