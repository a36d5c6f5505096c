#include "dialogs/ManageCertificatesDialog.h"

#include <commctrl.h>

#include <memory>
#include <optional>
#include <utility>

#include "dialogs/CertificateDetailsDialog.h"
#include "model/ByteBuffer.h"
#include "model/CertificateRecord.h"
#include "model/SecretBuffer.h"
#include "model/Token.h"
#include "model/WaitCursor.h"
#include "page/UserPage.h"
#include "res/resource.h"

const DialogWindow::MessageEntry ManageCertificatesDialog::kMessageMap[] = {
    OnMessage(WM_INITDIALOG, &ManageCertificatesDialog::OnInitDialog),
    OnCommand(IDCANCEL, AnyCode, &ManageCertificatesDialog::OnClose),
    OnCommand(IDC_MANAGE_CLOSE, AnyCode, &ManageCertificatesDialog::OnClose),
    OnCommand(IDC_SET_AS_DEFAULT, BN_CLICKED, &ManageCertificatesDialog::OnSetAsDefault),
    OnCommand(IDC_REGISTER, BN_CLICKED, &ManageCertificatesDialog::OnRegister),
    OnCommand(IDC_UNREGISTER, BN_CLICKED, &ManageCertificatesDialog::OnUnregister),
    OnCommand(IDC_REMOVE, BN_CLICKED, &ManageCertificatesDialog::OnRemove),
    OnCommand(IDC_VIEW_DETAILS, BN_CLICKED, &ManageCertificatesDialog::OnViewDetails),
    OnCommand(IDC_CONVERT, BN_CLICKED, &ManageCertificatesDialog::OnConvert),
    OnNotify(IDC_CERTIFICATE_LIST, LVN_ITEMCHANGED, &ManageCertificatesDialog::OnItemChanged),
    OnNotify(IDC_CERTIFICATE_LIST, LVN_COLUMNCLICK, &ManageCertificatesDialog::OnColumnClick),
    OnNotify(IDC_CERTIFICATE_LIST, NM_CLICK, &ManageCertificatesDialog::OnClick),
    OnNotify(IDC_CERTIFICATE_LIST, NM_RCLICK, &ManageCertificatesDialog::OnClick),
    OnMessage(ManageCertificatesDialog::kReportReadFailure, &ManageCertificatesDialog::OnReportReadFailure),
};

namespace {

const int kOperationButtons[] = {IDC_REGISTER, IDC_UNREGISTER, IDC_REMOVE,
                                 IDC_SET_AS_DEFAULT, IDC_VIEW_DETAILS, IDC_CONVERT};

}  // namespace

ManageCertificatesDialog::ManageCertificatesDialog(UserPage* page, Token* token)
    : DialogWindow(IDD_MANAGE_CERTIFICATES, kMessageMap), page_(page), token_(token) {}

LRESULT ManageCertificatesDialog::OnInitDialog(UINT, WPARAM, LPARAM) {
  // A list without its control or its images still runs with what it has.
  list_.Attach(Window(), IDC_CERTIFICATE_LIST);
  // Redrawing is off from the images on: while it is on, the control lays out its header and
  // scroll bars again for the image list and for every column.
  ::SendMessageA(list_.Window(), WM_SETREDRAW, FALSE, 0);
  list_.LoadImages();
  list_.CreateColumns();
  const HRESULT filled = FillList();
  // The fill switches it on again when there is a token to read; without one, it goes on here.
  ::SendMessageA(list_.Window(), WM_SETREDRAW, TRUE, 0);
  // The control works out its rows and scroll ranges at its first paint. At the first paint on
  // screen every range it sets redraws a scroll bar there and then, before its frame draws them
  // again (under Wine four redraws of about 60 server round trips each, some 40% of the dialog's
  // first paint); done off screen while the dialog is still hidden, that first paint just draws.
  list_.PaintOffScreen();
  DisableEverything();
  page_->HideStatus();
  // Told once the dialog shows, over the rows that could be read (without a token there was
  // nothing to read, and whoever opened the dialog so has said why).
  if (token_ && filled != S_OK) ::PostMessageA(Window(), kReportReadFailure, static_cast<WPARAM>(filled), 0);
  return TRUE;
}

LRESULT ManageCertificatesDialog::OnClose(UINT, WPARAM wParam, LPARAM) {
  // Nobody sees the rows go: with redrawing on, the control would lay out and repaint the
  // emptying list (about 10 ms for 20 rows under Wine).
  ::SendMessageA(list_.Window(), WM_SETREDRAW, FALSE, 0);
  list_.Clear();
  ::EndDialog(Window(), LOWORD(wParam));
  return 0;
}

