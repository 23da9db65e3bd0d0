#include "platform/clock.h"

#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cmath>
#include <cstdint>

namespace platform {

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

// Day number of 1899-12-30, the zero of OLE dates, counted from 1970-01-01.
const std::int64_t kOleEpochDays = DaysFromCivil(1899, 12, 30);

constexpr std::int64_t kMillisecondsPerDay = 86400000;

}  // namespace

double CalendarToOleDate(const CalendarTime& local) {
  const std::int64_t days =
      DaysFromCivil(local.year, static_cast<unsigned>(local.month), static_cast<unsigned>(local.day)) -
      kOleEpochDays;
  const std::int64_t ms =
      ((static_cast<std::int64_t>(local.hour) * 60 + local.minute) * 60 + local.second) * 1000 +
      local.millisecond;
  return static_cast<double>(days) + static_cast<double>(ms) / kMillisecondsPerDay;
}

CalendarTime OleDateToCalendar(double oleDate) {
  double whole = std::floor(oleDate);
  std::int64_t days = static_cast<std::int64_t>(whole);
  std::int64_t ms = std::llround((oleDate - whole) * kMillisecondsPerDay);
  if (ms >= kMillisecondsPerDay) {
    ms -= kMillisecondsPerDay;
    ++days;
  }
  CalendarTime c;
  const std::int64_t civil = days + kOleEpochDays;
  CivilFromDays(civil, c.year, c.month, c.day);
  c.dayOfWeek = static_cast<int>(((civil % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  c.millisecond = static_cast<int>(ms % 1000);
  const std::int64_t seconds = ms / 1000;
  c.second = static_cast<int>(seconds % 60);
  c.minute = static_cast<int>((seconds / 60) % 60);
  c.hour = static_cast<int>(seconds / 3600);
  return c;
}

FileTime NowFileTime() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return UnixToFileTime(now.tv_sec, now.tv_nsec);
}

double NowOleDate() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm tm {};
  localtime_r(&now.tv_sec, &tm);
  CalendarTime c;
  c.year = tm.tm_year + 1900;
  c.month = tm.tm_mon + 1;
  c.day = tm.tm_mday;
  c.hour = tm.tm_hour;
  c.minute = tm.tm_min;
  c.second = tm.tm_sec;
  c.millisecond = static_cast<int>(now.tv_nsec / 1000000);
  return CalendarToOleDate(c);
}

std::string TimestampText(double oleDate) {
  const CalendarTime c = OleDateToCalendar(oleDate);
  struct tm tm {};
  tm.tm_year = c.year - 1900;
  tm.tm_mon = c.month - 1;
  tm.tm_mday = c.day;
  tm.tm_hour = c.hour;
  tm.tm_min = c.minute;
  tm.tm_sec = c.second;
  tm.tm_wday = c.dayOfWeek;
  // The user's LC_TIME (or LC_ALL / LANG), read from the environment on each call.
  locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) {
    locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  }
  char buffer[256];
  std::string text;
  if (strftime_l(buffer, sizeof buffer, nl_langinfo_l(D_FMT, locale), &tm, locale) > 0) {
    text = buffer;
  }
  // Whole seconds decide "exactly midnight": the text shows no milliseconds either.
  if (c.hour != 0 || c.minute != 0 || c.second != 0) {
    if (strftime_l(buffer, sizeof buffer, nl_langinfo_l(T_FMT, locale), &tm, locale) > 0) {
      text += ' ';
      text += buffer;
    }
  }
  freelocale(locale);
  return text;
}

}  // namespace platform
