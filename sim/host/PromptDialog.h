#pragma once
// The host's prompts: the password of the PKI storage, and the change of the password or of
// the device's User PIN (old value, new value, confirmation).
#include <windows.h>

#include <string>

#include "SecretText.h"

class PromptDialog {
 public:
  enum class Mode { Password, ChangePassword, ChangePin };

  PromptDialog(Mode mode, const std::wstring& tokenName, unsigned long minLength, unsigned long maxLength);
  PromptDialog(const PromptDialog&) = delete;
  PromptDialog& operator=(const PromptDialog&) = delete;

  // A line shown under the fields, e.g. why the last attempt failed.
  void setNote(const std::wstring& note) { note_ = note; }
  // IDOK when the values were entered and pass the checks, IDCANCEL otherwise: also when the
  // dialog was ended from outside (the application quitting ends every modal loop, and the
  // dialog manager then reports whatever result it holds).
  INT_PTR run(HWND owner);

  // The password, or the old value of a change.
  const SecretText& first() const { return first_; }
  // The new value of a change.
  const SecretText& second() const { return second_; }

 private:
  static INT_PTR CALLBACK proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void init(HWND dialog);
  bool accept(HWND dialog);

  Mode mode_;
  std::wstring tokenName_;
  unsigned long minLength_;
  unsigned long maxLength_;
  std::wstring note_;
  SecretText first_;
  SecretText second_;
  bool accepted_ = false;  // set only when OK passed the checks
};

// Centres a window over its owner, or over the screen's work area without one.
void centreOverOwner(HWND window, HWND owner);
