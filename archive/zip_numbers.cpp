#include "archive/zip_numbers.h"

std::uint32_t NormalizeDosDateTime(std::uint32_t value) {
  // DOS time: hour 11-15, minute 5-10, seconds/2 0-4. DOS date (high word): year-1980
  // 25-31, month 21-24, day 16-20.
  std::uint32_t hour = (value >> 11) & 0x1F;
  std::uint32_t minute = (value >> 5) & 0x3F;
  std::uint32_t twoSeconds = value & 0x1F;
  std::uint32_t year = 1980 + ((value >> 25) & 0x7F);
  std::uint32_t month = (value >> 21) & 0x0F;
  std::uint32_t day = (value >> 16) & 0x1F;
  bool clamped = false;
  auto clampHigh = [&clamped](std::uint32_t& field, std::uint32_t limit) {
    if (field > limit) {
      field = limit;
      clamped = true;
    }
  };
  auto clampLow = [&clamped](std::uint32_t& field, std::uint32_t limit) {
    if (field < limit) {
      field = limit;
      clamped = true;
    }
  };
  clampHigh(hour, 24);
  clampHigh(minute, 59);
  clampHigh(twoSeconds, 29);  // 59 seconds, stored halved
  clampHigh(year, 2099);      // year below 1980 cannot be encoded
  clampHigh(month, 12);
  clampLow(month, 1);
  clampHigh(day, 31);
  clampLow(day, 1);
  if (!clamped) return value;
  return ((year - 1980) << 25) | (month << 21) | (day << 16) | (hour << 11) | (minute << 5) |
         twoSeconds;
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
