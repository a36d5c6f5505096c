#include "TokenLink.h"

#include <vector>

#include "CspModule.h"
#include "ProviderState.h"

TokenLink::~TokenLink() {
  store_.reset();
  session_.reset();  // before the library is finalised and unloaded
}

DWORD TokenLink::open() {
  std::string error;
  if (!library_.load(cspmodule::folder() + L"ZeltP11.dll", &error)) return static_cast<DWORD>(NTE_PROVIDER_DLL_FAIL);
  CK_RV rv = library_.initialize();
  if (rv != CKR_OK) return cspError(rv);
  CK_FUNCTION_LIST_PTR p11 = library_.p11();
  CK_ULONG count = 0;
  rv = p11->C_GetSlotList(CK_TRUE, nullptr, &count);
  std::vector<CK_SLOT_ID> slots(count);
  if (rv == CKR_OK && count) rv = p11->C_GetSlotList(CK_TRUE, slots.data(), &count);
  if (rv != CKR_OK) return cspError(rv);
  slots.resize(count);
  std::string wanted;
  const bool chosen = providerstate::selectedSerial(&wanted);
  for (CK_SLOT_ID slot : slots) {
    CK_TOKEN_INFO info;
    if (p11->C_GetTokenInfo(slot, &info) != CKR_OK) continue;
    const std::string serial = trimPadded(info.serialNumber, sizeof info.serialNumber);
    if (chosen && serial != wanted) continue;
    auto session = std::make_unique<TokenSession>(p11);
    rv = session->open(slot);
    if (rv != CKR_OK) return cspError(rv);
    session_ = std::move(session);
    store_ = std::make_unique<ContainerStore>(*session_);
    serial_ = serial;
    return 0;
  }
  return static_cast<DWORD>(SCARD_E_NO_SMARTCARD);
}

DWORD TokenLink::login() {
  std::string password;
  if (!providerstate::password(&password)) return static_cast<DWORD>(SCARD_W_CARD_NOT_AUTHENTICATED);
  const CK_RV rv = session_->login(password);
  ::SecureZeroMemory(&password[0], password.size());
  return rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN ? 0 : cspError(rv);
}

DWORD cspError(CK_RV rv) {
  switch (rv) {
    case CKR_OK: return 0;
    case CKR_PIN_INCORRECT: return static_cast<DWORD>(SCARD_W_WRONG_CHV);
    case CKR_PIN_LOCKED: return static_cast<DWORD>(SCARD_W_CHV_BLOCKED);
    case CKR_USER_NOT_LOGGED_IN: return static_cast<DWORD>(SCARD_W_CARD_NOT_AUTHENTICATED);
    case CKR_TOKEN_NOT_PRESENT:
    case CKR_DEVICE_REMOVED:
    case CKR_SLOT_ID_INVALID: return static_cast<DWORD>(SCARD_E_NO_SMARTCARD);
    case CKR_HOST_MEMORY: return static_cast<DWORD>(NTE_NO_MEMORY);
    default: return static_cast<DWORD>(NTE_FAIL);
  }
}

DWORD cspError(const Outcome& outcome) {
  if (!outcome.failed()) return 0;
  return outcome.tokenValue() != CKR_OK ? cspError(outcome.tokenValue()) : static_cast<DWORD>(NTE_FAIL);
}
