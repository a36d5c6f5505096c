#include "dialogs/AutoRegistrationDialog.h"

#include <cstdlib>

#include "model/ScopedRegKey.h"
#include "res/resource.h"
#include "server/Module.h"

const char AutoRegistrationDialog::kWarningKey[] =
    "Software\\Quillon Works\\Zelt\\Zelt Components\\Zelt Utilities\\Zelt Auto Certificate Registration\\CEW";

const DialogWindow::MessageEntry AutoRegistrationDialog::kMessageMap[] = {
    OnMessage(WM_INITDIALOG, &AutoRegistrationDialog::OnInitDialog),
    OnCommand(IDC_ENABLE_AUTO_REGISTRATION, BN_CLICKED, &AutoRegistrationDialog::OnEnableRegistration),
    OnCommand(IDC_ENABLE_EXPIRATION_WARNING, BN_CLICKED, &AutoRegistrationDialog::OnEnableWarning),
    OnCommand(IDOK, AnyCode, &AutoRegistrationDialog::OnOk),
    OnCommand(IDCANCEL, AnyCode, &AutoRegistrationDialog::OnCancel),
};

namespace {

const DWORD kDefaultDays = 30;
const DWORD kMaxDays = 180;

bool IsChecked(HWND box) { return ::SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// Reads a 4-byte value into `field`; `fallback` when it is missing or larger.
void ReadDword(HKEY key, const char* name, DWORD& field, DWORD fallback) {
  DWORD size = sizeof field;
  if (::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&field), &size) != ERROR_SUCCESS)
    field = fallback;
}

}  // namespace

AutoRegistrationDialog::AutoRegistrationDialog(BOOL enabled)
    : DialogWindow(IDD_AUTO_REGISTRATION, kMessageMap), enabled_(enabled) {}

LRESULT AutoRegistrationDialog::OnInitDialog(UINT, WPARAM, LPARAM) {
  ReadWarningSettings();
  daysBox_ = Item(IDC_WARNING_DAYS);
  registrationBox_ = Item(IDC_ENABLE_AUTO_REGISTRATION);
  warningBox_ = Item(IDC_ENABLE_EXPIRATION_WARNING);

  static const char* const kChoices[] = {"1", "5", "10", "15", "20", "25", "30"};
  for (const char* choice : kChoices)
    ::SendMessageA(daysBox_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice));
  // The stored value is shown as it is, even when the list does not offer it.
  char text[16];
  ::wsprintfA(text, "%d", static_cast<LONG>(days_));
  ::SetWindowTextA(daysBox_, text);

  ::SendMessageA(registrationBox_, BM_SETCHECK, enabled_ ? BST_CHECKED : BST_UNCHECKED, 0);
  ::SendMessageA(warningBox_, BM_SETCHECK, warningOff_ == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
  ApplyEnableRules();
  return TRUE;
}

LRESULT AutoRegistrationDialog::OnEnableRegistration(UINT, WPARAM, LPARAM) {
  ApplyEnableRules();
  return 0;
}

LRESULT AutoRegistrationDialog::OnEnableWarning(UINT, WPARAM, LPARAM) {
  ::EnableWindow(daysBox_, IsChecked(warningBox_));
  return 0;
}

LRESULT AutoRegistrationDialog::OnOk(UINT, WPARAM, LPARAM) {
  enabled_ = IsChecked(registrationBox_) ? 1 : 0;
  if (enabled_) {
    warningOff_ = IsChecked(warningBox_) ? 0 : 1;
    if (warningOff_ == 0) {
      char text[512] = "";
      ::GetWindowTextA(daysBox_, text, sizeof text);
      const DWORD typed = static_cast<DWORD>(std::strtol(text, nullptr, 10));
      // Unsigned, so that 0 and every negative number are refused too. A refused value is not
      // kept: an OK after unchecking the warning stores the days read at initialisation.
      if (typed - 1 >= kMaxDays) {
        char message[512] = "";
        char caption[512] = "";
        Module::LoadText(IDS_DAYS_OUT_OF_RANGE, message);
        ::GetWindowTextA(Window(), caption, sizeof caption);
        ::MessageBoxA(Window(), message, caption, MB_OK | MB_ICONEXCLAMATION);
        ::SetFocus(daysBox_);
        return 0;
      }
      days_ = typed;
    }
    StoreWarningSettings();
  }
  ::EndDialog(Window(), IDOK);
  return 0;
}

LRESULT AutoRegistrationDialog::OnCancel(UINT, WPARAM, LPARAM) {
  ::EndDialog(Window(), IDCANCEL);
  return 0;
}

void AutoRegistrationDialog::ReadWarningSettings() {
  days_ = kDefaultDays;
  warningOff_ = 1;
  HKEY opened = nullptr;
  // The machine's key counts only when the user has none of their own.
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kWarningKey, 0, KEY_READ, &opened) != ERROR_SUCCESS &&
      ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kWarningKey, 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return;
  ScopedRegKey key(opened);
  ReadDword(key.get(), "Days", days_, kDefaultDays);
  ReadDword(key.get(), "Off", warningOff_, 0);
}

void AutoRegistrationDialog::StoreWarningSettings() const {
  HKEY created = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kWarningKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &created, nullptr) != ERROR_SUCCESS)
    return;
  ScopedRegKey key(created);
  ::RegSetValueExA(key.get(), "Days", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&days_), sizeof days_);
  ::RegSetValueExA(key.get(), "Off", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&warningOff_), sizeof warningOff_);
}

void AutoRegistrationDialog::ApplyEnableRules() {
  const bool registration = IsChecked(registrationBox_);
  ::EnableWindow(warningBox_, registration);
  ::EnableWindow(daysBox_, registration && IsChecked(warningBox_));
}
