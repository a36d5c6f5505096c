#include "CspHooks.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>

namespace csphooks {

namespace {

struct Injection {
  unsigned long nth = 0;
  bool fromOn = false;
  uint32_t error = 0;
  unsigned long calls = 0;
};

std::mutex g_lock;
std::map<std::string, Injection> g_injections;
bool g_tracing = false;
std::vector<std::string> g_trace;
Counts g_counts;

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

bool number(const std::string& text, unsigned long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  *out = std::strtoul(text.c_str(), &end, 0);
  return end && *end == '\0';
}

unsigned long& counter(Handle kind) {
  return kind == Handle::Context ? g_counts.contexts : kind == Handle::Key ? g_counts.keys : g_counts.hashes;
}

}  // namespace

bool inject(const std::string& spec) {
  std::map<std::string, Injection> parsed;
  for (const std::string& item : split(spec, ',')) {
    std::vector<std::string> f = split(item, ':');
    if (f.size() != 3 || f[0].empty()) return false;
    Injection i;
    i.fromOn = !f[1].empty() && f[1].back() == '+';
    if (i.fromOn) f[1].pop_back();
    unsigned long error = 0;
    if (!number(f[1], &i.nth) || i.nth == 0 || !number(f[2], &error)) return false;
    i.error = static_cast<uint32_t>(error);
    parsed[f[0]] = i;
  }
  if (parsed.empty()) return false;
  std::lock_guard<std::mutex> hold(g_lock);
  for (const auto& entry : parsed) g_injections[entry.first] = entry.second;
  return true;
}

void reset() {
  std::lock_guard<std::mutex> hold(g_lock);
  g_injections.clear();
  g_tracing = false;
  g_trace.clear();
}

bool enter(const char* entry, uint32_t* error) {
  std::lock_guard<std::mutex> hold(g_lock);
  ++g_counts.calls;
  if (g_tracing) g_trace.push_back(entry);
  auto it = g_injections.find(entry);
  if (it == g_injections.end()) return false;
  Injection& i = it->second;
  ++i.calls;
  if (i.calls != i.nth && !(i.fromOn && i.calls > i.nth)) return false;
  *error = i.error;
  return true;
}

void startTrace() {
  std::lock_guard<std::mutex> hold(g_lock);
  g_trace.clear();
  g_tracing = true;
}

void stopTrace() {
  std::lock_guard<std::mutex> hold(g_lock);
  g_tracing = false;
}

std::vector<std::string> trace() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_trace;
}

void opened(Handle kind) {
  std::lock_guard<std::mutex> hold(g_lock);
  ++counter(kind);
}

void closed(Handle kind) {
  std::lock_guard<std::mutex> hold(g_lock);
  --counter(kind);
}

Counts counts() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_counts;
}

}  // namespace csphooks
