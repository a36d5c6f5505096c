#include "TokenLink.h"

#include <vector>

#include "CspModule.h"
#include "ProviderState.h"

namespace {

// A session of the CSP's own beside the link's, for the calls TokenSession does not offer.
class RawSession {
 public:
  RawSession(CK_FUNCTION_LIST_PTR p11, CK_SLOT_ID slot) : p11_(p11) {
    if (p11_->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &handle_) != CKR_OK) handle_ = 0;
  }
  ~RawSession() {
    if (handle_) p11_->C_CloseSession(handle_);
  }
  RawSession(const RawSession&) = delete;
  RawSession& operator=(const RawSession&) = delete;
  CK_SESSION_HANDLE get() const { return handle_; }

 private:
  CK_FUNCTION_LIST_PTR p11_;
  CK_SESSION_HANDLE handle_ = 0;
};

CK_UTF8CHAR_PTR pinBytes(std::string& pin) { return reinterpret_cast<CK_UTF8CHAR_PTR>(&pin[0]); }

}  // namespace

TokenLink::~TokenLink() {
  lastError_.save();
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
    slot_ = slot;
    return 0;
  }
  return static_cast<DWORD>(SCARD_E_NO_SMARTCARD);
}

DWORD TokenLink::login() {
  std::string password;
  if (!providerstate::password(&password)) return static_cast<DWORD>(SCARD_W_CARD_NOT_AUTHENTICATED);
  CK_RV rv = session_->login(password);
  if (rv == CKR_USER_ALREADY_LOGGED_IN) {
    // Another session of the process logged in; that proves nothing about this password. Log
    // out and in again with it, as a card checks the PIN it is given: a wrong one is counted
    // and leaves the token logged out for everyone. A right one leaves the other's login in
    // place, as this link did not make it (TokenSession undoes only its own).
    RawSession probe(library_.p11(), slot_);
    rv = probe.get() ? library_.p11()->C_Logout(probe.get()) : CKR_DEVICE_ERROR;
    if (rv == CKR_OK || rv == CKR_USER_NOT_LOGGED_IN)
      rv = library_.p11()->C_Login(probe.get(), CKU_USER, pinBytes(password), static_cast<CK_ULONG>(password.size()));
  }
  if (!password.empty()) ::SecureZeroMemory(&password[0], password.size());
  return rv == CKR_OK ? 0 : cspError(rv);
}

DWORD TokenLink::sign(const std::vector<uint8_t>& keyId, const std::vector<uint8_t>& data,
                      std::vector<uint8_t>* signature) {
  std::vector<CK_OBJECT_HANDLE> keys;
  CK_RV rv = session_->find(
      AttributeList().ulong(CKA_CLASS, CKO_PRIVATE_KEY).boolean(CKA_TOKEN, true).bytes(CKA_ID, keyId), &keys);
  if (rv != CKR_OK) return cspError(rv);
  if (keyId.empty() || keys.empty()) return static_cast<DWORD>(NTE_NO_KEY);
  CK_FUNCTION_LIST_PTR p11 = library_.p11();
  RawSession session(p11, slot_);
  if (!session.get()) return static_cast<DWORD>(NTE_FAIL);
  CK_MECHANISM mechanism = {CKM_RSA_PKCS, nullptr, 0};
  rv = p11->C_SignInit(session.get(), &mechanism, keys[0]);
  CK_ULONG length = 0;
  std::vector<uint8_t> input(data);
  if (rv == CKR_OK) rv = p11->C_Sign(session.get(), input.data(), static_cast<CK_ULONG>(input.size()), nullptr, &length);
  if (rv == CKR_OK) {
    signature->assign(length, 0);
    rv = p11->C_Sign(session.get(), input.data(), static_cast<CK_ULONG>(input.size()), signature->data(), &length);
    signature->resize(length);
  }
  return cspError(rv);
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
