#include "TestHooks.h"

#include <cstdlib>
#include <sstream>

namespace softtoken {

namespace {

std::vector<std::string> split(const std::string &s, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, sep)) parts.push_back(part);
  return parts;
}

bool number(const std::string &s, unsigned long &out) {
  if (s.empty()) return false;
  char *end = nullptr;
  out = std::strtoul(s.c_str(), &end, 0);
  return end && *end == '\0';
}

}  // namespace

void TestHooks::apply(const Settings &settings) {
  unsigned long value = 0;
  if (number(settings.latency, value)) latencyMs_ = value;

  // "C_Login:2:0xA0,C_OpenSession:1+:0x30"
  for (const auto &item : split(settings.fail, ',')) {
    auto f = split(item, ':');
    unsigned long nth = 0, rv = 0;
    if (f.size() != 3 || f[0].empty()) continue;
    bool fromOn = !f[1].empty() && f[1].back() == '+';
    if (fromOn) f[1].pop_back();
    if (number(f[1], nth) && nth > 0 && number(f[2], rv)) injectFailure(f[0], nth, fromOn, rv);
  }

  // "1:5,2:0"
  for (const auto &item : split(settings.removeAfter, ',')) {
    auto f = split(item, ':');
    unsigned long slot = 0, calls = 0;
    if (f.size() == 2 && number(f[0], slot) && number(f[1], calls)) removeAfter(slot, calls);
  }

  // "2:fail" or "1:crash"
  auto w = split(settings.failWrite, ':');
  unsigned long nth = 0;
  if (w.size() == 2 && number(w[0], nth)) {
    if (w[1] == "fail") failWrite(nth, WriteFault::FailHalfway);
    if (w[1] == "crash") failWrite(nth, WriteFault::CrashHalfway);
  }
}

void TestHooks::reset() {
  latencyMs_ = 0;
  injections_.clear();
  removals_.clear();
  removed_.clear();
  writeCountdown_ = 0;
  writeFault_ = WriteFault::None;
}

void TestHooks::injectFailure(const std::string &function, unsigned long nth, bool fromOn, CK_RV rv) {
  Injection i;
  i.nth = nth;
  i.fromOn = fromOn;
  i.rv = rv;
  injections_[function] = i;
}

bool TestHooks::shouldFail(const std::string &function, CK_RV &rv) {
  auto it = injections_.find(function);
  if (it == injections_.end()) return false;
  Injection &i = it->second;
  ++i.calls;
  if (i.calls == i.nth || (i.fromOn && i.calls > i.nth)) {
    rv = i.rv;
    return true;
  }
  return false;
}

std::vector<CK_SLOT_ID> TestHooks::tick() {
  std::vector<CK_SLOT_ID> due;
  for (auto it = removals_.begin(); it != removals_.end();) {
    if (it->second == 0) {
      due.push_back(it->first);
      removed_.insert(it->first);
      it = removals_.erase(it);
    } else {
      --it->second;
      ++it;
    }
  }
  return due;
}

void TestHooks::failWrite(unsigned long nth, WriteFault fault) {
  writeCountdown_ = nth;
  writeFault_ = nth ? fault : WriteFault::None;
}

WriteFault TestHooks::nextWrite() {
  if (writeCountdown_ == 0) return WriteFault::None;
  if (--writeCountdown_ > 0) return WriteFault::None;
  WriteFault fault = writeFault_;
  writeFault_ = WriteFault::None;
  return fault;
}

}  // namespace softtoken
