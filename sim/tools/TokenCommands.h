#pragma once
// Commands on whole tokens: list, create, delete, and locking or unlocking their PINs.
#include "Arguments.h"
#include "tokenkit/Outcome.h"
#include "ToolContext.h"

class TokenCommands {
 public:
  static Outcome list(ToolContext& ctx, const Arguments& args);
  static Outcome create(ToolContext& ctx, const Arguments& args);
  static Outcome remove(ToolContext& ctx, const Arguments& args);
  static Outcome lock(ToolContext& ctx, const Arguments& args);
  static Outcome unlock(ToolContext& ctx, const Arguments& args);

 private:
  static Outcome setLock(ToolContext& ctx, const Arguments& args, bool locked);
};
