#pragma once
// The token's Cryptoki library loaded at run time, with its standard and vendor function lists.
// The tool and the host reach the software token only through this: both processes then
// share the token files that the library keeps.
#include <windows.h>

#include <string>
#include <vector>

#include "ZeltVendor.h"
#include "model/ScopedLibrary.h"

// One slot as the vendor list reports it; serial and label without their padding blanks.
struct TokenSlot {
  CK_SLOT_ID slot = 0;
  CK_ULONG state = Q_TOKEN_ABSENT;
  std::string serial;
  std::string label;
};

class CryptokiLibrary {
 public:
  CryptokiLibrary() = default;
  ~CryptokiLibrary();
  CryptokiLibrary(const CryptokiLibrary&) = delete;
  CryptokiLibrary& operator=(const CryptokiLibrary&) = delete;

  // "ZeltP11.dll" in the folder of the running executable.
  static std::wstring defaultPath();

  // Loads the library and takes both lists; on failure *error says why.
  bool load(const std::wstring& path, std::string* error);
  // C_Initialize with OS locking. CKR_CRYPTOKI_ALREADY_INITIALIZED counts as success: another
  // user in the process (the page, in the host) initialised it first.
  CK_RV initialize();
  // C_Finalize, only when this object's initialize did the initialising.
  void finalize();

  CK_FUNCTION_LIST_PTR p11() const { return p11_; }
  Q_FUNCTION_LIST_PTR vendor() const { return vendor_; }

  // Every slot in slot order.
  CK_RV listTokens(std::vector<TokenSlot>* slots) const;
  // The folder that holds the token files (from the path of slot 1's file), empty when unknown.
  std::string storeFolder() const;

 private:
  ScopedLibrary module_;
  CK_FUNCTION_LIST_PTR p11_ = nullptr;
  Q_FUNCTION_LIST_PTR vendor_ = nullptr;
  bool initialisedHere_ = false;
};

// Blank-padded Cryptoki text without its padding.
std::string trimPadded(const CK_UTF8CHAR* text, size_t size);
