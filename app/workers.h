// How many files a backup or restore run handles at once.
#pragma once

#include <algorithm>
#include <cstdlib>

#include "platform/processors.h"

namespace app {

// The most a run handles at once, whatever the processor count: each worker holds a writer
// or reader of about half a megabyte, and past this the disk is the limit anyway.
inline constexpr int kMaxWorkers = 32;

// One worker per online processor, or the number in the environment variable
// VARNHOLT_WORKERS (1 works on the window's own thread, as before; 0, an empty or a bad
// value means one per processor).
inline int RunWorkers() {
  const char* text = std::getenv("VARNHOLT_WORKERS");
  if (text != nullptr && *text != '\0') {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end == '\0' && value > 0) return static_cast<int>(std::min<long>(value, kMaxWorkers));
  }
  return std::min(platform::OnlineProcessorCount(), kMaxWorkers);
}

}  // namespace app
