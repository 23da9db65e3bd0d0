// How often a long run lets the window breathe. Handling pending window messages or painting
// after every one of tens of thousands of files costs more than the files themselves; a
// person sees no difference at these rates.
#pragma once

#include <chrono>

namespace dialogs {

// Pending messages (Cancel, repaints) are handled at most this often during a run.
inline constexpr std::chrono::milliseconds kPumpInterval{15};
// A field naming the current file is repainted at most this often; the last name of a
// folder is always shown.
inline constexpr std::chrono::milliseconds kFileFieldInterval{60};

// Says whether an interval has passed since it last said yes.
class Pace {
 public:
  explicit Pace(std::chrono::milliseconds interval) : interval_(interval) {}
  bool Due() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < interval_) return false;
    last_ = now;
    return true;
  }
  // Counts as a yes now: the caller has just done the work on its own.
  void Reset() { last_ = std::chrono::steady_clock::now(); }

 private:
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace dialogs
