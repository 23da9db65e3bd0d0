#include "archive/sorted_zip.h"

#include "archive/zip_numbers.h"
#include "platform/file_time.h"

namespace archive {

namespace {

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// A date that names no valid time counts as 0, i.e. older than every real one.
platform::FileTime DateValue(std::uint32_t dosDateTime) {
  return platform::DosDateTimeToFileTime(dosDateTime).value_or(0);
}

// CompareTextAscii of a1 + a2 with b1 + b2, without building the joined texts.
int CompareJoined(const std::string& a1, const std::string& a2, const std::string& b1,
                  const std::string& b2) {
  const std::size_t aSize = a1.size() + a2.size();
  const std::size_t bSize = b1.size() + b2.size();
  const std::size_t n = aSize < bSize ? aSize : bSize;
  for (std::size_t i = 0; i < n; ++i) {
    const char rawA = i < a1.size() ? a1[i] : a2[i - a1.size()];
    const char rawB = i < b1.size() ? b1[i] : b2[i - b1.size()];
    const unsigned char ca = FoldAscii(static_cast<unsigned char>(rawA));
    const unsigned char cb = FoldAscii(static_cast<unsigned char>(rawB));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (aSize == bSize) return 0;
  return aSize < bSize ? -1 : 1;
}

}  // namespace

int CompareTextAscii(const std::string& a, const std::string& b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char ca = FoldAscii(static_cast<unsigned char>(a[i]));
    const unsigned char cb = FoldAscii(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int TSortedZip::Compare(const TZipHeaderInfo& a, const TZipHeaderInfo& b) const {
  switch (SortMode) {
    case TZipSortMode::ByName:
      return CompareJoined(a.Directory, a.FileName, b.Directory, b.FileName);
    case TZipSortMode::ByFileName:
      return CompareTextAscii(a.FileName, b.FileName);
    case TZipSortMode::ByDirectoryName:
      return CompareTextAscii(a.Directory, b.Directory);
    case TZipSortMode::ByDate:
      return DateValue(a.DosDateTime) < DateValue(b.DosDateTime) ? 1 : -1;
    case TZipSortMode::ByCompressedSize:
      return a.CompressedSize < b.CompressedSize ? 1 : -1;
    case TZipSortMode::ByUnCompressedSize:
      return a.UncompressedSize < b.UncompressedSize ? 1 : -1;
    case TZipSortMode::ByRate:
      return CompressionRate(b.UncompressedSize, b.CompressedSize) -
             CompressionRate(a.UncompressedSize, a.CompressedSize);
    case TZipSortMode::ByNone:
    default:
      if (a.DiskStart != b.DiskStart) return static_cast<int>(a.DiskStart) - b.DiskStart;
      if (a.LocalHeaderOffset == b.LocalHeaderOffset) return 0;
      return a.LocalHeaderOffset > b.LocalHeaderOffset ? 1 : -1;
  }
}

}  // namespace archive
