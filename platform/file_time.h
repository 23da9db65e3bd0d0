// File times and calendar conversions.
//
// A FileTime counts 100-nanosecond units since 1 January 1601 UTC, the representation the
// rest of the system works in. Last write is the mtime, last access the atime, creation the
// birth time where the file system reports it, else the mtime.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

namespace platform {

using FileTime = std::uint64_t;

// 100 ns units between 1601-01-01 and 1970-01-01.
inline constexpr FileTime kUnixEpochAsFileTime = 116444736000000000ULL;

struct FileTimes {
  FileTime creation = 0;
  FileTime lastAccess = 0;
  FileTime lastWrite = 0;
};

// Broken-down time. month 1..12, day 1..31, dayOfWeek 0 = Sunday.
struct CalendarTime {
  int year = 1601;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int dayOfWeek = 0;
};

FileTime UnixToFileTime(std::int64_t seconds, std::int64_t nanoseconds);
// Splits into Unix seconds and nanoseconds (floor division, so times before 1970 work).
void FileTimeToUnix(FileTime t, std::int64_t& seconds, std::int64_t& nanoseconds);

CalendarTime FileTimeToUtc(FileTime t);
CalendarTime FileTimeToLocal(FileTime t);
// Local calendar fields (dayOfWeek ignored) to a FileTime; nullopt if not representable.
std::optional<FileTime> LocalToFileTime(const CalendarTime& local);

// The fields of a DOS date/time as the ZIP records hold it: the date in the high 16 bits
// (year - 1980 in 7 bits, month in 4, day in 5), the time in the low 16 (hour in 5 bits,
// minute in 6, seconds halved in 5). Split takes the fields as they stand, valid or not.
struct DosDateTimeFields {
  int year = 1980;  // 1980..2107
  int month = 0;    // 0..15
  int day = 0;      // 0..31
  int hour = 0;     // 0..31
  int minute = 0;   // 0..63
  int second = 0;   // 0..62, always even
  bool operator==(const DosDateTimeFields&) const = default;
};
constexpr DosDateTimeFields SplitDosDateTime(std::uint32_t dosDateTime) {
  DosDateTimeFields f;
  f.year = 1980 + static_cast<int>((dosDateTime >> 25) & 0x7F);
  f.month = static_cast<int>((dosDateTime >> 21) & 0x0F);
  f.day = static_cast<int>((dosDateTime >> 16) & 0x1F);
  f.hour = static_cast<int>((dosDateTime >> 11) & 0x1F);
  f.minute = static_cast<int>((dosDateTime >> 5) & 0x3F);
  f.second = static_cast<int>(dosDateTime & 0x1F) * 2;
  return f;
}
// Packs fields that fit the widths above; an odd second is rounded down.
constexpr std::uint32_t JoinDosDateTime(const DosDateTimeFields& f) {
  return (static_cast<std::uint32_t>(f.year - 1980) << 25) |
         (static_cast<std::uint32_t>(f.month) << 21) | (static_cast<std::uint32_t>(f.day) << 16) |
         (static_cast<std::uint32_t>(f.hour) << 11) | (static_cast<std::uint32_t>(f.minute) << 5) |
         static_cast<std::uint32_t>(f.second / 2);
}

// DOS date/time (date in the high 16 bits, time in the low 16) of the local time of t.
// Seconds are rounded down to even. Years outside 1980..2107 are clamped to the range ends.
std::uint32_t FileTimeToDosDateTime(FileTime t);
// The local time a DOS date/time names; nullopt for an invalid field (month 0, day 0 ...).
std::optional<FileTime> DosDateTimeToFileTime(std::uint32_t dosDateTime);

// Reads the three times of a file or directory (symbolic links are followed).
std::error_code ReadFileTimes(const std::string& path, FileTimes& out);
// Sets last access and last write with full precision (the creation time cannot be set).
std::error_code WriteFileTimes(const std::string& path, FileTime lastAccess, FileTime lastWrite);

}  // namespace platform
