#pragma once
// Another program run to its end, as the suites run the provisioning tool, the demo host and
// regsvr32: its standard output and error caught, variables set for it alone.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace testkit {

struct ChildRun {
  bool started = false;
  DWORD startError = 0;  // why it did not start
  bool timedOut = false;  // it was still running when its time was up, and was stopped
  long exitCode = -1;
  std::string output;  // standard output and error, with the CR of each CR LF left out
};

using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

// Runs `commandLine` and waits up to `timeoutMs` for it. `environment` reaches the child only.
ChildRun RunChild(const std::wstring& commandLine, DWORD timeoutMs, const Environment& environment = {});

}  // namespace testkit
