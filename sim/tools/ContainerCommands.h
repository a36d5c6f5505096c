#pragma once
// Commands on the CSP's container catalog and container records.
#include "Arguments.h"
#include "tokenkit/Outcome.h"
#include "ToolContext.h"

class ContainerCommands {
 public:
  static Outcome catalog(ToolContext& ctx, const Arguments& args);
  static Outcome container(ToolContext& ctx, const Arguments& args);
};

// A --version value: 0..255.
Outcome versionOption(const Arguments& args, uint8_t fallback, uint8_t* version);
