// Vendor function list of ZeltP11.dll, the software token.
//
// Obtained through the export Q_GetFunctionList (next to C_GetFunctionList). The list has
// the form of CK_FUNCTION_LIST: a CK_VERSION followed by function pointers, packed to one
// byte under _WIN32, so entry n begins at byte 2 + 4n; every function is cdecl and returns
// a CK_RV. Entry 3, Q_GetPinStatus, is the one the user page calls; the others serve the
// host (device PIN), the provisioning tool (token administration) and the tests (hooks).
//
// Rules shared by all entries:
// - Entries 0-12 need C_Initialize first (else CKR_CRYPTOKI_NOT_INITIALIZED); the test-hook
//   entries 13-21 work at any time and their settings outlive C_Finalize.
// - Slot ids run from 1 to the slot count (Q_VENDOR_INFO); an id outside answers
//   CKR_SLOT_ID_INVALID, a slot without a usable token answers CKR_TOKEN_NOT_PRESENT.
// - Texts (PINs, serial, label) are bytes with an explicit length, no NUL needed; a null
//   pointer with a non-zero length answers CKR_ARGUMENTS_BAD.
// - Output buffers follow the Cryptoki length convention: a null buffer asks for the size
//   in *pulLen; a short one answers CKR_BUFFER_TOO_SMALL with the size needed in *pulLen.
// - Every change is written to the token's file before the call returns.
//
// PINs of a token (the "which" argument): Q_PIN_SO and Q_PIN_USER are the Cryptoki SO and
// user PINs (CKU_SO, CKU_USER; the user PIN is the page's PKI storage password). Q_PIN_DEVICE
// is the device PIN that the host owns (the page's "User PIN"); Cryptoki never sees it.
// Each PIN has its own limit of consecutive failures; reaching it locks the PIN.
#pragma once

#include "cryptoki/Pkcs11.h"

#ifdef _WIN32
#pragma pack(push, 1)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Version of this list's layout, reported in Q_FUNCTION_LIST::version. */
#define Q_VENDOR_VERSION_MAJOR 1
#define Q_VENDOR_VERSION_MINOR 0

/* Which PIN: the values of CKU_SO and CKU_USER, then the device PIN. */
#define Q_PIN_SO 0UL
#define Q_PIN_USER 1UL
#define Q_PIN_DEVICE 2UL

/* Defaults that Q_CreateToken applies to zero fields of Q_TOKEN_PARAMS. */
#define Q_DEFAULT_PIN_LIMIT 5UL
#define Q_DEFAULT_MIN_PIN_LEN 4UL
#define Q_DEFAULT_MAX_PIN_LEN 64UL

/* Q_PIN_INFO::flags */
#define Q_PIN_FLAG_SET 0x1UL    /* the PIN has a value (a user PIN may be uninitialised) */
#define Q_PIN_FLAG_LOCKED 0x2UL /* failures reached the limit, or Q_SetPinLock locked it */

/* Q_TOKEN_ENTRY::ulState */
#define Q_TOKEN_ABSENT 0UL  /* no token file for the slot */
#define Q_TOKEN_PRESENT 1UL /* a valid token */
#define Q_TOKEN_CORRUPT 2UL /* a file that fails its checks; the slot reports no token */
#define Q_TOKEN_REMOVED 3UL /* a valid file, but removal is simulated (Q_RemoveTokenAfter) */

/* Q_TraceControl flags; Q_TRACE_OFF is 0. */
#define Q_TRACE_OFF 0x0UL
#define Q_TRACE_ON 0x1UL
#define Q_TRACE_CLEAR 0x2UL /* forget the lines recorded so far (may be combined with ON) */

/* Q_InjectFailure flags */
#define Q_INJECT_ONCE 0x0UL    /* only the Nth call fails */
#define Q_INJECT_FROM_ON 0x1UL /* the Nth call and every later one fail */

/* Q_FailWrite modes */
#define Q_WRITE_FAIL_HALFWAY 0x1UL  /* half the temporary file is written, then the write fails */
#define Q_WRITE_CRASH_HALFWAY 0x2UL /* half the temporary file is written, then the process ends */

