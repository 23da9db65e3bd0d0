#include "platform/processors.h"

#include <unistd.h>

namespace platform {

int OnlineProcessorCount() {
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count < 1 ? 1 : static_cast<int>(count);
}

}  // namespace platform
