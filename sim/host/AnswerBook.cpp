#include "AnswerBook.h"

#include <sstream>

namespace {
const char kCancel[] = "<cancel>";
}

bool AnswerBook::kindOf(const std::string& key, Kind* kind) {
  static const std::map<std::string, Kind> keys = {{"password", Kind::Password},
                                                   {"old-password", Kind::OldPassword},
                                                   {"new-password", Kind::NewPassword},
                                                   {"pin", Kind::Pin},
                                                   {"new-pin", Kind::NewPin}};
  auto it = keys.find(key);
  if (it == keys.end()) return false;
  *kind = it->second;
  return true;
}

bool AnswerBook::addLine(const std::string& line, std::string* error) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) {
    *error = "an answer needs the form key=value: \"" + line + "\"";
    return false;
  }
  Kind kind;
  const std::string key = line.substr(0, eq);
  if (!kindOf(key, &kind)) {
    *error = "unknown answer key \"" + key + "\" (password, old-password, new-password, pin, new-pin)";
    return false;
  }
  answers_[kind].push_back(line.substr(eq + 1));
  return true;
}

bool AnswerBook::addText(const std::string& text, std::string* error) {
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (!addLine(line, error)) {
      *error = "line " + std::to_string(number) + ": " + *error;
      return false;
    }
  }
  return true;
}

bool AnswerBook::has(Kind kind) const {
  auto it = answers_.find(kind);
  return it != answers_.end() && !it->second.empty();
}

bool AnswerBook::take(Kind kind, std::string* value, bool* cancel) {
  auto it = answers_.find(kind);
  if (it == answers_.end() || it->second.empty()) return false;
  *value = it->second.front();
  it->second.pop_front();
  *cancel = *value == kCancel;
  if (*cancel) value->clear();
  return true;
}
