#include "dialogs/AdvancedSettingsDialog.h"

#include "res/resource.h"

LONG ContainerNamingChoice = IDC_USE_FILE_NAME;

const DialogWindow::MessageEntry AdvancedSettingsDialog::kMessageMap[] = {
    OnMessage(WM_INITDIALOG, &AdvancedSettingsDialog::OnInitDialog),
    OnCommand(IDC_USE_FILE_NAME, BN_CLICKED, &AdvancedSettingsDialog::OnUseFileName),
    OnCommand(IDC_USE_GUID, BN_CLICKED, &AdvancedSettingsDialog::OnUseGuid),
    OnCommand(IDOK, AnyCode, &AdvancedSettingsDialog::OnOk),
    OnCommand(IDCANCEL, AnyCode, &AdvancedSettingsDialog::OnCancel),
};

AdvancedSettingsDialog::AdvancedSettingsDialog()
    : DialogWindow(IDD_ADVANCED_SETTINGS, kMessageMap), savedChoice_(ContainerNamingChoice) {}

LRESULT AdvancedSettingsDialog::OnInitDialog(UINT, WPARAM, LPARAM) {
  // Anything but the file name counts as the GUID.
  Choose(ContainerNamingChoice == IDC_USE_FILE_NAME ? IDC_USE_FILE_NAME : IDC_USE_GUID);
  return TRUE;
}

LRESULT AdvancedSettingsDialog::OnUseFileName(UINT, WPARAM, LPARAM) {
  Choose(IDC_USE_FILE_NAME);
  return 0;
}

LRESULT AdvancedSettingsDialog::OnUseGuid(UINT, WPARAM, LPARAM) {
  Choose(IDC_USE_GUID);
  return 0;
}

LRESULT AdvancedSettingsDialog::OnOk(UINT, WPARAM, LPARAM) {
  ::EndDialog(Window(), IDOK);
  return 0;
}

LRESULT AdvancedSettingsDialog::OnCancel(UINT, WPARAM, LPARAM) {
  // Back to the choice the import dialog started with, undoing an earlier OK as well.
  ContainerNamingChoice = savedChoice_;
  ::EndDialog(Window(), IDCANCEL);
  return 0;
}

void AdvancedSettingsDialog::Choose(int id) {
  ::SendMessageA(Item(IDC_USE_FILE_NAME), BM_SETCHECK, id == IDC_USE_FILE_NAME ? 1 : 0, 0);
  ::SendMessageA(Item(IDC_USE_GUID), BM_SETCHECK, id == IDC_USE_GUID ? 1 : 0, 0);
  ContainerNamingChoice = id;
}
