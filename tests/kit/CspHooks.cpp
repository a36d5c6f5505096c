#include "kit/CspHooks.h"

#include <sstream>

#include "kit/Paths.h"

namespace testkit {

CspHooks::CspHooks() {
  HMODULE module = ::LoadLibraryW((BinDir() + L"ZeltCsp.dll").c_str());
  if (module)
    control_ = reinterpret_cast<ZeltCsp_TestControl_t>(
        reinterpret_cast<void*>(::GetProcAddress(module, ZELT_CSP_TEST_ENTRY)));
  Reset();
}

CspHooks::~CspHooks() { Reset(); }

bool CspHooks::Inject(const std::string& spec) {
  return control_ && control_(ZELT_CSP_INJECT, spec.c_str(), nullptr, nullptr) == 0;
}

void CspHooks::Reset() {
  if (control_) control_(ZELT_CSP_RESET, nullptr, nullptr, nullptr);
}

void CspHooks::StartTrace() {
  if (control_) control_(ZELT_CSP_TRACE_START, nullptr, nullptr, nullptr);
}

std::vector<std::string> CspHooks::Trace() const {
  std::vector<std::string> entries;
  DWORD size = 0;
  if (!control_ || control_(ZELT_CSP_READ_TRACE, nullptr, nullptr, &size) != 0) return entries;
  std::string text(size, '\0');
  if (control_(ZELT_CSP_READ_TRACE, nullptr, &text[0], &size) != 0) return entries;
  std::istringstream lines(text.substr(0, text.find('\0')));
  for (std::string line; std::getline(lines, line);) entries.push_back(line);
  return entries;
}

ZELT_CSP_COUNTS CspHooks::Counts() const {
  ZELT_CSP_COUNTS counts = {~0u, ~0u, ~0u, 0};
  DWORD size = sizeof counts;
  if (control_) control_(ZELT_CSP_READ_COUNTS, nullptr, &counts, &size);
  return counts;
}

std::string CspHooks::Open() const {
  const ZELT_CSP_COUNTS c = Counts();
  return std::to_string(c.contexts) + "/" + std::to_string(c.keys) + "/" + std::to_string(c.hashes);
}

}  // namespace testkit
