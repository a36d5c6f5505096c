// ZeltCsp_TestControl: the test hooks (CspHooks) for a test in the process that uses the CSP.
#include <string>

#include "CspHooks.h"
#include "ZeltCspTest.h"
#include "CspHandles.h"

extern "C" DWORD WINAPI ZeltCsp_TestControl(DWORD command, const char* text, void* buffer, DWORD* length) {
  switch (command) {
    case ZELT_CSP_RESET:
      csphooks::reset();
      return 0;
    case ZELT_CSP_INJECT:
      return text && csphooks::inject(text) ? 0 : ERROR_INVALID_PARAMETER;
    case ZELT_CSP_TRACE_START:
      csphooks::startTrace();
      return 0;
    case ZELT_CSP_TRACE_STOP:
      csphooks::stopTrace();
      return 0;
    case ZELT_CSP_READ_TRACE: {
      std::string lines;
      for (const std::string& entry : csphooks::trace()) lines += entry + "\n";
      return copyOut(lines.c_str(), static_cast<DWORD>(lines.size() + 1), static_cast<BYTE*>(buffer), length)
                 ? 0
                 : ::GetLastError();
    }
    case ZELT_CSP_READ_COUNTS: {
      const csphooks::Counts c = csphooks::counts();
      const ZELT_CSP_COUNTS counts = {c.contexts, c.keys, c.hashes, c.calls};
      return copyOut(&counts, sizeof counts, static_cast<BYTE*>(buffer), length) ? 0 : ::GetLastError();
    }
    default:
      return ERROR_INVALID_PARAMETER;
  }
}
