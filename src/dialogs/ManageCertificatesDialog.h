#pragma once
// "Certificates on the Zelt": the token's certificates with the operations on
// the selected one. The list owns the records; every handler asks it for the
// selected record again, so no record pointer outlives a message.
#include <windows.h>

#include <optional>

#include "dialogs/CertificateListView.h"
#include "dialogs/DialogWindow.h"
#include "model/WaitCursor.h"

class CertificateRecord;
class Token;
class UserPage;

class ManageCertificatesDialog : public DialogWindow {
 public:
  // Neither the page nor the token is owned; a null token makes every operation do nothing.
  ManageCertificatesDialog(UserPage* page, Token* token);

  CertificateListView& List() { return list_; }

  // Posted at initialisation when the list could not be read whole; wParam: the failure.
  static constexpr UINT kReportReadFailure = WM_APP + 1;

 private:
  static const MessageEntry kMessageMap[];
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnClose(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnSetAsDefault(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnRegister(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnUnregister(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnRemove(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnViewDetails(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnConvert(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnItemChanged(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnColumnClick(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnClick(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnReportReadFailure(UINT message, WPARAM wParam, LPARAM lParam);

  // Reads every record of the token into the list, in the token's order. S_OK when the
  // list shows the whole token; else the failure that cut the list short or left a
  // container unmapped, which the caller tells the user about.
  HRESULT FillList();
  void DisableEverything();
  // The buttons and texts that follow the record's flags; null disables everything.
  void ShowRecordButtons(const CertificateRecord* record);
  // The warning about writing to the token, the password and the conversion
  // under its status text; S_FALSE when the user declined or gave no password,
  // else the conversion's status, a failure already shown. The wait cursor
  // starts once the password is in, unless the caller's is already up, and
  // stays with the caller.
  HRESULT ConvertRecord(CertificateRecord* record, std::optional<WaitCursor>& wait);

  UserPage* page_;
  Token* token_;
  CertificateListView list_;
  bool listWhole_ = false;  // the last read of the token listed it whole
};