/* Exit code of a process ended by Q_WRITE_CRASH_HALFWAY. */
#define Q_CRASH_EXIT_CODE 0x5A17UL

typedef struct Q_VENDOR_INFO {
  CK_VERSION version;     /* Q_VENDOR_VERSION_MAJOR.MINOR */
  CK_ULONG ulEntryCount;  /* number of function pointers in Q_FUNCTION_LIST */
  CK_ULONG ulSlotCount;   /* slots 1..ulSlotCount */
  CK_ULONG ulLatencyMs;   /* current simulated round trip per call */
} Q_VENDOR_INFO;

typedef struct Q_PIN_INFO {
  CK_ULONG ulLimit;      /* consecutive failures that lock the PIN */
  CK_ULONG ulFailures;   /* consecutive failures so far (0 after a success) */
  CK_ULONG ulTriesLeft;  /* ulLimit - ulFailures, 0 when locked */
  CK_FLAGS flags;        /* Q_PIN_FLAG_* */
} Q_PIN_INFO;

/* Everything a new token starts with. Lengths 0 with null pointers are allowed where noted. */
typedef struct Q_TOKEN_PARAMS {
  CK_UTF8CHAR_PTR pSerial;     /* 1..16 bytes; shown blank-padded in CK_TOKEN_INFO */
  CK_ULONG ulSerialLen;
  CK_UTF8CHAR_PTR pLabel;      /* 0..32 bytes; blank-padded in CK_TOKEN_INFO */
  CK_ULONG ulLabelLen;
  CK_UTF8CHAR_PTR pSoPin;      /* required */
  CK_ULONG ulSoPinLen;
  CK_UTF8CHAR_PTR pUserPin;    /* null/0: user PIN not initialised (C_InitPIN sets it) */
  CK_ULONG ulUserPinLen;
  CK_UTF8CHAR_PTR pDevicePin;  /* null/0: the token has no device PIN */
  CK_ULONG ulDevicePinLen;
  CK_UTF8CHAR_PTR pDevicePuk;  /* unblock code for Q_UnblockDevicePin; null/0: none */
  CK_ULONG ulDevicePukLen;
  CK_ULONG ulUserPinLimit;     /* 0: Q_DEFAULT_PIN_LIMIT */
  CK_ULONG ulSoPinLimit;       /* 0: Q_DEFAULT_PIN_LIMIT */
  CK_ULONG ulDevicePinLimit;   /* 0: Q_DEFAULT_PIN_LIMIT */
  CK_ULONG ulMinPinLen;        /* 0: Q_DEFAULT_MIN_PIN_LEN; applies to all three PINs */
  CK_ULONG ulMaxPinLen;        /* 0: Q_DEFAULT_MAX_PIN_LEN */
} Q_TOKEN_PARAMS;

typedef struct Q_TOKEN_ENTRY {
  CK_SLOT_ID slotID;
  CK_ULONG ulState;            /* Q_TOKEN_* */
  CK_UTF8CHAR serialNumber[16]; /* blank-padded; blanks when absent or corrupt */
  CK_UTF8CHAR label[32];        /* blank-padded */
} Q_TOKEN_ENTRY;

struct Q_FUNCTION_LIST;
typedef struct Q_FUNCTION_LIST *Q_FUNCTION_LIST_PTR;
typedef struct Q_FUNCTION_LIST **Q_FUNCTION_LIST_PTR_PTR;

/* Export of ZeltP11.dll (undecorated, cdecl): fills *ppList with the vendor list. */
typedef CK_RV (*CK_Q_GetFunctionList)(Q_FUNCTION_LIST_PTR_PTR ppList);

/* 0: what this build offers. */
typedef CK_RV (*CK_Q_GetVendorInfo)(Q_VENDOR_INFO *pInfo);
/* 1: full path of the file that holds, or would hold, the token of a slot: UTF-8,
   NUL-terminated, *pulLen counts the NUL. */
