// TSortedZip: the entry list of the in-memory directory, kept in one of eight orders.
#pragma once

#include "archive/sorted_object_list.h"
#include "archive/zip_header_info.h"

namespace archive {

enum class TZipSortMode {
  ByName,              // Directory + FileName, ASCII case ignored
  ByFileName,          // FileName
  ByDirectoryName,     // Directory
  ByDate,              // newest first; never equal
  ByCompressedSize,    // largest first; never equal
  ByUnCompressedSize,  // largest first; never equal
  ByRate,              // highest CompressionRate first
  ByNone,              // physical order: disk, then local header offset
};

class TSortedZip : public TSortedObjectList<TZipHeaderInfo> {
 public:
  explicit TSortedZip(bool ownsObjects = true, TZipSortMode sortMode = TZipSortMode::ByNone)
      : TSortedObjectList<TZipHeaderInfo>(ownsObjects), SortMode(sortMode) {}

  TZipSortMode SortMode;

  int Compare(const TZipHeaderInfo& a, const TZipHeaderInfo& b) const override;
};

// Byte compare with ASCII letters folded to one case (other bytes as they are).
int CompareTextAscii(const std::string& a, const std::string& b);

}  // namespace archive
