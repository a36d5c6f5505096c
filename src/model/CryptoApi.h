#pragma once
// What the model's CryptoAPI calls share: the encoding of the token's certificates and the status
// of a call that failed.
#include <windows.h>
#include <wincrypt.h>

#include "model/Status.h"

static_assert(StatusOk == S_OK && StatusFail == E_FAIL && StatusOutOfMemory == E_OUTOFMEMORY &&
                  StatusPointer == E_POINTER && StatusUnexpected == E_UNEXPECTED &&
                  StatusNoInterface == E_NOINTERFACE,
              "pure status codes must equal the platform's");
static_assert(sizeof(Status) == sizeof(HRESULT), "a status carries an HRESULT unchanged");

// DER certificates, as every certificate call of the module names them.
constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The thread's last error, as the status of the call that just failed.
inline Status lastErrorStatus() { return static_cast<Status>(::GetLastError()); }

// The status of a silent open of a container that failed: NTE_SILENT_CONTEXT there means that no
// token is present.
inline Status silentOpenStatus() {
  const DWORD error = ::GetLastError();
  return static_cast<Status>(error == static_cast<DWORD>(NTE_SILENT_CONTEXT) ? SCARD_E_NO_SMARTCARD : error);
}
