// Status lookups relative to a directory descriptor, shared by the listing and OpenDirectory.
#pragma once

#include <system_error>

#include "platform/file_info.h"

namespace platform::detail {

// Status of path relative to dirFd (AT_FDCWD for the current directory), following a final
// symbolic link; name is the bare name that decides the hidden bit.
std::error_code StatAt(int dirFd, const char* path, const char* name, FileInfo& out);
// Status of the open descriptor fd; name is the bare name that decides the hidden bit.
std::error_code StatFd(int fd, const char* name, FileInfo& out);

}  // namespace platform::detail
