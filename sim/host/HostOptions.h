#pragma once
// The command line of TokenUtility.exe.
#include <string>
#include <vector>

#include "AnswerBook.h"
#include "StepScript.h"

struct HostOptions {
  bool help = false;
  std::string serial;         // empty: the first token present
  std::string library;        // empty: ZeltP11.dll beside the executable
  std::string pageDll;        // non-empty: load the page from this file, not through COM
  std::string storeFolder;    // non-empty: ZELT_SOFTTOKEN_DIR for this run
  std::string screenshot;     // non-empty: save a PNG of the window before exiting
  unsigned long exitAfterMs = 0;   // 0: run until the user closes the window
  unsigned long clickId = 0;       // a page button to press once the page shows
  unsigned long clickAfterMs = 1500;
  bool noAutoRegistration = false;  // do not offer automatic registration
  std::vector<std::string> answerFiles;
  AnswerBook answers;
  std::vector<StepScript::Step> steps;  // --step, then the lines of the --steps files
  std::vector<std::string> stepFiles;

  // Parses the words after the program name. False with a reason for a malformed line;
  // answer files are read later (they are named in answerFiles).
  static bool parse(const std::vector<std::string>& words, HostOptions* options, std::string* error);

  static const char* helpText();
};
