// Helpers the platform's POSIX files share: the error of the last system call, and file
// times as the system calls take them. Internal to platform/.
#pragma once

#include <time.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/file_time.h"

namespace platform::detail {

// errno as the std::error_code every platform call returns (std::generic_category).
inline std::error_code LastError() { return {errno, std::generic_category()}; }

// A FileTime as a timespec (Unix seconds and nanoseconds, times before 1970 included).
inline struct timespec ToTimespec(FileTime t) {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
  FileTimeToUnix(t, seconds, nanoseconds);
  struct timespec ts {};
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>(nanoseconds);
  return ts;
}

// Six random letters or digits for a new file's name (directory.cpp).
std::string TempSuffix();

}  // namespace platform::detail
