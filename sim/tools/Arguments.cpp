#include "Arguments.h"

bool Arguments::parse(const std::vector<std::string>& words, const std::set<std::string>& flags, Arguments* out,
                      std::string* error) {
  Arguments a;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w.size() > 2 && w.compare(0, 2, "--") == 0) {
      const size_t eq = w.find('=');
      const std::string name = w.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      if (flags.count(name)) {
        if (eq != std::string::npos) {
          *error = "option --" + name + " takes no value";
          return false;
        }
        a.options_[name].push_back(std::string());
        continue;
      }
      if (eq != std::string::npos) {
        a.options_[name].push_back(w.substr(eq + 1));
        continue;
      }
      if (i + 1 >= words.size()) {
        *error = "option --" + name + " needs a value";
        return false;
      }
      a.options_[name].push_back(words[++i]);
      continue;
    }
    if (w == "-h") {
      a.options_["help"].push_back(std::string());
      continue;
    }
    if (a.command_.empty())
      a.command_ = w;
    else
      a.positionals_.push_back(w);
  }
  *out = std::move(a);
  return true;
}

std::string Arguments::value(const std::string& name, const std::string& fallback) const {
  auto it = options_.find(name);
  return it == options_.end() || it->second.empty() ? fallback : it->second.back();
}

std::vector<std::string> Arguments::values(const std::string& name) const {
  auto it = options_.find(name);
  return it == options_.end() ? std::vector<std::string>() : it->second;
}

std::string Arguments::firstUnknown(const std::set<std::string>& allowed) const {
  for (const auto& o : options_)
    if (!allowed.count(o.first)) return o.first;
  return std::string();
}

bool splitCommandLine(const std::string& line, std::vector<std::string>* words, std::string* error) {
  words->clear();
  std::string word;
  bool inWord = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
        word.push_back(line[++i]);
      } else if (c == '"') {
        quoted = false;
      } else {
        word.push_back(c);
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words->push_back(word);
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '"')
      quoted = true;
    else
      word.push_back(c);
  }
  if (quoted) {
    *error = "unclosed quote";
    return false;
  }
  if (inWord) words->push_back(word);
  return true;
}
