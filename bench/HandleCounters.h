#pragma once
// What the page holds of the system's certificate handles, counted from outside the page: its
// calls to crypt32 for "MY" stores and certificate contexts go through forwarders placed in the
// page DLL's import table. A record holds the one context the page creates for it, so the
// contexts created and not yet freed are the records alive.
#include <windows.h>

class HandleCounters {
 public:
  // Points the page module's crypt32 imports at the counting forwarders; false when one is missing.
  static bool Install(HMODULE page);
  // "MY" stores opened by the page and not closed.
  static long OpenStores();
  // Certificate contexts created by the page (CertCreateCertificateContext) and not freed.
  static long LiveRecords();
};
