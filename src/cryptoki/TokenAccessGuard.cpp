#include "cryptoki/TokenAccessGuard.h"

#include "page/TokenPropertyPage.h"

HRESULT TokenAccessGuard::Begin(BOOL quiet) {
  if (!page_) return E_UNEXPECTED;
  status_ = page_->HostStatus();
  if (!status_) return E_NOINTERFACE;
  token_ = page_->HostToken();
  if (!token_) return E_NOINTERFACE;

  status_->BeginTokenOperation();
  LONG refreshNeeded = 0;
  status_->QueryRefreshNeeded(&refreshNeeded);
  HRESULT opened;
  if (refreshNeeded == 0) {
    opened = token_->OpenToken(0, 1);
  } else {
    if (status_->Refresh(TRUE) != S_OK) return E_ABORT;
    opened = token_->OpenToken(0, 0);
  }
  if (opened == S_OK) token_->UpdateTokenStatus();
  return quiet ? opened : token_->ReportResult(opened);
}

TokenAccessGuard::~TokenAccessGuard() {
  if (token_) token_->CloseToken();
  if (status_) {
    status_->EndTokenOperation();
    status_->Refresh(FALSE);
  }
}
