// TEndCentral: the end of central directory record, and the search for it at the end of a
// file. The eight fields from Signature to CommentLength are the record's 22-byte block.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/stream.h"

class TEndCentral {
 public:
  TEndCentral() { Clear(); }

  std::uint32_t Signature;
  std::uint16_t ThisDisk;
  std::uint16_t CentralDirDisk;
  std::uint16_t EntriesThisDisk;
  std::uint16_t TotalEntries;
  std::uint32_t CentralDirSize;
  std::uint32_t CentralDirOffset;
  std::uint16_t CommentLength;
  // Absent until read on demand (the reader reads it from CommentPosition).
  std::optional<std::string> ZipComment;
  std::uint32_t CommentPosition;  // file position of the archive comment (behind the record)
  std::uint8_t Modified;          // a comment changed: the archive must be rewritten

  void Clear();
  // Copies the 22-byte block, the comment (when the source has one) and CommentPosition;
  // not Modified.
  void Assign(const TEndCentral& other);

  // Looks for the record in the last 65528 bytes of the stream; the hit nearest the end wins.
  // Fills the block fields and CommentPosition; the comment text is not read.
  bool FindEndCentral(TStream& stream);
  // Writes the 22-byte block and, when CommentLength is non-zero and the text is present,
  // the comment (CommentLength is set to the text's length first, so record and bytes agree).
  void WriteEndCentral(TStream& stream);

  bool HasComment() const { return CommentLength != 0; }
  std::uint32_t EndCentralSize() const { return 22u + CommentLength; }

  // Decodes the 22-byte block (no signature check).
  void DecodeBlock(const std::uint8_t* block);
};
