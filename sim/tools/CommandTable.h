#pragma once
// The commands of zelt-token: their options, help texts and handlers.
#include <set>
#include <string>

#include "Arguments.h"
#include "tokenkit/Outcome.h"
#include "ToolContext.h"

struct CommandSpec {
  const char* name;
  const char* synopsis;  // the usage line after "zelt-token "
  const char* summary;   // one line for the command list
  const char* details;   // what the command does, option by option
  std::set<std::string> options;
  bool needsLibrary;
  Outcome (*run)(ToolContext& ctx, const Arguments& args);
  Outcome (*runWithoutLibrary)(const Arguments& args);
};

namespace commandtable {

// Null for an unknown name.
const CommandSpec* find(const std::string& name);
// Options that never take a value, across all commands.
const std::set<std::string>& flags();
// Options every command accepts.
const std::set<std::string>& globalOptions();

std::string overview();
std::string details(const CommandSpec& spec);

}  // namespace commandtable
