#pragma once
// The token vendor's extra function list, as far as the page uses it: the same form
// as CK_FUNCTION_LIST (a CK_VERSION, then cdecl function pointers, packed to one byte
// on Win32), of which only entry 3 is called.
#include "cryptoki/Pkcs11.h"

#ifdef _WIN32
#pragma pack(push, 1)
#endif

typedef CK_RV (*CK_Q_GETPINSTATUS)(CK_SLOT_ID slotID, CK_ULONG which);

struct CK_VENDOR_FUNCTION_LIST {
  CK_VERSION version;
  void (*reserved[3])(void);
  CK_Q_GETPINSTATUS Q_GetPinStatus;  // 3: CKR_PIN_LOCKED while the user PIN is locked
};

#ifdef _WIN32
#pragma pack(pop)
static_assert(offsetof(CK_VENDOR_FUNCTION_LIST, Q_GetPinStatus) == 2 + 4 * 3,
              "vendor list entry 3 must start at byte 14");
#endif

typedef CK_RV (*CK_Q_GETFUNCTIONLIST)(CK_VENDOR_FUNCTION_LIST** list);

// Which PIN Q_GetPinStatus reports on: the user PIN (the PKI storage password).
constexpr CK_ULONG kQueryUserPin = 1;
