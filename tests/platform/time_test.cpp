// Protects the time conversions behind incremental backups and restored dates: file times
// (100 ns since 1601), the DOS date/time of ZIP entries, OLE dates of the catalogue and the
// timestamp text of log lines. Expected values are calendar facts, not our own arithmetic.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>

#include "platform/clock.h"
#include "platform/file_time.h"

using namespace platform;

namespace platform {
void PrintTo(const DosDateTimeFields& f, std::ostream* os) {
  *os << f.year << "-" << f.month << "-" << f.day << " " << f.hour << ":" << f.minute << ":"
      << f.second;
}
}  // namespace platform

namespace {

class FixedZone : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = getenv("TZ");
    savedTz_ = tz ? tz : "";
    hadTz_ = tz != nullptr;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    if (hadTz_) {
      setenv("TZ", savedTz_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  std::string savedTz_;
  bool hadTz_ = false;
};

}  // namespace

TEST(FileTime, KnownInstants) {
  const CalendarTime epoch1601 = FileTimeToUtc(0);
  EXPECT_EQ(epoch1601.year, 1601);
  EXPECT_EQ(epoch1601.month, 1);
  EXPECT_EQ(epoch1601.day, 1);
  // 2024-02-29 12:34:56 UTC = Unix 1709210096.
  const FileTime leap = UnixToFileTime(1709210096, 0);
  EXPECT_EQ(leap, 1709210096ULL * 10000000ULL + 116444736000000000ULL);
  const CalendarTime c = FileTimeToUtc(leap);
  EXPECT_EQ(c.year, 2024);
  EXPECT_EQ(c.month, 2);
  EXPECT_EQ(c.day, 29);
  EXPECT_EQ(c.hour, 12);
  EXPECT_EQ(c.minute, 34);
  EXPECT_EQ(c.second, 56);
  EXPECT_EQ(c.dayOfWeek, 4);  // a Thursday
}

TEST(FileTime, UnixSplitRoundTripsBeforeAndAfter1970) {
  for (std::int64_t s : {-86400LL * 365 * 50 - 1, -1LL, 0LL, 1LL, 4102444800LL}) {
    for (std::int64_t ns : {0LL, 100LL, 999999900LL}) {
      std::int64_t s2 = 0, ns2 = 0;
      FileTimeToUnix(UnixToFileTime(s, ns), s2, ns2);
      EXPECT_EQ(s2, s);
      EXPECT_EQ(ns2, ns);
    }
  }
}

TEST_F(FixedZone, DosDateTimeLayoutAndRoundTrip) {
  // 2023-07-14 15:42:37 -> seconds rounded down to even (36).
  const FileTime t = UnixToFileTime(1689349357, 0);
  const std::uint32_t dos = FileTimeToDosDateTime(t);
  EXPECT_EQ(dos >> 16, (43u << 9) | (7u << 5) | 14u);
  EXPECT_EQ(dos & 0xFFFF, (15u << 11) | (42u << 5) | 18u);
  const auto back = DosDateTimeToFileTime(dos);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, UnixToFileTime(1689349356, 0));
  EXPECT_FALSE(DosDateTimeToFileTime(0).has_value());  // month 0, day 0
  EXPECT_FALSE(DosDateTimeToFileTime(((44u << 9) | (2u << 5) | 30u) << 16).has_value());
  // Before 1980 clamps to the first DOS day instead of wrapping.
  EXPECT_EQ(FileTimeToDosDateTime(UnixToFileTime(0, 0)), ((1u << 5) | 1u) << 16);
}

