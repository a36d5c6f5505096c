#include "page/UserPage.h"

#include <new>

#include "cryptoki/CkStatus.h"
#include "cryptoki/PasswordChange.h"
#include "cryptoki/TokenAccessGuard.h"
#include "dialogs/AutoRegistrationDialog.h"
#include "dialogs/ImportCertificateDialog.h"
#include "dialogs/ListViewControl.h"
#include "dialogs/ManageCertificatesDialog.h"
#include "model/SecretBuffer.h"
#include "model/WaitCursor.h"
#include "res/resource.h"
#include "server/Module.h"

const DialogWindow::MessageEntry UserPage::kMessageMap[] = {
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
  // The base's handlers come first.
  ExtendMessageMap(kMessageMap);
  // Each page keeps its own window handles in its copy of the table.
  for (int i = 0; i < kControlCount; ++i) controls_[i] = kControls[i];
}

UserPage::~UserPage() {
  DestroyDetached();
  serial_.Reset();
  // The members go next, before the host interfaces of the base: first the
  // token (its session, the CSP's token choice, the "MY" store), then the
  // binding, which finalises Cryptoki and frees the library.
}

LRESULT UserPage::OnManage(UINT, WPARAM, LPARAM) {
  TokenAccessGuard guard(this);
  if (guard.Begin(FALSE) != S_OK) return E_FAIL;
  WaitCursor wait;
  TakeSerialNumber();
  ShowStatus(IDS_READING_CERTIFICATES, Window());

  const HRESULT read = ReadCertificates();
  if (read != S_OK) {
    HideStatus();
    ShowErrorMessage(IDS_READ_CERTIFICATES_FAILED, read, nullptr);
    return -1;
  }
  ListViewControl::InitControls();
  {
    // The dialog hides the status text once its list is full.
    ManageCertificatesDialog dialog(this, &token_);
    dialog.Run(::GetActiveWindow());
    ReportPasswordBlocked();
  }
  return 0;
}

LRESULT UserPage::OnChangePassword(UINT, WPARAM, LPARAM) {
  HRESULT rv;
  for (;;) {
    TokenAccessGuard guard(this);
    if (guard.Begin(FALSE) != S_OK) return E_FAIL;
    ScopedBstr oldPassword(ScopedBstr::Kind::Secret), newPassword(ScopedBstr::Kind::Secret);
    if (HostToken()->AskPasswordChange(oldPassword.Receive(), newPassword.Receive()) != S_OK) return S_OK;

    const HRESULT loaded = LoadLibraryOrTell();
    if (loaded != S_OK) return loaded;

    ShowStatus(IDS_CHANGING_PASSWORD, Window());
    rv = ChangePassword(oldPassword.Get(), newPassword.Get());
    HideStatus();
    if (rv != static_cast<HRESULT>(MapCkResult(CKR_PIN_INCORRECT))) break;
    ShowErrorMessage(IDS_INCORRECT_PASSWORD, 0, nullptr);
    // The passwords are wiped and the guard ends before the host asks again.
  }
  if (rv == S_OK) {
    ShowMessage(IDS_PASSWORD_CHANGED, nullptr, MB_ICONINFORMATION);
  } else if (rv == SecretBuffer::kNotRepresentable || rv == SecretBuffer::kTooLong) {
    // Nothing reached the token: the passwords were refused before the attempt.
    ShowTextRefused(rv, nullptr);
  } else {
    ShowErrorMessage(IDS_PASSWORD_CHANGE_FAILED, rv, nullptr);
  }
  ReportPasswordBlocked();
  return S_OK;
}

LRESULT UserPage::OnChangeUserPin(UINT, WPARAM, LPARAM) {
  TokenAccessGuard guard(this);
  if (guard.Begin(FALSE) != S_OK) return E_FAIL;
  // Asking for the PINs and changing the user PIN are the host's work.
  if (HostToken()->ChangeUserPin() == S_OK) ShowMessage(IDS_USER_PIN_CHANGED, nullptr, MB_ICONINFORMATION);
  HostToken()->UpdateTokenStatus();
  return S_OK;
}

LRESULT UserPage::OnImport(UINT, WPARAM, LPARAM) {
  TokenAccessGuard guard(this);
  if (guard.Begin(FALSE) != S_OK) return E_FAIL;
  WaitCursor wait;
  TakeSerialNumber();
  ImportCertificateDialog dialog(this, &token_);
  dialog.Run(::GetActiveWindow());
  ReportPasswordBlocked();
  return S_OK;
}

