#include "cryptoki/PasswordChange.h"

#include "cryptoki/CkStatus.h"

namespace {
CK_UTF8CHAR_PTR Pin(const char* text) { return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(text)); }
}  // namespace

HRESULT ChangeTokenPassword(CryptokiBinding* binding, const char* serial, const char* oldPassword,
                            size_t oldLength, const char* newPassword, size_t newLength, CK_SLOT_ID* slot,
                            bool* attempted) {
  CK_SLOT_ID found = 0;
  if (slot) *slot = 0;
  if (attempted) *attempted = false;
  if (!binding || !binding->StandardList()) return E_POINTER;
  CK_FUNCTION_LIST* ck = binding->StandardList();

  CK_RV rv = binding->FindTokenSlot(serial, &found);
  if (slot) *slot = found;
  if (rv != CKR_OK) return MapCkResult(rv);

  CK_SESSION_HANDLE session = 0;
  rv = ck->C_OpenSession(found, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session);
  if (rv != CKR_OK) return MapCkResult(rv);
  if (attempted) *attempted = true;

  const CK_ULONG oldLen = oldPassword ? static_cast<CK_ULONG>(oldLength) : 0;
  const CK_ULONG newLen = newPassword ? static_cast<CK_ULONG>(newLength) : 0;
  rv = ck->C_Login(session, CKU_USER, Pin(oldPassword), oldLen);
  if (rv == CKR_OK) {
    rv = ck->C_SetPIN(session, Pin(oldPassword), oldLen, Pin(newPassword), newLen);
    ck->C_Logout(session);
  }
  ck->C_CloseSession(session);
  ck->C_CloseAllSessions(found);
  return MapCkResult(rv);
}
