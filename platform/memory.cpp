#include "platform/memory.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace platform {

void KeepFreedMemoryForReuse() {
#ifdef __GLIBC__
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

}  // namespace platform
