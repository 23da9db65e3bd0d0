// Status lookups relative to a directory descriptor, shared by the listing, OpenDirectory and
// the batched lookups.
#pragma once

#include <system_error>

#include "platform/file_info.h"

struct statx;

namespace platform::detail {

// The statx mask every lookup asks for.
unsigned StatxMask();
// Fills out from a statx of the object (a link's target for a followed link); name is the
// bare name that decides the hidden bit. isSymlink is left false.
void FillInfo(const struct statx& sx, const char* name, FileInfo& out);

// Status of path relative to dirFd (AT_FDCWD for the current directory), following a final
// symbolic link; name is the bare name that decides the hidden bit.
std::error_code StatAt(int dirFd, const char* path, const char* name, FileInfo& out);
// Status of the open descriptor fd; name is the bare name that decides the hidden bit.
std::error_code StatFd(int fd, const char* name, FileInfo& out);

}  // namespace platform::detail
