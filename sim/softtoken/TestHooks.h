// Injected failures, simulated removals, latency and write faults: the test hooks other than
// the trace. Pure code; all of it off until a vendor entry or the environment turns it on.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "WriteFault.h"
#include "cryptoki/Pkcs11.h"

namespace softtoken {

class TestHooks {
 public:
  struct Settings {
    std::string trace;       // ZELT_SOFTTOKEN_TRACE
    std::string latency;     // ZELT_SOFTTOKEN_LATENCY_MS
    std::string fail;        // ZELT_SOFTTOKEN_FAIL
    std::string removeAfter; // ZELT_SOFTTOKEN_REMOVE_AFTER
    std::string failWrite;   // ZELT_SOFTTOKEN_FAIL_WRITE
  };

  // Applies the hooks that the settings name; a malformed setting is ignored as a whole.
  void apply(const Settings &settings);

  void reset();

  void setLatency(unsigned long ms) { latencyMs_ = ms; }
  unsigned long latency() const { return latencyMs_; }

  void injectFailure(const std::string &function, unsigned long nth, bool fromOn, CK_RV rv);
  // Counts one call of the function; true (and the result to give) when it is to fail.
  bool shouldFail(const std::string &function, CK_RV &rv);

  void removeAfter(CK_SLOT_ID slot, unsigned long calls) { removals_[slot] = calls; }
  // Counts one call; the slots whose removal falls due now (they count as removed from now on).
  std::vector<CK_SLOT_ID> tick();
  // A simulated removal lasts until insertion or reset, also across C_Finalize.
  void markRemoved(CK_SLOT_ID slot) { removed_.insert(slot); }
  void markInserted(CK_SLOT_ID slot) {
    removed_.erase(slot);
    removals_.erase(slot);
  }
  bool isRemoved(CK_SLOT_ID slot) const { return removed_.count(slot) != 0; }

  // ulNth 0 cancels.
  void failWrite(unsigned long nth, WriteFault fault);
  // Consulted once per token file write.
  WriteFault nextWrite();

 private:
  struct Injection {
    unsigned long nth = 0;
    bool fromOn = false;
    CK_RV rv = CKR_OK;
    unsigned long calls = 0;
  };

  unsigned long latencyMs_ = 0;
  std::map<std::string, Injection> injections_;
  std::map<CK_SLOT_ID, unsigned long> removals_;
  std::set<CK_SLOT_ID> removed_;
  unsigned long writeCountdown_ = 0;
  WriteFault writeFault_ = WriteFault::None;
};

}  // namespace softtoken