typedef CK_RV (*CK_Q_GetTokenFilePath)(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPath, CK_ULONG_PTR pulLen);
/* 2: reserved; answers CKR_FUNCTION_NOT_SUPPORTED. */
typedef CK_RV (*CK_Q_Reserved)(void);
/* 3: CKR_PIN_LOCKED when the PIN is locked, CKR_OK when not; which: Q_PIN_*. */
typedef CK_RV (*CK_Q_GetPinStatus)(CK_SLOT_ID slotID, CK_ULONG which);
/* 4: limit, failures and flags of a PIN. */
typedef CK_RV (*CK_Q_GetPinInfo)(CK_SLOT_ID slotID, CK_ULONG which, Q_PIN_INFO *pInfo);

/* Device PIN (host). Wrong PIN: CKR_PIN_INCORRECT, counted; locked: CKR_PIN_LOCKED;
   a token without a device PIN: CKR_USER_PIN_NOT_INITIALIZED. */
/* 5: checks the PIN; success resets the failure count. */
typedef CK_RV (*CK_Q_VerifyDevicePin)(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPin, CK_ULONG ulPinLen);
/* 6: replaces the PIN after checking the old one; a new length outside the token's
   min..max PIN length answers CKR_PIN_LEN_RANGE. */
typedef CK_RV (*CK_Q_ChangeDevicePin)(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pOldPin, CK_ULONG ulOldLen,
                                      CK_UTF8CHAR_PTR pNewPin, CK_ULONG ulNewLen);
/* 7: with the unblock code, sets a new PIN and clears the lock. Wrong code: CKR_PIN_INCORRECT
   (not counted); no code on the token: CKR_FUNCTION_NOT_SUPPORTED. */
typedef CK_RV (*CK_Q_UnblockDevicePin)(CK_SLOT_ID slotID, CK_UTF8CHAR_PTR pPuk, CK_ULONG ulPukLen,
                                       CK_UTF8CHAR_PTR pNewPin, CK_ULONG ulNewLen);

/* Token administration (provisioning tool). No session or login is needed. */
/* 8: creates a token in an empty slot (or over a corrupt file). Occupied: CKR_FUNCTION_FAILED;
   bad lengths or values: CKR_ARGUMENTS_BAD / CKR_PIN_LEN_RANGE. */
typedef CK_RV (*CK_Q_CreateToken)(CK_SLOT_ID slotID, const Q_TOKEN_PARAMS *pParams);
/* 9: deletes the token file of a slot (also a corrupt one); sessions on it become invalid. */
typedef CK_RV (*CK_Q_DeleteToken)(CK_SLOT_ID slotID);
/* 10: locks a PIN (CK_TRUE) or unlocks it and clears its failure count (CK_FALSE). */
typedef CK_RV (*CK_Q_SetPinLock)(CK_SLOT_ID slotID, CK_ULONG which, CK_BBOOL locked);
/* 11: one entry per slot, in slot order; pEntries null asks for the count. */
typedef CK_RV (*CK_Q_ListTokens)(Q_TOKEN_ENTRY *pEntries, CK_ULONG_PTR pulCount);
/* 12: changes the failure limit of a PIN (1..255); failures already at or over it lock it. */
typedef CK_RV (*CK_Q_SetPinLimit)(CK_SLOT_ID slotID, CK_ULONG which, CK_ULONG ulLimit);

/* Test hooks. All off by default; see README.md for the matching environment variables. */
/* 13: Q_TRACE_* flags. */
typedef CK_RV (*CK_Q_TraceControl)(CK_FLAGS flags);
/* 14: the recorded lines as text, one call per line ("\n"-ended), NUL-terminated;
   *pulLen counts the NUL. */
typedef CK_RV (*CK_Q_TraceRead)(CK_UTF8CHAR_PTR pText, CK_ULONG_PTR pulLen);
/* 15: writes the recorded lines to a file (UTF-8 path), replacing it. */
typedef CK_RV (*CK_Q_TraceDump)(CK_UTF8CHAR_PTR pPath, CK_ULONG ulPathLen);
/* 16: the ulNth call of pFunction (e.g. "C_Login"), counted from now, 1-based, answers rv
   without doing anything; Q_INJECT_FROM_ON makes that call and all later ones answer it.
   A new injection for the same function replaces the old one. */
