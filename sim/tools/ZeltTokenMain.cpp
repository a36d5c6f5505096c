// zelt-token: the provisioning tool of the software token. See CommandTable.cpp for the
// commands and `zelt-token --help` for how to use it.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Arguments.h"
#include "CommandTable.h"
#include "tokenkit/CredentialLoader.h"
#include "ToolContext.h"
#include "tokenkit/CryptokiLibrary.h"
#include "tokenkit/CryptokiText.h"
#include "tokenkit/WideText.h"

namespace {

int finish(const Outcome& outcome, const std::string& where = std::string()) {
  if (outcome.failed()) std::fprintf(stderr, "zelt-token: %s%s\n", where.c_str(), outcome.message().c_str());
  std::fflush(stdout);
  return static_cast<int>(outcome.code());
}

Outcome checkOptions(const CommandSpec& spec, const Arguments& args) {
  std::set<std::string> allowed = spec.options;
  allowed.insert(commandtable::globalOptions().begin(), commandtable::globalOptions().end());
  const std::string unknown = args.firstUnknown(allowed);
  if (!unknown.empty())
    return Outcome::fail(ExitCode::Usage, "the command " + std::string(spec.name) + " has no option --" + unknown +
                                              " (see zelt-token " + spec.name + " --help)");
  const bool takesFile = std::string(spec.name) == "batch";
  if (!args.positionals().empty() && !(takesFile && args.positionals().size() == 1))
    return Outcome::fail(ExitCode::Usage, "unexpected word " + quoted(args.positionals()[takesFile ? 1 : 0]) +
                                              " after the command " + spec.name);
  if (takesFile && args.positionals().empty()) return Outcome::fail(ExitCode::Usage, "batch needs the name of a file");
  return Outcome::ok();
}

Outcome runOne(ToolContext* ctx, const CommandSpec& spec, const Arguments& args) {
  if (spec.runWithoutLibrary) return spec.runWithoutLibrary(args);
  return spec.run(*ctx, args);
}

Outcome runLine(ToolContext& ctx, const std::vector<std::string>& words) {
  Arguments args;
  std::string error;
  if (!Arguments::parse(words, commandtable::flags(), &args, &error)) return Outcome::fail(ExitCode::Usage, error);
  const CommandSpec* spec = commandtable::find(args.command());
  if (!spec) return Outcome::fail(ExitCode::Usage, "unknown command " + quoted(args.command()));
  if (std::string(spec->name) == "batch") return Outcome::fail(ExitCode::Usage, "a batch file cannot run another batch");
  if (args.has("dir") || args.has("library") || args.has("help") || args.has("keep-going"))
    return Outcome::fail(ExitCode::Usage, "--dir, --library, --help and --keep-going belong on the batch command itself");
  Outcome r = checkOptions(*spec, args);
  if (r.failed()) return r;
  return runOne(&ctx, *spec, args);
}

// Runs the lines of a batch file. Without keepGoing it stops at the first failure; with it,
// it runs every line, reports each line's exit code and ends with the first failure's.
Outcome runBatch(ToolContext& ctx, const std::string& path, bool keepGoing, std::string* where) {
  std::vector<uint8_t> bytes;
  Outcome r = CredentialLoader::readFile(widetext::fromUtf8(path), &bytes);
  if (r.failed()) return r;
  std::istringstream lines(std::string(bytes.begin(), bytes.end()));
  std::string line;
  Outcome first = Outcome::ok();
  for (int number = 1; std::getline(lines, line); ++number) {
    *where = "line " + std::to_string(number) + " of " + path + ": ";
    std::vector<std::string> words;
    std::string error;
    if (!splitCommandLine(line, &words, &error)) {
      r = Outcome::fail(ExitCode::Usage, error);
    } else if (words.empty() || words[0][0] == '#') {
      continue;
    } else {
      r = runLine(ctx, words);
    }
    if (!keepGoing) {
      if (r.failed()) return r;
      continue;
    }
    if (r.failed()) std::fprintf(stderr, "zelt-token: %s%s\n", where->c_str(), r.message().c_str());
    std::printf("batch: line %d: exit code %d\n", number, static_cast<int>(r.code()));
    std::fflush(stdout);
    if (r.failed() && !first.failed()) first = Outcome::fail(r.code(), "line " + std::to_string(number) + " failed first");
  }
  where->clear();
  return first;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(widetext::toUtf8(argv[i]));
  Arguments args;
  std::string error;
  if (!Arguments::parse(words, commandtable::flags(), &args, &error)) return finish(Outcome::fail(ExitCode::Usage, error));

  if (args.command().empty() || args.command() == "help") {
    const CommandSpec* about = args.positionals().empty() ? nullptr : commandtable::find(args.positionals()[0]);
    if (args.command().empty() && !args.has("help")) {
      std::fputs(commandtable::overview().c_str(), stderr);
      return finish(Outcome::fail(ExitCode::Usage, "no command given"));
    }
    std::fputs(about ? commandtable::details(*about).c_str() : commandtable::overview().c_str(), stdout);
    return finish(Outcome::ok());
  }
  const CommandSpec* spec = commandtable::find(args.command());
  if (!spec)
    return finish(Outcome::fail(ExitCode::Usage, "unknown command " + quoted(args.command()) + " (see zelt-token --help)"));
  if (args.has("help")) {
    std::fputs(commandtable::details(*spec).c_str(), stdout);
    return finish(Outcome::ok());
  }
  Outcome r = checkOptions(*spec, args);
  if (r.failed()) return finish(r);
  if (!spec->needsLibrary) return finish(runOne(nullptr, *spec, args));

  // The library reads the store folder at C_Initialize.
  if (args.has("dir"))
    ::SetEnvironmentVariableW(L"ZELT_SOFTTOKEN_DIR", widetext::fromUtf8(args.value("dir")).c_str());
  CryptokiLibrary library;
  const std::wstring path = args.has("library") ? widetext::fromUtf8(args.value("library")) : CryptokiLibrary::defaultPath();
  if (!library.load(path, &error)) return finish(Outcome::fail(ExitCode::NoLibrary, error));
  const CK_RV rv = library.initialize();
  if (rv != CKR_OK) return finish(ToolContext::refused("initialising the token library", rv));
  ToolContext ctx(library);
  if (std::string(spec->name) == "batch") {
    std::string where;
    r = runBatch(ctx, args.positionals()[0], args.has("keep-going"), &where);
    return finish(r, where);
  }
  return finish(runOne(&ctx, *spec, args));
}
