#pragma once
// Commands on single token objects: list them with their attributes, add raw ones, remove one.
#include "Arguments.h"
#include "tokenkit/Outcome.h"
#include "ToolContext.h"

class ObjectCommands {
 public:
  static Outcome list(ToolContext& ctx, const Arguments& args);
  static Outcome add(ToolContext& ctx, const Arguments& args);
  static Outcome remove(ToolContext& ctx, const Arguments& args);
};