LRESULT ManageCertificatesDialog::OnSetAsDefault(UINT, WPARAM, LPARAM) {
  CertificateRecord* record = list_.SelectedRecord();
  if (!Acting(record) || !record->hasContainer) return 0;
  WaitCursor wait;
  page_->ShowStatus(IDS_SETTING_DEFAULT, Window());
  const HRESULT hr = token_->setDefaultLogon(record);
  if (hr != S_OK) {
    page_->HideStatus();
    page_->ShowErrorMessage(IDS_SET_DEFAULT_FAILED, hr, Window());
    return -1;
  }
  list_.ClearDefaultLogon();
  record->isDefaultLogon = true;
  list_.UpdateRecord(record);
  ShowRecordButtons(record);
  page_->HideStatus();
  return 0;
}

LRESULT ManageCertificatesDialog::OnRegister(UINT, WPARAM, LPARAM) {
  CertificateRecord* record = list_.SelectedRecord();
  if (!Acting(record)) return 0;
  std::optional<WaitCursor> wait(std::in_place);
  if (!record->hasContainer) {
    // Registration needs a key container, which conversion writes to the token.
    const HRESULT converted = ConvertRecord(record, wait);
    if (converted == S_FALSE) return 0;
    if (converted != S_OK) return -1;
  }
  const HRESULT hr = token_->registerCertificate(record);
  if (hr != S_OK) {
    page_->ShowErrorMessage(IDS_REGISTER_FAILED, hr, Window());
    return -1;
  }
  record->registered = true;
  list_.UpdateRecord(record);
  ShowRecordButtons(record);
  return 0;
}

LRESULT ManageCertificatesDialog::OnUnregister(UINT, WPARAM, LPARAM) {
  CertificateRecord* record = list_.SelectedRecord();
  if (!Acting(record)) return 0;
  const HRESULT hr = token_->unregisterCertificate(record);
  if (hr != S_OK) {
    page_->ShowErrorMessage(IDS_UNREGISTER_FAILED, hr, Window());
    return -1;
  }
  record->registered = false;
  list_.UpdateRecord(record);
  ShowRecordButtons(record);
  return 0;
}

LRESULT ManageCertificatesDialog::OnRemove(UINT, WPARAM, LPARAM) {
  CertificateRecord* record = list_.SelectedRecord();
  if (!Acting(record)) return 0;
  if (page_->ShowMessage(IDS_CONFIRM_REMOVE, Window(), MB_YESNO | MB_ICONEXCLAMATION) == IDNO) return 0;
  SecretBuffer password;
  if (page_->AskPassword(Window(), password) != S_OK) return 0;
  WaitCursor wait;
  page_->ShowStatus(IDS_DELETING, Window());

  // Refilling the list deletes the record; the question after it needs both.
  ByteBuffer thumbprint;
  thumbprint.assign(record->thumbprint.data(), record->thumbprint.size());
  const bool wasRegistered = record->registered;

  HRESULT hr = token_->removeCertificate(record, password.data());
  if (hr != S_OK) {
    page_->HideStatus();
    page_->ShowErrorMessage(IDS_REMOVE_FAILED, hr, Window());
    return -1;
  }
  hr = token_->refreshInventory();
  if (hr != S_OK) {
    listWhole_ = false;  // the rows still show the certificate just removed
    ShowRecordButtons(list_.SelectedRecord());
    page_->HideStatus();
    page_->ShowErrorMessage(IDS_UPDATE_LIST_FAILED, hr, Window());
    return -1;
  }
  hr = FillList();
  page_->HideStatus();
  if (hr != S_OK) page_->ShowErrorMessage(IDS_UPDATE_LIST_FAILED, hr, Window());

  if (wasRegistered && page_->ShowMessage(IDS_ASK_UNREGISTER_REMOVED, Window(), MB_YESNO | MB_ICONEXCLAMATION) != IDNO) {
    WaitCursor unregistering;
    hr = token_->unregisterByThumbprint(&thumbprint);
    if (hr != S_OK) page_->ShowErrorMessage(IDS_UNREGISTER_FAILED, hr, Window());
  }
  list_.SelectRow(0);
  ShowRecordButtons(list_.SelectedRecord());
  return 0;
}

LRESULT ManageCertificatesDialog::OnViewDetails(UINT, WPARAM, LPARAM) {
  CertificateRecord* record = list_.SelectedRecord();
  if (!token_ || !record) return 0;
  CertificateDetailsDialog details(record);
  details.Run(::GetActiveWindow());
  return 0;
}

LRESULT ManageCertificatesDialog::OnConvert(UINT, WPARAM, LPARAM) {
  CertificateRecord* record = list_.SelectedRecord();
  if (!Acting(record)) return 0;
  // Held until the row has been rewritten.
  std::optional<WaitCursor> wait;
  const HRESULT hr = ConvertRecord(record, wait);
  if (hr == S_FALSE) return 0;
  if (hr != S_OK) return -1;
  list_.UpdateRecord(record);
  ShowRecordButtons(record);
  return 0;
}

