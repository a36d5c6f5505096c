#include "page/UserPage.h"

#include "cryptoki/TokenAccessGuard.h"
#include "model/WaitCursor.h"
#include "res/resource.h"
#include "server/Module.h"

const DialogWindow::MessageEntry<UserPage> UserPage::kMessageMap[] = {
    OnCommand(IDC_MANAGE, BN_CLICKED, &UserPage::OnManage),
    OnCommand(IDC_CHANGE_PASSWORD, BN_CLICKED, &UserPage::OnChangePassword),
    OnCommand(IDC_CHANGE_USER_PIN, BN_CLICKED, &UserPage::OnChangeUserPin),
    OnCommand(IDC_IMPORT, BN_CLICKED, &UserPage::OnImport),
    OnCommand(IDC_AUTO_REGISTRATION, BN_CLICKED, &UserPage::OnAutoRegistration),
};

namespace {

// Every control is active in the states 1 and 2; the labels and Auto
// Registration keep the visibility that the page's own logic gives them.
const PageControl kControls[] = {
    {IDC_CHANGE_USER_PIN, IDS_CHANGE_USER_PIN, {1, 2}, 0, 0, nullptr},
    {IDC_CERTIFICATE_GROUP, IDS_CERTIFICATES, {1, 2}, 0, 0, nullptr},
    {IDC_MANAGE, IDS_MANAGE, {1, 2}, 0, 0, nullptr},
    {IDC_IMPORT, IDS_IMPORT, {1, 2}, 0, 0, nullptr},
    {IDC_PKI_STORAGE_GROUP, IDS_PKI_STORAGE, {1, 2}, 0, 0, nullptr},
    {IDC_CHANGE_PASSWORD, IDS_CHANGE_PASSWORD, {1, 2}, 0, 0, nullptr},
    {IDC_PIN_BLOCKED, IDS_PIN_BLOCKED, {1, 2}, 1, 0, nullptr},
    {IDC_PASSWORD_BLOCKED, IDS_PASSWORD_BLOCKED, {1, 2}, 1, 0, nullptr},
    {IDC_AUTO_REGISTRATION, IDS_AUTO_REGISTRATION, {1, 2}, 1, 0, nullptr},
    {0, 0, {}, 0, 0, nullptr},
};

// String `id` of the module as a system string (empty when it does not load).
ScopedBstr LoadWideText(UINT id) {
  char text[512] = "";
  if (::LoadStringA(Module::Instance(), id, text, sizeof text) <= 0) text[0] = '\0';
  wchar_t wide[512];
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 512);
  if (n <= 0) wide[0] = L'\0';
  return ScopedBstr::FromWide(wide);
}

// The rectangle of a dialog item in its dialog's client coordinates.
RECT ItemRect(HWND dialog, HWND item) {
  RECT rect = {};
  ::GetWindowRect(item, &rect);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace

static_assert(sizeof(kControls) / sizeof(kControls[0]) == 10, "one entry per control and the end mark");

HRESULT UserPage::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  return ComObjectRoot::Create<UserPage>(outer, iid, out);
}

UserPage::UserPage(IUnknown* outer)
    : TokenPropertyPage(outer, IDD_USERPAGE, IDS_PAGE_TITLE, IDS_HELP_FILE, IDS_DOC_STRING) {
  // Each page keeps its own window handles in its copy of the table.
  for (int i = 0; i < kControlCount; ++i) controls_[i] = kControls[i];
}

UserPage::~UserPage() {
  DestroyDetached();
  serial_.Reset();
}

BOOL UserPage::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (TokenPropertyPage::ProcessWindowMessage(window, message, wParam, lParam, result)) return TRUE;
  return DispatchMap(this, kMessageMap, message, wParam, lParam, result);
}

LRESULT UserPage::OnManage(UINT, WPARAM, LPARAM) {
  TokenAccessGuard guard(this);
  if (guard.Begin(FALSE) != S_OK) return E_FAIL;
  WaitCursor wait;
  TakeSerialNumber();
  ScopedBstr status = LoadWideText(IDS_READING_CERTIFICATES);
  HostStatus()->ShowStatus(Window(), status.Get(), 0);

  const HRESULT read = ReadCertificates();
  if (read != S_OK) {
    HostStatus()->HideStatus();
    ShowErrorMessage(IDS_READ_CERTIFICATES_FAILED, read, nullptr);
    return -1;
  }
  // The Manage certificates dialog (template 201) runs here; without it Manage cannot finish.
  ReportPasswordBlocked();
  return E_NOTIMPL;
}

