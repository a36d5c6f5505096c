#pragma once
// The Import Certificate dialog: a PKCS #12 file and its password, handed to
// the import library, which writes the certificate and its key pair onto the
// token under a key container named after the file or a fresh GUID.
#include <windows.h>
#include <oleauto.h>

#include "dialogs/AdvancedSettingsDialog.h"
#include "dialogs/DialogWindow.h"

class SecretBuffer;
class Token;
class UserPage;

class ImportCertificateDialog : public DialogWindow {
 public:
  // Neither is owned; both outlive the dialog.
  ImportCertificateDialog(UserPage* page, Token* token);

 private:
  static const MessageEntry kMessageMap[];
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnBrowse(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnAdvanced(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnOk(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCancel(UINT message, WPARAM wParam, LPARAM lParam);

  // With the host's password: reads the token's certificates and has the
  // library import the file read last; *result is 0, 1 (already on the token)
  // or a failure code. False after telling the user that no container name
  // could be made.
  bool ImportOntoToken(const char* path, const SecretBuffer& password, LONG* result);
  // Edit control `id` as typed, in the ANSI code page (at most 259 bytes); a failed
  // SecretBuffer::AssignWide when it cannot be passed on as typed.
  HRESULT ReadItemText(int id, SecretBuffer& text);

  UserPage* page_;
  Token* token_;
  AdvancedSettingsDialog advanced_;
};
