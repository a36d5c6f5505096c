#pragma once
// The Auto Certificate Registration Settings dialog: the host's automatic
// registration flag, and the certificate expiration warning that lives in the
// registry under the CEW key.
#include <windows.h>

#include "dialogs/DialogWindow.h"

class AutoRegistrationDialog : public DialogWindow {
 public:
  // `enabled` is the host's automatic registration flag, shown in its check box.
  explicit AutoRegistrationDialog(BOOL enabled);

  // The check box's state at OK; the constructor's value until then.
  BOOL Enabled() const { return enabled_; }

  // The key below HKEY_CURRENT_USER (read also below HKEY_LOCAL_MACHINE).
  static const char kWarningKey[];

 private:
  static const MessageEntry kMessageMap[];
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnEnableRegistration(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnEnableWarning(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnOk(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCancel(UINT message, WPARAM wParam, LPARAM lParam);

  // Days and Off from the current user's key, else from the machine's.
  void ReadWarningSettings();
  // Writes Days and Off under the current user's key; nothing when it cannot be created.
  void StoreWarningSettings() const;
  void ApplyEnableRules();

  BOOL enabled_;
  DWORD warningOff_ = 0;  // non-zero: no expiration warning
  DWORD days_ = 30;       // days before expiry at which the warning is given
  HWND daysBox_ = nullptr;
  HWND registrationBox_ = nullptr;
  HWND warningBox_ = nullptr;
};
