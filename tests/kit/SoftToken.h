#pragma once
// The software token ZeltP11.dll as a test fixture: a fresh store folder, tokens
// with known contents, the call trace and injected failures. The fixture holds
// its own reference to the library, so code under test can load and free it freely.
#include <windows.h>

#include <string>
#include <vector>

#include "ZeltVendor.h"
#include "cryptoki/Pkcs11.h"

namespace testkit {

class SoftToken {
 public:
  SoftToken();
  ~SoftToken();
  SoftToken(const SoftToken&) = delete;
  SoftToken& operator=(const SoftToken&) = delete;

  bool ready() const { return standard_ && vendor_; }
  CK_FUNCTION_LIST* standard() const { return standard_; }
  Q_FUNCTION_LIST* vendor() const { return vendor_; }

  // A token in `slot` with the given serial (shown blank-padded) and user PIN.
  CK_RV CreateToken(CK_SLOT_ID slot, const std::string& serial, const std::string& userPin = "12345678",
                    const std::string& devicePin = "4321", const std::string& label = "Test token");
  CK_RV DeleteToken(CK_SLOT_ID slot);

  // Initialises Cryptoki for the fixture's own calls (harmless when already done).
  void EnsureInitialized();

  void StartTrace();
  std::vector<std::string> Trace() const;
  // Trace lines of one function ("C_Login").
  std::vector<std::string> Calls(const std::string& function) const;

  CK_RV Inject(const std::string& function, CK_ULONG nth, CK_RV rv, bool fromThenOn = false);
  void ResetHooks();

  // True when `pin` logs the user in on `slot` (opens and closes its own session).
  bool UserPinIs(CK_SLOT_ID slot, const std::string& pin);
  CK_ULONG SessionCount(CK_SLOT_ID slot);
  // Consecutive wrong user PINs that the token on `slot` has counted towards its lock.
  CK_ULONG PinFailures(CK_SLOT_ID slot);

  // Drops the fixture's reference to the library (to observe that code under test freed its own).
  void ReleaseLibrary();

 private:
  std::wstring dir_;
  HMODULE module_ = nullptr;
  CK_FUNCTION_LIST* standard_ = nullptr;
  Q_FUNCTION_LIST* vendor_ = nullptr;
};

}  // namespace testkit
