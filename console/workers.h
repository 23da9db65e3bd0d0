// How many files a backup or restore run handles at once.
#pragma once

#include <algorithm>
#include <string>

#include "platform/processors.h"

namespace console {

// The most a run handles at once, whatever the processor count: each worker holds a writer
// or reader of about half a megabyte, and past this the disk is the limit anyway.
inline constexpr int kMaxWorkers = 32;

// The count chosen with /W: (0: none chosen), or else one per online processor; at most
// kMaxWorkers. One works on the window's own thread, as before there were workers.
inline int RunWorkers(int chosen) {
  if (chosen > 0) return std::min(chosen, kMaxWorkers);
  return std::min(platform::OnlineProcessorCount(), kMaxWorkers);
}

// The value of "/W:<n>": a whole number from 1 to kMaxWorkers, nothing else.
inline bool ParseWorkers(const std::string& text, int& workers) {
  if (text.empty() || text.size() > 2) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > kMaxWorkers) return false;
  workers = value;
  return true;
}

}  // namespace console
