#pragma once
#include "cryptoki/CryptokiBinding.h"

// One attempt to change the PKI storage password (the Cryptoki user PIN) of the
// token whose serial number contains `serial`: finds the slot, opens one session,
// logs in with the old password, sets the new one, logs out, and closes the
// session and every session of the slot, whatever happened before.
// Null passwords are passed as null with length 0. `slot` receives the slot found;
// `attempted` (optional) tells whether a session was opened, that is whether the
// attempt reached the token and may have changed its lock state.
// Returns the mapped Cryptoki status: 0, or 0xB001xxxx (0xB00100A0 for a wrong
// old password); E_POINTER without a usable binding.
HRESULT ChangeTokenPassword(CryptokiBinding* binding, const char* serial, const char* oldPassword,
                            size_t oldLength, const char* newPassword, size_t newLength, CK_SLOT_ID* slot,
                            bool* attempted = nullptr);