LRESULT UserPage::OnAutoRegistration(UINT, WPARAM, LPARAM) {
  IHostStatus* status = HostStatus();
  if (!status) return -1;
  BOOL enabled = FALSE;
  LONG ignored = 0;
  status->GetAutoRegistration(&enabled, &ignored);
  AutoRegistrationDialog dialog(enabled);
  if (dialog.Run(::GetActiveWindow()) == IDOK) status->SetAutoRegistration(dialog.Enabled());
  return S_OK;
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
  const HRESULT loaded = LoadLibraryOrTell();
  if (loaded != S_OK) return loaded;
  if (!binding_->StandardList()) return E_POINTER;
  const HRESULT found = FindSlot();
  if (found != S_OK) return found;
  ReportPasswordBlocked();
  return S_OK;
}

HRESULT UserPage::ChangePassword(BSTR oldPassword, BSTR newPassword) {
  TakeSerialNumber();
  WaitCursor wait;
  if (!binding_ || !binding_->StandardList()) return E_POINTER;

  // A password the token would not receive as typed, or one longer than a password buffer
  // holds, is never sent: the attempt would count against the lock with a password the user
  // did not type.
  SecretBuffer serial, oldText, newText;
  HRESULT converted = oldText.AssignWide(oldPassword, SecretBuffer::kTextLimit);
  if (converted == S_OK) converted = newText.AssignWide(newPassword, SecretBuffer::kTextLimit);
  if (converted == S_OK) converted = SerialText(serial);
  if (converted != S_OK) return converted;
  CK_SLOT_ID slot = 0;
  bool attempted = false;
  const HRESULT rv = ChangeTokenPassword(binding_.get(), serial.data(), oldText.data(), oldText.length(),
                                         newText.data(), newText.length(), &slot, &attempted);
  slotId_ = static_cast<ULONG>(slot);
  // The host learns after every attempt that reached the token whether it locked the password.
  if (attempted) ReportPasswordBlocked();
  return rv;
}

void UserPage::TakeSerialNumber() {
  serial_.Reset();
  HostToken()->GetSerialNumber(serial_.Receive());
  HostToken()->CloseToken();
}

HRESULT UserPage::LoadLibraryOrTell() {
  if (!binding_) {
    binding_.reset(new (std::nothrow) CryptokiBinding());
    if (!binding_) return E_OUTOFMEMORY;
  }
  if (!binding_->Load()) {
    ShowErrorMessage(IDS_CRYPTOKI_NOT_LOADED, 0, nullptr);
    return E_FAIL;
  }
  return S_OK;
}

HRESULT UserPage::FindSlot() {
  slotId_ = 0;
  SecretBuffer serial;
  const HRESULT converted = SerialText(serial);
  if (converted != S_OK) return converted;
  CK_SLOT_ID slot = 0;
  const CK_RV rv = binding_->FindTokenSlot(serial.data(), &slot);
  slotId_ = static_cast<ULONG>(slot);
  return MapCkResult(rv);
}

HRESULT UserPage::SerialText(SecretBuffer& serial) const {
  // Not secret, but the same ANSI conversion keeps null as null.
  const HRESULT converted = serial.AssignWide(serial_.Get());
  // Token serials are printable ASCII: a text the code page cannot hold names no token.
  if (converted == SecretBuffer::kNotRepresentable) return MapCkResult(CryptokiBinding::kNoTokenPresent);
  return converted;
}

void UserPage::ReportPasswordBlocked() {
  if (!binding_ || !HostToken() || !HostStatus() || slotId_ == 0) return;
  CK_VENDOR_FUNCTION_LIST* vendor = binding_->VendorList();
  if (!vendor || !vendor->Q_GetPinStatus) return;
  LONG id = 0;
  HostToken()->GetTokenId(&id);
  const CK_RV rv = vendor->Q_GetPinStatus(slotId_, kQueryUserPin);
  HostStatus()->ReportPasswordState(rv == CKR_PIN_LOCKED ? TPN_PASSWORD_BLOCKED : TPN_PASSWORD_UNBLOCKED, id);
}

HRESULT UserPage::ReadCertificates() {
  const HRESULT loaded = LoadLibraryOrTell();
  if (loaded != S_OK) return loaded;
  const HRESULT found = FindSlot();
  if (found != S_OK) return found;
  const HRESULT opened = token_.open(binding_.get(), serial_.Get(), slotId_);
  if (opened != S_OK) return opened;
  return token_.openMyStore();
}
