#include "HostStatus.h"

#include "ErrorText.h"

HRESULT HostStatus::SetPageFrame(HWND frame, LONG) {
  if (!context_) return E_UNEXPECTED;
  context_->pageFrame = frame;
  return S_OK;
}

HRESULT HostStatus::PageActivated(LONG) {
  if (!context_) return E_UNEXPECTED;
  context_->postTokenState();
  return S_OK;
}

HRESULT HostStatus::BeginTokenOperation() {
  if (!context_) return E_UNEXPECTED;
  context_->beginOperation();
  return S_OK;
}

HRESULT HostStatus::EndTokenOperation() {
  if (!context_) return E_UNEXPECTED;
  context_->endOperation();
  return S_OK;
}

HRESULT HostStatus::Refresh(BOOL full) {
  if (!context_) return E_UNEXPECTED;
  return context_->refresh(full != FALSE);
}

HRESULT HostStatus::ReportPasswordState(LONG code, LONG tokenId) {
  if (!context_) return E_UNEXPECTED;
  if (code == TPN_PASSWORD_BLOCKED || code == TPN_PASSWORD_UNBLOCKED)
    context_->passwordStateReported(code == TPN_PASSWORD_BLOCKED);
  context_->sendToPage(static_cast<UINT>(code), tokenId);
  return S_OK;
}

HRESULT HostStatus::GetErrorText(HRESULT code, BSTR* text) {
  if (!text) return E_POINTER;
  *text = nullptr;
  const std::wstring words = errortext::describe(code);
  if (words.empty()) return E_FAIL;
  *text = ::SysAllocString(words.c_str());
  return *text ? S_OK : E_OUTOFMEMORY;
}

HRESULT HostStatus::ShowStatus(HWND owner, BSTR text, LONG) {
  if (!context_) return E_UNEXPECTED;
  context_->status.show(context_->ownerFor(owner), text ? std::wstring(text, ::SysStringLen(text)) : std::wstring());
  return S_OK;
}

HRESULT HostStatus::HideStatus() {
  if (!context_) return E_UNEXPECTED;
  context_->status.hide();
  return S_OK;
}

HRESULT HostStatus::QueryRefreshNeeded(LONG* needed) {
  if (!needed) return E_POINTER;
  if (!context_) return E_UNEXPECTED;
  *needed = context_->refreshNeeded() ? 1 : 0;
  return S_OK;
}

HRESULT HostStatus::GetAutoRegistration(BOOL* enabled, LONG* value) {
  if (!enabled) return E_POINTER;
  if (!context_) return E_UNEXPECTED;
  *enabled = context_->settings.autoRegistrationEnabled() ? TRUE : FALSE;
  if (value) *value = 0;
  return S_OK;
}

HRESULT HostStatus::SetAutoRegistration(BOOL enabled) {
  if (!context_) return E_UNEXPECTED;
  const LONG rc = context_->settings.setAutoRegistrationEnabled(enabled != FALSE);
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

HRESULT HostStatus::IsAutoRegistrationOffered(LONG* offered) {
  if (!offered) return E_POINTER;
  if (!context_) return E_UNEXPECTED;
  *offered = context_->offerAutoRegistration && context_->settings.autoRegistrationOffered() ? 1 : 0;
  return S_OK;
}
