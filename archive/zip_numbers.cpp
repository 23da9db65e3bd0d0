#include "archive/zip_numbers.h"

#include "platform/clock.h"
#include "platform/file_time.h"

namespace archive {

std::uint32_t NormalizeDosDateTime(std::uint32_t value) {
  platform::DosDateTimeFields f = platform::SplitDosDateTime(value);
  bool clamped = false;
  auto clampHigh = [&clamped](int& field, int limit) {
    if (field > limit) {
      field = limit;
      clamped = true;
    }
  };
  auto clampLow = [&clamped](int& field, int limit) {
    if (field < limit) {
      field = limit;
      clamped = true;
    }
  };
  clampHigh(f.hour, 24);
  clampHigh(f.minute, 59);
  clampHigh(f.second, 58);
  clampHigh(f.year, 2099);  // a year below 1980 cannot be encoded
  clampHigh(f.month, 12);
  clampLow(f.month, 1);
  clampHigh(f.day, 31);
  clampLow(f.day, 1);
  return clamped ? platform::JoinDosDateTime(f) : value;
}

double DosDateTimeToOleDate(std::uint32_t dosDateTime) {
  const std::optional<platform::FileTime> time = platform::DosDateTimeToFileTime(dosDateTime);
  if (!time) return platform::NowOleDate();
  return platform::CalendarToOleDate(platform::FileTimeToLocal(*time));
}

int CompressionRate(std::int64_t uncompressed, std::int64_t compressed) {
  if (uncompressed <= 0) return 0;
  if (compressed <= 0) return 0;
  // Exact integer arithmetic: c * 100 fits in 128 bits for every 64-bit c.
  const __int128 scaled = static_cast<__int128>(compressed) * 100;
  __int128 quotient = scaled / uncompressed;
  const __int128 twiceRemainder = (scaled % uncompressed) * 2;
  if (twiceRemainder > uncompressed || (twiceRemainder == uncompressed && (quotient & 1) != 0))
    ++quotient;
  return quotient > 100 ? 100 : static_cast<int>(quotient);
}

}  // namespace archive
