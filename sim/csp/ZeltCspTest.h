#pragma once
// The test entry of ZeltCsp.dll. CryptoAPI loads the CSP into the calling process, so a test
// that loads the same file reaches the same instance: GetProcAddress(module, ZELT_CSP_TEST_ENTRY).
#include <windows.h>

#define ZELT_CSP_TEST_ENTRY "ZeltCsp_TestControl"

enum ZeltCspTestCommand : DWORD {
  ZELT_CSP_RESET = 0,        // drops the injections, stops and clears the trace
  ZELT_CSP_INJECT = 1,       // text: "<entry>:<n>[+]:<error>[,...]", as ZELT_CSP_FAIL
  ZELT_CSP_TRACE_START = 2,  // clears the trace and records the entries called from now on
  ZELT_CSP_TRACE_STOP = 3,
  ZELT_CSP_READ_TRACE = 4,   // buffer: the entry names in order, each ended by '\n', then a NUL
  ZELT_CSP_READ_COUNTS = 5,  // buffer: a ZELT_CSP_COUNTS
};

struct ZELT_CSP_COUNTS {
  DWORD contexts;  // acquired and not released
  DWORD keys;      // from CPGetUserKey, not destroyed
  DWORD hashes;    // from CPCreateHash, not destroyed
  DWORD calls;     // entry calls since the CSP was loaded
};

// 0; ERROR_INVALID_PARAMETER for an unknown command or a malformed injection; ERROR_MORE_DATA
// with *length set to the size needed (a null buffer asks for it).
typedef DWORD(WINAPI* ZeltCsp_TestControl_t)(DWORD command, const char* text, void* buffer, DWORD* length);
