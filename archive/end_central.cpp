#include "archive/end_central.h"

#include <algorithm>
#include <vector>

#include "archive/zip_constants.h"
#include "archive/zip_errors.h"

void TEndCentral::Clear() {
  Signature = zip::kEndCentralSignature;
  ThisDisk = 0;
  CentralDirDisk = 0;
  EntriesThisDisk = 0;
  TotalEntries = 0;
  CentralDirSize = 0;
  CentralDirOffset = 0;
  CommentLength = 0;
  ZipComment.reset();
  CommentPosition = 0;
  Modified = 0;
}

void TEndCentral::Assign(const TEndCentral& other) {
  if (&other == this) return;
  Signature = other.Signature;
  ThisDisk = other.ThisDisk;
  CentralDirDisk = other.CentralDirDisk;
  EntriesThisDisk = other.EntriesThisDisk;
  TotalEntries = other.TotalEntries;
  CentralDirSize = other.CentralDirSize;
  CentralDirOffset = other.CentralDirOffset;
  CommentLength = other.CommentLength;
  if (other.ZipComment)
    ZipComment = *other.ZipComment;
  else
    ZipComment.reset();
  CommentPosition = other.CommentPosition;
}

void TEndCentral::DecodeBlock(const std::uint8_t* block) {
  Signature = zip::LoadLe32(block + zip::endcentral::kSignature);
  ThisDisk = zip::LoadLe16(block + zip::endcentral::kThisDisk);
  CentralDirDisk = zip::LoadLe16(block + zip::endcentral::kCentralDirDisk);
  EntriesThisDisk = zip::LoadLe16(block + zip::endcentral::kEntriesThisDisk);
  TotalEntries = zip::LoadLe16(block + zip::endcentral::kTotalEntries);
  CentralDirSize = zip::LoadLe32(block + zip::endcentral::kCentralDirSize);
  CentralDirOffset = zip::LoadLe32(block + zip::endcentral::kCentralDirOffset);
  CommentLength = zip::LoadLe16(block + zip::endcentral::kCommentLength);
}

bool TEndCentral::FindEndCentral(TStream& stream) {
  const std::int64_t size = stream.Size();
  if (size < static_cast<std::int64_t>(zip::kEndCentralSize)) return false;
  const std::size_t window = static_cast<std::size_t>(
      std::min<std::int64_t>(size, static_cast<std::int64_t>(zip::kEndCentralSearchWindow)));
  std::vector<std::uint8_t> buffer(window);
  stream.Seek(size - static_cast<std::int64_t>(window), soBeginning);
  if (stream.Read(buffer.data(), window) != window) return false;
  for (std::size_t i = window - zip::kEndCentralSize + 1; i-- > 0;) {
    if (buffer[i] != zip::kSignatureFirstByte) continue;
    if (zip::LoadLe32(&buffer[i]) != zip::kEndCentralSignature) continue;
    DecodeBlock(&buffer[i]);
    // The comment starts right behind the record. (Counting back CommentLength bytes from the
    // end of the file would land in whatever was appended after the comment, or before the
    // record when the length is larger than what follows.)
    const std::int64_t recordEnd = size - static_cast<std::int64_t>(window) +
                                   static_cast<std::int64_t>(i) +
                                   static_cast<std::int64_t>(zip::kEndCentralSize);
    CommentPosition = static_cast<std::uint32_t>(
        std::min<std::int64_t>(recordEnd, static_cast<std::int64_t>(zip::kMax32)));
    return true;
  }
  return false;
}

void TEndCentral::WriteEndCentral(TStream& stream) {
  const bool writeComment = CommentLength != 0 && ZipComment.has_value();
  if (writeComment) {
    if (ZipComment->size() > 0xFFFF) throw EZipError("Archive comment longer than 65535 bytes");
    CommentLength = static_cast<std::uint16_t>(ZipComment->size());
  } else {
    CommentLength = 0;
  }
  std::uint8_t block[zip::kEndCentralSize];
  zip::StoreLe32(block + zip::endcentral::kSignature, Signature);
  zip::StoreLe16(block + zip::endcentral::kThisDisk, ThisDisk);
  zip::StoreLe16(block + zip::endcentral::kCentralDirDisk, CentralDirDisk);
  zip::StoreLe16(block + zip::endcentral::kEntriesThisDisk, EntriesThisDisk);
  zip::StoreLe16(block + zip::endcentral::kTotalEntries, TotalEntries);
  zip::StoreLe32(block + zip::endcentral::kCentralDirSize, CentralDirSize);
  zip::StoreLe32(block + zip::endcentral::kCentralDirOffset, CentralDirOffset);
  zip::StoreLe16(block + zip::endcentral::kCommentLength, CommentLength);
  stream.Write(block, sizeof block);
  if (CommentLength != 0) stream.Write(ZipComment->data(), CommentLength);
}
