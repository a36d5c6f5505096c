#pragma once
// Time spent inside the token library, measured in-process: the entries of the library's two
// function lists (which every caller in the process shares, the page and the CSP alike) and its
// two list exports are replaced by forwarders that time each call with QueryPerformanceCounter.
// The library must stay loaded while the forwarders are in place. The entries it does not
// implement are left alone: the bench compares the calls counted here with the library's own
// trace, so a call that missed the clock shows as a mismatch.
#include <windows.h>

#include <cstdint>

#include "ZeltVendor.h"
#include "cryptoki/Pkcs11.h"

struct LibraryTime {
  uint64_t calls = 0;  // outermost calls into the library
  int64_t ticks = 0;   // performance-counter ticks spent inside them
};

class LibraryClock {
 public:
  // Wraps the lists and exports of the loaded library `module`; false when it is not the token library.
  static bool Install(HMODULE module);
  static LibraryTime Now();
  // Seconds per performance-counter tick.
  static double TickSeconds();
};

// Milliseconds between two readings of QueryPerformanceCounter.
double Milliseconds(int64_t ticks);
int64_t TickNow();

// With ZELT_BENCH_SERVER_LOG (bench.sh then logs the wineserver's requests), a read of a registry
// value named `what` that does not exist: the log shows it among the requests, as a mark.
void ServerMark(const char* what);
