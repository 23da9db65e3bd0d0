// TEndCentral: the end of central directory record, and the search for it at the end of a
// file. The eight fields from Signature to CommentLength are the record's 22-byte block.
//
// Zip64: the fields are wide enough for the Zip64 end record's values. When a Zip64 end
// locator lies right in front of the record and points at a Zip64 end record, the counts,
// the directory's size and offset and the disk numbers are taken from there (Zip64 is then
// set). Writing, a Zip64 end record and locator go in front of the 22-byte block exactly
// when a value does not fit its fixed field; the fixed field then holds the all-ones marker.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/stream.h"

namespace archive {

class TEndCentral {
 public:
  TEndCentral() { Clear(); }

  std::uint32_t Signature;
  std::uint32_t ThisDisk;
  std::uint32_t CentralDirDisk;
  std::uint64_t EntriesThisDisk;
  std::uint64_t TotalEntries;
  std::uint64_t CentralDirSize;
  std::uint64_t CentralDirOffset;
  std::uint16_t CommentLength;
  // Absent until read on demand (the reader reads it from CommentPosition).
  std::optional<std::string> ZipComment;
  std::uint64_t CommentPosition;  // file position of the archive comment (behind the record)
  std::uint8_t Modified;          // a comment changed: the archive must be rewritten
  // The values came from a Zip64 end record: TotalEntries is the true count. Without one,
  // TotalEntries is the 16-bit field, which a writer may have let wrap past 65535.
  bool Zip64;

  void Clear();
  // Copies the 22-byte block, the comment (when the source has one) and CommentPosition;
  // not Modified.
  void Assign(const TEndCentral& other);

  // Looks for the record in the last 65528 bytes of the stream; the hit nearest the end wins.
  // Fills the block fields and CommentPosition; the comment text is not read.
  bool FindEndCentral(TStream& stream);
  // Writes (a Zip64 end record and locator when needed, then) the 22-byte block and, when
  // CommentLength is non-zero and the text is present, the comment (CommentLength is set to
  // the text's length first, so record and bytes agree).
  void WriteEndCentral(TStream& stream);

  bool HasComment() const { return CommentLength != 0; }
  std::uint32_t EndCentralSize() const { return 22u + CommentLength; }
  // True when some value needs the Zip64 end record.
  bool NeedsZip64() const;

  // Decodes the 22-byte block (no signature check).
  void DecodeBlock(const std::uint8_t* block);

 private:
  // Takes the Zip64 end record's values when its locator lies in front of recordAt.
  void ReadZip64End(TStream& stream, std::int64_t recordAt);
};

}  // namespace archive
