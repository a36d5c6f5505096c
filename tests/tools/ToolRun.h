#pragma once
// Runs zelt-token.exe from the suite's folder and keeps its exit code and output.
#include <string>
#include <utility>
#include <vector>

struct ToolRun {
  long exitCode = -1;
  std::string out;
  std::string err;
};

// `arguments` follow the program name; `environment` holds extra NAME=VALUE pairs for the child.
ToolRun runTool(const std::wstring& arguments,
                const std::vector<std::pair<std::wstring, std::wstring>>& environment = {});

// For failure messages: the exit code and both outputs.
std::string describe(const ToolRun& run);
