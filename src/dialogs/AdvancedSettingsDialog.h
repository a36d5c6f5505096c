#pragma once
// The Advanced Settings dialog of the import: whether an imported key container
// is named after the file or gets a fresh GUID.
#include <windows.h>

#include "dialogs/DialogWindow.h"

// Control id of the chosen radio button: IDC_USE_FILE_NAME or IDC_USE_GUID.
// One choice for every page of the process, kept while the module is loaded.
extern LONG ContainerNamingChoice;

class AdvancedSettingsDialog : public DialogWindow {
 public:
  // Remembers the choice as it is now, for Cancel to return to.
  AdvancedSettingsDialog();

 private:
  static const MessageEntry kMessageMap[];
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnUseFileName(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnUseGuid(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnOk(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCancel(UINT message, WPARAM wParam, LPARAM lParam);

  // Checks the button `id`, unchecks the other and makes `id` the choice.
  void Choose(int id);

  LONG savedChoice_;
};
