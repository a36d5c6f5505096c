#pragma once
// Where the page's own time goes (ZELT_BENCH_PROFILE): the page module's calls to the system,
// timed through forwarders in its import table, summed per function over a row's runs; the last
// measured interval is also kept as a timeline of those calls.
#include <windows.h>

class ImportProfile {
 public:
  // Puts the forwarders in place; false when one of the imports is missing.
  static bool Install(HMODULE page);
  // The start of a measured interval: the timeline starts again.
  static void Begin();
  // Puts a named moment into the timeline (once installed).
  static void Mark(const char* what);
  // Prints the sums since the last Print (and, with `timeline`, the last interval's calls), then clears them.
  static void Print(bool timeline);
};
