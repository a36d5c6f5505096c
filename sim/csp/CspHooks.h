#pragma once
// The CSP's test hooks: injected failures of its entry points, the trace of the entries called
// and the count of handles it has handed out and not yet had back. Pure code, process-wide and
// thread-safe; all of it off (the counts aside) until a test or the environment turns it on.
#include <cstdint>
#include <string>
#include <vector>

namespace csphooks {

enum class Handle { Context, Key, Hash };

struct Counts {
  unsigned long contexts = 0;  // acquired and not released
  unsigned long keys = 0;      // from CPGetUserKey, not destroyed
  unsigned long hashes = 0;    // from CPCreateHash, not destroyed
  unsigned long calls = 0;     // entry calls since the process started
};

// "<entry>:<n>[+]:<error>[,...]": the n-th call of the entry from now on (every call from the
// n-th on with '+') fails with that error, e.g. "CPGetUserKey:2:0x8009000D". False, and nothing
// applied, when any item is malformed. An entry has one injection; a new one replaces it.
bool inject(const std::string& spec);
// Drops the injections, stops the trace and clears it. The counts stay: they count live handles.
void reset();

// One call of an entry: counted, traced while the trace is on. True when it is to fail, with
// the error in *error.
bool enter(const char* entry, uint32_t* error);

void startTrace();  // clears and starts
void stopTrace();
// The entries called while the trace was on, in order.
std::vector<std::string> trace();

void opened(Handle kind);
void closed(Handle kind);
Counts counts();

}  // namespace csphooks
