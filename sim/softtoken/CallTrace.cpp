#include "CallTrace.h"

namespace softtoken {

void CallTrace::record(const std::string &line) {
  if (enabled_) lines_.push_back(line);
  if (sink_) sink_(line);
}

std::string CallTrace::text() const {
  std::string all;
  for (const auto &line : lines_) {
    all += line;
    all += '\n';
  }
  return all;
}

}  // namespace softtoken
