// The record of calls made into the library: one text line per call. Pure code; where the
// lines also go live (a file named by the environment) is up to the owner.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace softtoken {

class CallTrace {
 public:
  using Sink = std::function<void(const std::string &line)>;

  bool enabled() const { return enabled_ || static_cast<bool>(sink_); }
  void setEnabled(bool on) { enabled_ = on; }
  // Every line is also handed to the sink as it is recorded (nullptr: none).
  void setSink(Sink sink) { sink_ = std::move(sink); }

  void record(const std::string &line);
  void clear() { lines_.clear(); }
  // All lines, each ended by "\n".
  std::string text() const;

 private:
  bool enabled_ = false;
  Sink sink_;
  std::vector<std::string> lines_;
};

}  // namespace softtoken
