// Small numeric rules of the archive layer: DOS date/time clean-up and conversion, and
// compression rates.
#pragma once

#include <cstdint>

namespace archive {

// Clamps the fields of a DOS date/time (date in the high word) into a valid range: hour at
// most 24, minute and second at most 59, year 1980..2099, month 1..12, day 1..31. A value
// that needs no clamping is returned bit for bit unchanged.
std::uint32_t NormalizeDosDateTime(std::uint32_t value);

// The local time a DOS date/time names as an OLE date (days since 1899-12-30), the form the
// reader's DateTime reports and the writer's freshen and update compare; a value that names
// no valid time counts as now.
double DosDateTimeToOleDate(std::uint32_t dosDateTime);

// The compressed size as a percentage of the uncompressed size, rounded half to even and
// capped at 100; 0 when uncompressed is 0 or less.
int CompressionRate(std::int64_t uncompressed, std::int64_t compressed);

}  // namespace archive