typedef CK_RV (*CK_Q_InjectFailure)(CK_UTF8CHAR_PTR pFunction, CK_ULONG ulFunctionLen,
                                    CK_ULONG ulNth, CK_FLAGS flags, CK_RV rv);
/* 17: clears injected failures, write failures, simulated removals and latency (not the trace). */
typedef CK_RV (*CK_Q_ResetTestHooks)(void);
/* 18: the token of the slot is removed once ulCalls further calls have been made (0: now).
   Then its sessions answer CKR_DEVICE_REMOVED and the slot answers CKR_TOKEN_NOT_PRESENT. */
typedef CK_RV (*CK_Q_RemoveTokenAfter)(CK_SLOT_ID slotID, CK_ULONG ulCalls);
/* 19: ends a simulated removal; the token is read from its file again (old sessions stay gone). */
typedef CK_RV (*CK_Q_InsertToken)(CK_SLOT_ID slotID);
/* 20: every later call sleeps this long first (0: off). */
typedef CK_RV (*CK_Q_SetLatency)(CK_ULONG ulMilliseconds);
/* 21: the ulNth token-file write from now (1-based) stops half-way: Q_WRITE_FAIL_HALFWAY makes
   the call answer CKR_DEVICE_ERROR with the token unchanged; Q_WRITE_CRASH_HALFWAY ends the
   process with exit code Q_CRASH_EXIT_CODE. ulNth 0 cancels. */
typedef CK_RV (*CK_Q_FailWrite)(CK_ULONG ulNth, CK_ULONG mode);

struct Q_FUNCTION_LIST {
  CK_VERSION version;
  CK_Q_GetVendorInfo Q_GetVendorInfo;             /* 0 */
  CK_Q_GetTokenFilePath Q_GetTokenFilePath;       /* 1 */
  CK_Q_Reserved Q_Reserved;                       /* 2 */
  CK_Q_GetPinStatus Q_GetPinStatus;               /* 3 */
  CK_Q_GetPinInfo Q_GetPinInfo;                   /* 4 */
  CK_Q_VerifyDevicePin Q_VerifyDevicePin;         /* 5 */
  CK_Q_ChangeDevicePin Q_ChangeDevicePin;         /* 6 */
  CK_Q_UnblockDevicePin Q_UnblockDevicePin;       /* 7 */
  CK_Q_CreateToken Q_CreateToken;                 /* 8 */
  CK_Q_DeleteToken Q_DeleteToken;                 /* 9 */
  CK_Q_SetPinLock Q_SetPinLock;                   /* 10 */
  CK_Q_ListTokens Q_ListTokens;                   /* 11 */
  CK_Q_SetPinLimit Q_SetPinLimit;                 /* 12 */
  CK_Q_TraceControl Q_TraceControl;               /* 13 */
  CK_Q_TraceRead Q_TraceRead;                     /* 14 */
  CK_Q_TraceDump Q_TraceDump;                     /* 15 */
  CK_Q_InjectFailure Q_InjectFailure;             /* 16 */
  CK_Q_ResetTestHooks Q_ResetTestHooks;           /* 17 */
  CK_Q_RemoveTokenAfter Q_RemoveTokenAfter;       /* 18 */
  CK_Q_InsertToken Q_InsertToken;                 /* 19 */
  CK_Q_SetLatency Q_SetLatency;                   /* 20 */
  CK_Q_FailWrite Q_FailWrite;                     /* 21 */
};

#define Q_FUNCTION_LIST_ENTRIES 22UL

#ifdef __cplusplus
}
#endif

#ifdef _WIN32
#pragma pack(pop)
// Callers index the list by entry number; keep the layout fixed.
static_assert(offsetof(Q_FUNCTION_LIST, Q_GetPinStatus) == 2 + 4 * 3,
              "vendor entry 3 must begin at byte 14");
static_assert(sizeof(Q_FUNCTION_LIST) == 2 + 4 * Q_FUNCTION_LIST_ENTRIES,
              "vendor list must be packed to 1 byte");
static_assert(sizeof(Q_TOKEN_ENTRY) == 4 + 4 + 16 + 32, "Q_TOKEN_ENTRY layout");
#endif