LRESULT ManageCertificatesDialog::OnItemChanged(UINT, WPARAM, LPARAM lParam) {
  const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
  // Only a row that has just become the selected and focused one changes the buttons.
  if (change->uNewState == (LVIS_SELECTED | LVIS_FOCUSED)) ShowRecordButtons(list_.RecordAt(change->iItem));
  return 0;
}

LRESULT ManageCertificatesDialog::OnColumnClick(UINT, WPARAM, LPARAM lParam) {
  const NMLISTVIEW* click = reinterpret_cast<const NMLISTVIEW*>(lParam);
  list_.SortByColumn(click->iSubItem);
  // The next sort, of whichever column, runs the other way.
  SortAscending = !SortAscending;
  return 0;
}

LRESULT ManageCertificatesDialog::OnClick(UINT, WPARAM, LPARAM) {
  if (!list_.SelectedRecord()) DisableEverything();
  return 0;
}

LRESULT ManageCertificatesDialog::OnReportReadFailure(UINT, WPARAM wParam, LPARAM) {
  page_->ShowErrorMessage(IDS_READ_CERTIFICATES_FAILED, static_cast<HRESULT>(wParam), Window());
  return 0;
}

HRESULT ManageCertificatesDialog::FillList() {
  if (!token_) return E_FAIL;
  list_.Clear();
  ::SendMessageA(list_.Window(), WM_SETREDRAW, FALSE, 0);
  // The first call without a record ends the list; only the end of the token ends it whole.
  HRESULT ended = S_OK;
  for (bool restart = true;; restart = false) {
    std::unique_ptr<CertificateRecord> record;
    ended = token_->nextCertificate(restart, record);
    if (!record) break;
    list_.AddRecord(std::move(record));
  }
  ::SendMessageA(list_.Window(), WM_SETREDRAW, TRUE, 0);
  const HRESULT status = ended == Token::kNoMoreCertificates ? token_->mapStatus() : ended;
  listWhole_ = status == S_OK;
  return status;
}

bool ManageCertificatesDialog::Acting(const CertificateRecord* record) const {
  // The buttons that write are disabled over a list read in part; a click sent all the same (by a
  // program, not the user) must not act on such a row either.
  return token_ && record && listWhole_;
}

void ManageCertificatesDialog::DisableEverything() {
  ::SetDlgItemTextA(Window(), IDC_INTENDED_PURPOSES, "");
  for (int id : kOperationButtons) ::EnableWindow(Item(id), FALSE);
  ::ShowWindow(Item(IDC_CONVERT_NOTICE), SW_HIDE);
}

void ManageCertificatesDialog::ShowRecordButtons(const CertificateRecord* record) {
  if (!record) {
    DisableEverything();
    return;
  }
  // Disabling the focused button leaves the keyboard nowhere (the system takes the focus away):
  // the list gets it.
  const HWND focus = ::GetFocus();
  // A list read only in part may show a certificate without the container that holds its key, or
  // one already gone: acting on it could give a key a second container or leave a container
  // behind, so until the token is read whole again the rows can only be looked at.
  const bool act = listWhole_;
  ::EnableWindow(Item(IDC_REGISTER), act && !record->registered);
  ::EnableWindow(Item(IDC_UNREGISTER), act && record->registered);
  ::EnableWindow(Item(IDC_SET_AS_DEFAULT), act && record->logonCapable && !record->isDefaultLogon);
  ::EnableWindow(Item(IDC_REMOVE), act);
  ::EnableWindow(Item(IDC_VIEW_DETAILS), TRUE);
  ::EnableWindow(Item(IDC_CONVERT), act && !record->hasContainer);
  ::ShowWindow(Item(IDC_CONVERT_NOTICE), record->hasContainer ? SW_HIDE : SW_SHOW);
  if (focus && !::IsWindowEnabled(focus)) ::SetFocus(list_.Window());
  ::SetDlgItemTextA(Window(), IDC_INTENDED_PURPOSES, record->intendedPurposes.text());
}

HRESULT ManageCertificatesDialog::ConvertRecord(CertificateRecord* record, std::optional<WaitCursor>& wait) {
  // No owner: the page owns the warning and captions it with its title. That box does not disable
  // this dialog, so it is disabled here: a Close or a second click while the question is up would
  // otherwise delete or change the record this conversion goes on with.
  ::EnableWindow(Window(), FALSE);
  const int answer = page_->ShowMessage(IDS_CONVERT_WARNING, nullptr, MB_YESNO | MB_ICONEXCLAMATION);
  ::EnableWindow(Window(), TRUE);
  ::SetActiveWindow(Window());
  if (answer == IDNO) return S_FALSE;
  SecretBuffer password;
  if (page_->AskPassword(Window(), password) != S_OK) return S_FALSE;
  if (!wait) wait.emplace();
  page_->ShowStatus(IDS_CONVERTING, Window());
  const HRESULT hr = token_->convertCertificate(record, password.data());
  page_->HideStatus();
  if (hr != S_OK) page_->ShowErrorMessage(IDS_CONVERT_FAILED, hr, Window());
  return hr;
}
