#pragma once
#include <windows.h>

#include "cryptoki/Pkcs11.h"
#include "cryptoki/VendorFunctionList.h"

// Loads the token's Cryptoki library, initialises it and finds the token's slot.
// The library module is process-wide: every binding that loaded it counts as one
// user, and the last user to unload finalises Cryptoki and frees the module, so
// two pages in one process never pull it out from under each other.
class CryptokiBinding {
 public:
  static constexpr const char* kLibraryName = "ZeltP11.dll";

  CryptokiBinding() : CryptokiBinding(kLibraryName) {}
  // `library` is the file handed to the system loader (default search order).
  explicit CryptokiBinding(const char* library);
  virtual ~CryptokiBinding();
  CryptokiBinding(const CryptokiBinding&) = delete;
  CryptokiBinding& operator=(const CryptokiBinding&) = delete;

  // TRUE when the standard function list is usable and Cryptoki is initialised.
  BOOL Load();
  // Finalises (last user only) and releases the module.
  BOOL Unload();

  CK_FUNCTION_LIST* StandardList() const { return standard_; }
  CK_VENDOR_FUNCTION_LIST* VendorList() const { return vendor_; }
  BOOL Initialised() const { return initialised_; }

  // Status of FindTokenSlot when no slot holds a token. Users have always been
  // shown 0xB00100E1 for it, so it keeps 0xE1 rather than the library's own
  // CKR_TOKEN_NOT_PRESENT (0xE0).
  static constexpr CK_RV kNoTokenPresent = 0xE1;

  // Finds the slot whose token's serial number contains `serial` (ANSI text,
  // compared upper-cased). No match: slot 0 and normally CKR_OK; no token at
  // all: slot 0 and kNoTokenPresent.
  CK_RV FindTokenSlot(const char* serial, CK_SLOT_ID* slot);

  // Number of bindings that hold the loaded library (0: not loaded).
  static LONG LibraryUsers();

 private:
  CK_RV Initialize();

  const char* library_;
  CK_FUNCTION_LIST* standard_ = nullptr;
  CK_VENDOR_FUNCTION_LIST* vendor_ = nullptr;
  BOOL initialised_ = FALSE;
  bool holdsModule_ = false;
};
