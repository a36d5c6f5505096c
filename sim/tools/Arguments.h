#pragma once
// Command words and options of one tool invocation (or of one line of a batch file).
// Options are "--name value" or "--name=value"; names listed as flags take no value.
#include <map>
#include <set>
#include <string>
#include <vector>

class Arguments {
 public:
  // Parses words until the end. The first word that is not an option is the command;
  // later non-option words are positionals. False with a reason for a malformed option.
  static bool parse(const std::vector<std::string>& words, const std::set<std::string>& flags, Arguments* out,
                    std::string* error);

  const std::string& command() const { return command_; }
  const std::vector<std::string>& positionals() const { return positionals_; }

  bool has(const std::string& name) const { return options_.count(name) != 0; }
  // The last value given for the option, or `fallback`.
  std::string value(const std::string& name, const std::string& fallback = std::string()) const;
  // Every value given for the option, in order.
  std::vector<std::string> values(const std::string& name) const;

  // The first option name that is not in `allowed`, or empty.
  std::string firstUnknown(const std::set<std::string>& allowed) const;

 private:
  std::string command_;
  std::vector<std::string> positionals_;
  std::map<std::string, std::vector<std::string>> options_;
};

// Splits one line of a batch file into words: blanks separate, double quotes group (a
// backslash inside quotes escapes '"' and '\'). False with a reason for an unclosed quote.
bool splitCommandLine(const std::string& line, std::vector<std::string>* words, std::string* error);
