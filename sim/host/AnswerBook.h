#pragma once
// Answers to the host's prompts for scripted runs, taken in order per kind of prompt.
// Lines of an answers file: "key=value"; blank lines and lines starting with '#' are
// skipped. Keys: password (the password prompt), old-password and new-password (the
// password change), pin and new-pin (the User PIN change). The value "<cancel>" answers the
// prompt with Cancel. A prompt without an answer left is shown to the user.
#include <deque>
#include <map>
#include <string>

class AnswerBook {
 public:
  enum class Kind { Password, OldPassword, NewPassword, Pin, NewPin };

  // Adds the answers of a file's text; false with a reason for a malformed line or key.
  bool addText(const std::string& text, std::string* error);
  // Adds one "key=value" answer.
  bool addLine(const std::string& line, std::string* error);

  bool has(Kind kind) const;
  // Takes the next answer of that kind. False when none is left; *cancel tells a "<cancel>".
  bool take(Kind kind, std::string* value, bool* cancel);

  static bool kindOf(const std::string& key, Kind* kind);

 private:
  std::map<Kind, std::deque<std::string>> answers_;
};
