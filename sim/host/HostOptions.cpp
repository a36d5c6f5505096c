#include "HostOptions.h"

#include <cstdlib>

namespace {

bool number(const std::string& text, unsigned long* value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  char* end = nullptr;
  *value = std::strtoul(text.c_str(), &end, 0);
  return *end == '\0';
}

}  // namespace

const char* HostOptions::helpText() {
  return "TokenUtility.exe: the Token Utility host for the Zelt token's user page\n"
         "\n"
         "Shows the user page (ZeltUtilUserPage.dll) as the tab of a property frame and serves it\n"
         "as its host: opens and closes the software token (ZeltP11.dll), asks for the User PIN and\n"
         "the password, shows status texts, describes error codes, and keeps the settings of\n"
         "automatic certificate registration under\n"
         "HKEY_CURRENT_USER\\Software\\Quillon Works\\Zelt\\Zelt Components\\Zelt Utilities\\Token Utility.\n"
         "\n"
         "Usage: TokenUtility.exe [options]\n"
         "\n"
         "  --serial TEXT            the token to show (default: the first token present)\n"
         "  --dir FOLDER             the software token's store folder (ZELT_SOFTTOKEN_DIR)\n"
         "  --library DLL            the token library (default: ZeltP11.dll beside this program)\n"
         "  --page-dll DLL           load the page from this file instead of through its\n"
         "                           registered class (used as well when it is not registered)\n"
         "  --no-auto-registration   do not offer automatic certificate registration\n"
         "\n"
         "Scripted runs:\n"
         "  --answers FILE           answers to the prompts, lines of key=value (see below)\n"
         "  --answer KEY=VALUE       one answer; also --password, --old-password, --new-password,\n"
         "                           --pin and --new-pin VALUE\n"
         "  --click ID               press the page's button with this control id once it shows\n"
         "                           (201 Manage, 204 Import, 205 Change User PIN, 206 Change\n"
         "                           Password, 208 Auto Registration)\n"
         "  --click-after MS         when to press it (default 1500 ms after the page shows)\n"
         "  --screenshot FILE        save a PNG of the window (with any dialog over it) at exit\n"
         "  --exit-after MS          exit that long after the window is made (also while a box shows)\n"
         "  --step STEP              one step of a walk through the page's dialogs (repeatable);\n"
         "  --steps FILE             steps, one a line: wait MS, wait-for TITLE, click ID,\n"
         "                           expect-control ID, select ROW, type ID TEXT, screenshot FILE,\n"
         "                           exit (the window in front, or the page when the frame is)\n"
         "\n"
         "Answer keys: password (the password prompt), old-password and new-password (Change\n"
         "Password), pin and new-pin (Change User PIN). Answers of one key are used in order; the\n"
         "value <cancel> cancels that prompt; a prompt without an answer is shown as a dialog.\n";
}

bool HostOptions::parse(const std::vector<std::string>& words, HostOptions* options, std::string* error) {
  HostOptions o;
  for (size_t i = 0; i < words.size(); ++i) {
    std::string name = words[i], value;
    bool hasValue = false;
    if (name.compare(0, 2, "--") != 0 && name != "-h" && name != "/?") {
      *error = "unexpected argument \"" + name + "\"";
      return false;
    }
    const size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    if (name == "--help" || name == "-h" || name == "/?") {
      o.help = true;
      continue;
    }
    if (name == "--no-auto-registration") {
      o.noAutoRegistration = true;
      continue;
    }
    if (!hasValue) {
      if (i + 1 >= words.size()) {
        *error = "option " + name + " needs a value";
        return false;
      }
      value = words[++i];
    }
    AnswerBook::Kind kind;
    if (name == "--serial") o.serial = value;
    else if (name == "--library") o.library = value;
    else if (name == "--page-dll") o.pageDll = value;
    else if (name == "--dir") o.storeFolder = value;
    else if (name == "--screenshot") o.screenshot = value;
    else if (name == "--answers") o.answerFiles.push_back(value);
    else if (name == "--steps") o.stepFiles.push_back(value);
    else if (name == "--step") {
      if (!StepScript::parseLine(value, &o.steps, error)) return false;
    }
    else if (name == "--answer") {
      if (!o.answers.addLine(value, error)) return false;
    } else if (AnswerBook::kindOf(name.substr(2), &kind)) {
      if (!o.answers.addLine(name.substr(2) + "=" + value, error)) return false;
    } else if (name == "--exit-after" || name == "--click" || name == "--click-after") {
      unsigned long n = 0;
      if (!number(value, &n)) {
        *error = "option " + name + " needs a number, not \"" + value + "\"";
        return false;
      }
      (name == "--exit-after" ? o.exitAfterMs : name == "--click" ? o.clickId : o.clickAfterMs) = n;
    } else {
      *error = "unknown option " + name + " (see --help)";
      return false;
    }
  }
  *options = std::move(o);
  return true;
}
