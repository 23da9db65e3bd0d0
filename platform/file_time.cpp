#include "platform/file_time.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>

#include <cerrno>
#include <mutex>

#include "platform/posix.h"

namespace platform {

using detail::LastError;

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;

CalendarTime FromTm(const struct tm& tm, int millisecond) {
  CalendarTime c;
  c.year = tm.tm_year + 1900;
  c.month = tm.tm_mon + 1;
  c.day = tm.tm_mday;
  c.hour = tm.tm_hour;
  c.minute = tm.tm_min;
  c.second = tm.tm_sec;
  c.millisecond = millisecond;
  c.dayOfWeek = tm.tm_wday;
  return c;
}

}  // namespace

FileTime UnixToFileTime(std::int64_t seconds, std::int64_t nanoseconds) {
  const std::int64_t ticks = seconds * kTicksPerSecond + nanoseconds / 100;
  const std::int64_t result = ticks + static_cast<std::int64_t>(kUnixEpochAsFileTime);
  return result < 0 ? 0 : static_cast<FileTime>(result);
}

void FileTimeToUnix(FileTime t, std::int64_t& seconds, std::int64_t& nanoseconds) {
  const std::int64_t ticks =
      static_cast<std::int64_t>(t) - static_cast<std::int64_t>(kUnixEpochAsFileTime);
  seconds = ticks / kTicksPerSecond;
  std::int64_t rest = ticks % kTicksPerSecond;
  if (rest < 0) {
    rest += kTicksPerSecond;
    --seconds;
  }
  nanoseconds = rest * 100;
}

CalendarTime FileTimeToUtc(FileTime t) {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
  FileTimeToUnix(t, seconds, nanoseconds);
  const time_t tt = static_cast<time_t>(seconds);
  struct tm tm {};
  gmtime_r(&tt, &tm);
  return FromTm(tm, static_cast<int>(nanoseconds / 1000000));
}

namespace {

// mktime re-reads the time zone on every call and frees and replaces its copy of the zone's
// name; the C library guards that with a lock the thread checker cannot see, and workers
// convert times at once. One lock of our own around every local-time conversion orders them
// visibly, at no cost worth measuring.
std::mutex& ZoneLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

CalendarTime FileTimeToLocal(FileTime t) {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
  FileTimeToUnix(t, seconds, nanoseconds);
  const time_t tt = static_cast<time_t>(seconds);
  struct tm tm {};
  {
    std::lock_guard<std::mutex> lock(ZoneLock());
    localtime_r(&tt, &tm);
  }
  return FromTm(tm, static_cast<int>(nanoseconds / 1000000));
}

std::optional<FileTime> LocalToFileTime(const CalendarTime& local) {
  struct tm tm {};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_isdst = -1;  // let the zone rules decide
  time_t tt = 0;
  int error = 0;
  {
    std::lock_guard<std::mutex> lock(ZoneLock());
    errno = 0;
    tt = mktime(&tm);
    error = errno;
  }
  if (tt == static_cast<time_t>(-1) && error != 0) return std::nullopt;
  return UnixToFileTime(tt, static_cast<std::int64_t>(local.millisecond) * 1000000);
}

std::uint32_t FileTimeToDosDateTime(FileTime t) {
  const CalendarTime c = FileTimeToLocal(t);
  if (c.year < 1980) return JoinDosDateTime({1980, 1, 1, 0, 0, 0});
  if (c.year > 2107) return JoinDosDateTime({2107, 12, 31, 23, 59, 58});
  return JoinDosDateTime({c.year, c.month, c.day, c.hour, c.minute, c.second});
}

std::optional<FileTime> DosDateTimeToFileTime(std::uint32_t dosDateTime) {
  const DosDateTimeFields f = SplitDosDateTime(dosDateTime);
  CalendarTime c;
  c.year = f.year;
  c.month = f.month;
  c.day = f.day;
  c.hour = f.hour;
  c.minute = f.minute;
  c.second = f.second;
  if (c.month < 1 || c.month > 12 || c.day < 1 || c.hour > 23 || c.minute > 59 || c.second > 59) {
    return std::nullopt;
  }
  static constexpr int kDaysInMonth[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (c.day > kDaysInMonth[c.month - 1]) return std::nullopt;
  const bool leap = (c.year % 4 == 0 && c.year % 100 != 0) || c.year % 400 == 0;
  if (c.month == 2 && c.day == 29 && !leap) return std::nullopt;
  return LocalToFileTime(c);
}

std::error_code ReadFileTimes(const std::string& path, FileTimes& out) {
  struct statx sx {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    return LastError();
  }
  auto convert = [](const struct statx_timestamp& ts) {
    return UnixToFileTime(ts.tv_sec, ts.tv_nsec);
  };
  out.lastWrite = convert(sx.stx_mtime);
  out.lastAccess = convert(sx.stx_atime);
  out.creation = (sx.stx_mask & STATX_BTIME) ? convert(sx.stx_btime) : out.lastWrite;
  return {};
}

std::error_code WriteFileTimes(const std::string& path, FileTime lastAccess, FileTime lastWrite) {
  struct timespec times[2] = {detail::ToTimespec(lastAccess), detail::ToTimespec(lastWrite)};
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return LastError();
  return {};
}

}  // namespace platform
