#pragma once
// The test hooks of the CSP stand-in ZeltCsp.dll, in the instance CryptoAPI loads into this
// process: injected failures of its entries, the trace of the entries called, and the count of
// contexts, keys and hashes it has handed out and not had back.
#include <windows.h>

#include <string>
#include <vector>

#include "ZeltCspTest.h"

namespace testkit {

class CspHooks {
 public:
  // Loads the CSP from beside the test and resets its hooks.
  CspHooks();
  // Resets the hooks; the CSP stays loaded (it pins itself).
  ~CspHooks();
  CspHooks(const CspHooks&) = delete;
  CspHooks& operator=(const CspHooks&) = delete;

  bool ready() const { return control_ != nullptr; }
  // "<entry>:<n>[+]:<error>[,...]"; false when the CSP refuses the text.
  bool Inject(const std::string& spec);
  void Reset();
  void StartTrace();
  std::vector<std::string> Trace() const;
  ZELT_CSP_COUNTS Counts() const;
  // The contexts, keys and hashes not given back, as "contexts/keys/hashes": "0/0/0" when none.
  std::string Open() const;

 private:
  ZeltCsp_TestControl_t control_ = nullptr;
};

}  // namespace testkit