LRESULT UserPage::OnChangePassword(UINT, WPARAM, LPARAM) {
  // The password change of the PKI storage is not part of this page yet.
  return E_NOTIMPL;
}

LRESULT UserPage::OnChangeUserPin(UINT, WPARAM, LPARAM) {
  // The user PIN change through the host is not part of this page yet.
  return E_NOTIMPL;
}

LRESULT UserPage::OnImport(UINT, WPARAM, LPARAM) {
  TokenAccessGuard guard(this);
  if (guard.Begin(FALSE) != S_OK) return E_FAIL;
  WaitCursor wait;
  TakeSerialNumber();
  // The Import Certificate dialog (template 114) runs here; without it Import cannot finish.
  ReportPasswordBlocked();
  return E_NOTIMPL;
}

LRESULT UserPage::OnAutoRegistration(UINT, WPARAM, LPARAM) {
  IHostStatus* status = HostStatus();
  if (!status) return -1;
  BOOL enabled = FALSE;
  LONG ignored = 0;
  status->GetAutoRegistration(&enabled, &ignored);
  // The settings dialog (template 107) runs here and hands its check box to SetAutoRegistration.
  return E_NOTIMPL;
}

void UserPage::EnableTokenButtons(BOOL enable) {
  ::EnableWindow(Item(IDC_CHANGE_PASSWORD), enable);
  ::EnableWindow(Item(IDC_MANAGE), enable);
  ::EnableWindow(Item(IDC_IMPORT), enable);
}

PageControl* UserPage::GetControl(int index) {
  return index >= 0 && index < kControlCount ? &controls_[index] : nullptr;
}

void UserPage::UpdatePinBlockedLabel() {
  bool blocked = false;
  if (IHostToken* token = HostToken()) {
    LONG first = 0, second = 0;
    blocked = token->GetPinState(&first, &second) == S_OK && first == 0 && second != 0;
  }
  ShowItem(IDC_PIN_BLOCKED, blocked);
}

void UserPage::ResetControls() {
  EnableControls();
  ShowItem(IDC_PIN_BLOCKED, false);
  ShowItem(IDC_PASSWORD_BLOCKED, false);
}

void UserPage::ShowPasswordBlocked() { ShowItem(IDC_PASSWORD_BLOCKED, true); }

void UserPage::HidePasswordBlocked() { ShowItem(IDC_PASSWORD_BLOCKED, false); }

void UserPage::RefreshTokenState() {
  UpdatePinBlockedLabel();
  RefreshPasswordState(FALSE);
}

HRESULT UserPage::OnActivate(HWND parent) {
  const HRESULT connected = TokenPropertyPage::OnActivate(parent);
  if (connected != S_OK) return connected;
  RefreshPasswordState(TRUE);

  IHostStatus* status = HostStatus();
  if (!status) return E_FAIL;
  LONG offered = 0;
  status->IsAutoRegistrationOffered(&offered);
  if (offered != 0) return S_OK;

  // Without Auto Registration, Import and Manage move one place to the right.
  HWND autoRegistration = Item(IDC_AUTO_REGISTRATION);
  HWND import = Item(IDC_IMPORT);
  HWND manage = Item(IDC_MANAGE);
  const RECT autoRegistrationRect = ItemRect(Window(), autoRegistration);
  const RECT importRect = ItemRect(Window(), import);
  ::ShowWindow(autoRegistration, SW_HIDE);
  ::MoveWindow(import, autoRegistrationRect.left, autoRegistrationRect.top,
               autoRegistrationRect.right - autoRegistrationRect.left,
               autoRegistrationRect.bottom - autoRegistrationRect.top, TRUE);
  ::MoveWindow(manage, importRect.left, importRect.top, importRect.right - importRect.left,
               importRect.bottom - importRect.top, TRUE);
  return S_OK;
}

HRESULT UserPage::RefreshPasswordState(BOOL quiet) {
  TokenAccessGuard guard(this);
  if (guard.Begin(quiet) != S_OK) return E_FAIL;
  TakeSerialNumber();
  WaitCursor wait;
  return FindSlotAndReportPasswordState();
}

void UserPage::TakeSerialNumber() {
  serial_.Reset();
  HostToken()->GetSerialNumber(serial_.Receive());
  HostToken()->CloseToken();
}

// Cryptoki side of the page. The page has no Cryptoki binding yet: the
// library is never loaded and no slot is found (slot id 0).

void UserPage::ReportPasswordBlocked() {
  // Needs the binding's vendor list and a slot: without them nothing is reported.
}

HRESULT UserPage::ReadCertificates() { return E_NOTIMPL; }

HRESULT UserPage::FindSlotAndReportPasswordState() { return E_NOTIMPL; }
