// Many status lookups at once: the looks of a whole directory's entries and of their
// archives, where one system call each would cost more than the lookups themselves.
#pragma once

#include <span>
#include <string>
#include <system_error>

#include "platform/directory.h"
#include "platform/file_info.h"

namespace platform {

struct StatusLookup {
  const OpenDirectory* dir = nullptr;
  std::string name;  // inside dir, as OpenDirectory::GetFileInfo takes it
  FileInfo info;
  std::error_code error;
};

enum class LookupMode : unsigned char {
  Batched,   // handed to the kernel together where it takes them so, else one by one
  OneByOne,  // one system call (two for a link) each
};

// Answers every lookup (info, error) exactly as lookup.dir->GetFileInfo(lookup.name, ...)
// would. Batched, the calling thread stays on its processor while the kernel answers (the
// kernel's helper runs there too: cheaper than waking another processor for every batch).
void GetFileInfos(std::span<StatusLookup> lookups, LookupMode mode = LookupMode::Batched);

// Whether Batched lookups go to the kernel together on this thread: false where the kernel
// has no io_uring or refuses it (seccomp, kernel.io_uring_disabled), which is then known
// for the whole process.
bool BatchedLookupsWork();

}  // namespace platform