TEST(DosDateTime, FieldsSplitAndJoinAtTheirBitPositions) {
  // 2024-02-29 13:45:14, packed by hand: date (44 << 9 | 2 << 5 | 29), time (13 << 11 |
  // 45 << 5 | 7).
  const std::uint32_t leapDay =
      (((44u << 9) | (2u << 5) | 29u) << 16) | (13u << 11) | (45u << 5) | 7u;
  EXPECT_EQ(SplitDosDateTime(leapDay), (DosDateTimeFields{2024, 2, 29, 13, 45, 14}));
  EXPECT_EQ(JoinDosDateTime({2024, 2, 29, 13, 45, 14}), leapDay);
  // Every bit set: each field at the top of its width, none spilling into the next.
  EXPECT_EQ(SplitDosDateTime(0xFFFFFFFFu), (DosDateTimeFields{2107, 15, 31, 31, 63, 62}));
  EXPECT_EQ(JoinDosDateTime({2107, 15, 31, 31, 63, 62}), 0xFFFFFFFFu);
  // One field at a time lands on its own bits only.
  EXPECT_EQ(JoinDosDateTime({1981, 0, 0, 0, 0, 0}), 1u << 25);
  EXPECT_EQ(JoinDosDateTime({1980, 1, 0, 0, 0, 0}), 1u << 21);
  EXPECT_EQ(JoinDosDateTime({1980, 0, 1, 0, 0, 0}), 1u << 16);
  EXPECT_EQ(JoinDosDateTime({1980, 0, 0, 1, 0, 0}), 1u << 11);
  EXPECT_EQ(JoinDosDateTime({1980, 0, 0, 0, 1, 0}), 1u << 5);
  EXPECT_EQ(JoinDosDateTime({1980, 0, 0, 0, 0, 3}), 1u);  // seconds are stored halved
}

TEST(OleDate, KnownDates) {
  CalendarTime c;
  c.year = 1899, c.month = 12, c.day = 30;
  EXPECT_DOUBLE_EQ(CalendarToOleDate(c), 0.0);
  c.year = 2000, c.month = 1, c.day = 1;
  EXPECT_DOUBLE_EQ(CalendarToOleDate(c), 36526.0);
  c.hour = 18;
  EXPECT_DOUBLE_EQ(CalendarToOleDate(c), 36526.75);
  const CalendarTime back = OleDateToCalendar(36526.75);
  EXPECT_EQ(back.year, 2000);
  EXPECT_EQ(back.month, 1);
  EXPECT_EQ(back.day, 1);
  EXPECT_EQ(back.hour, 18);
  EXPECT_EQ(back.minute, 0);
  EXPECT_EQ(back.dayOfWeek, 6);  // a Saturday
  // A time a hair below midnight rounds up to the next day, not to hour 24.
  const CalendarTime next = OleDateToCalendar(36526.9999999999);
  EXPECT_EQ(next.day, 2);
  EXPECT_EQ(next.hour, 0);
}

TEST_F(FixedZone, NowOleDateFollowsTheClock) {
  const double now = NowOleDate();
  const double unixDays = static_cast<double>(time(nullptr)) / 86400.0;
  EXPECT_NEAR(now, unixDays + 25569.0, 2.0 / 86400);  // 25569 = OLE date of 1970-01-01
}

TEST(TimestampText, DateOnlyAtExactMidnight) {
  setenv("LC_TIME", "C", 1);
  unsetenv("LC_ALL");
  CalendarTime c;
  c.year = 2024, c.month = 3, c.day = 5;
  EXPECT_EQ(TimestampText(CalendarToOleDate(c)), "03/05/24");
  c.second = 1;
  EXPECT_EQ(TimestampText(CalendarToOleDate(c)), "03/05/24 00:00:01");
  c.hour = 23, c.minute = 59, c.second = 59;
  EXPECT_EQ(TimestampText(CalendarToOleDate(c)), "03/05/24 23:59:59");
}

TEST(FileTimes, WriteThenReadWithFullPrecision) {
  const auto path = std::filesystem::temp_directory_path() / "varnholt_time_test.bin";
  std::ofstream(path) << "x";
  const FileTime access = UnixToFileTime(1500000000, 123456700);
  const FileTime write = UnixToFileTime(1600000000, 987654300);
  ASSERT_FALSE(WriteFileTimes(path.string(), access, write));
  FileTimes times;
  ASSERT_FALSE(ReadFileTimes(path.string(), times));
  EXPECT_EQ(times.lastAccess, access);
  EXPECT_EQ(times.lastWrite, write);
  EXPECT_NE(times.creation, 0u);
  std::filesystem::remove(path);
  EXPECT_TRUE(ReadFileTimes(path.string(), times));  // a missing file is an error
}
