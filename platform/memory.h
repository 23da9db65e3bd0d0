// Process-wide allocator tuning.
#pragma once

namespace platform {

// A backup run writes one archive per file, and the archive writer sets up its compressor's
// work buffers (about a megabyte) for each. With the C library's default thresholds every
// store then maps or grows the heap anew and faults its pages in again, which costs more than
// the compression itself on trees of small files. This keeps freed memory for the next store;
// the peak does not change. Call once, at program start.
void KeepFreedMemoryForReuse();

}  // namespace platform
