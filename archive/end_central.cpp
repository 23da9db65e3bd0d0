#include "archive/end_central.h"

#include <algorithm>
#include <memory>

#include "archive/zip_constants.h"
#include "archive/zip_errors.h"

namespace archive {

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
  Zip64 = false;
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
  Zip64 = other.Zip64;
}

bool TEndCentral::NeedsZip64() const {
  return TotalEntries >= zip::kZip64Marker16 || EntriesThisDisk >= zip::kZip64Marker16 ||
         CentralDirSize >= zip::kZip64Marker32 || CentralDirOffset >= zip::kZip64Marker32 ||
         ThisDisk >= zip::kZip64Marker16 || CentralDirDisk >= zip::kZip64Marker16;
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
  // Not cleared first: every byte looked at is read from the stream.
  const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[window]);
  stream.Seek(size - static_cast<std::int64_t>(window), TSeekOrigin::soBeginning);
  if (stream.Read(buffer.get(), window) != window) return false;
  for (std::size_t i = window - zip::kEndCentralSize + 1; i-- > 0;) {
    if (buffer[i] != zip::kSignatureFirstByte) continue;
    if (zip::LoadLe32(&buffer[i]) != zip::kEndCentralSignature) continue;
    DecodeBlock(&buffer[i]);
    Zip64 = false;
    const std::int64_t recordAt =
        size - static_cast<std::int64_t>(window) + static_cast<std::int64_t>(i);
    ReadZip64End(stream, recordAt);
    // The comment starts right behind the record. (Counting back CommentLength bytes from the
    // end of the file would land in whatever was appended after the comment, or before the
    // record when the length is larger than what follows.)
    const std::int64_t recordEnd = size - static_cast<std::int64_t>(window) +
                                   static_cast<std::int64_t>(i) +
                                   static_cast<std::int64_t>(zip::kEndCentralSize);
    CommentPosition = static_cast<std::uint64_t>(recordEnd);
    return true;
  }
  return false;
}

void TEndCentral::ReadZip64End(TStream& stream, std::int64_t recordAt) {
  if (recordAt < static_cast<std::int64_t>(zip::kZip64LocatorSize)) return;
  std::uint8_t locator[zip::kZip64LocatorSize];
  stream.Seek(recordAt - static_cast<std::int64_t>(zip::kZip64LocatorSize),
              TSeekOrigin::soBeginning);
  if (stream.Read(locator, sizeof locator) != sizeof locator ||
      zip::LoadLe32(locator + zip::zip64locator::kSignature) != zip::kZip64LocatorSignature)
    return;
  const std::uint64_t endAt = zip::LoadLe64(locator + zip::zip64locator::kEndOffset);
  std::uint8_t record[zip::kZip64EndSize];
  if (endAt > static_cast<std::uint64_t>(recordAt)) return;
  stream.Seek(static_cast<std::int64_t>(endAt), TSeekOrigin::soBeginning);
  if (stream.Read(record, sizeof record) != sizeof record ||
      zip::LoadLe32(record + zip::zip64end::kSignature) != zip::kZip64EndSignature)
    return;
  // Disk numbers beyond 16 bits name no set anyone writes; kept in the reader's range.
  ThisDisk = std::min<std::uint32_t>(zip::LoadLe32(record + zip::zip64end::kThisDisk), 0xFFFF);
  CentralDirDisk =
      std::min<std::uint32_t>(zip::LoadLe32(record + zip::zip64end::kCentralDirDisk), 0xFFFF);
  EntriesThisDisk = zip::LoadLe64(record + zip::zip64end::kEntriesThisDisk);
  TotalEntries = zip::LoadLe64(record + zip::zip64end::kTotalEntries);
  CentralDirSize = zip::LoadLe64(record + zip::zip64end::kCentralDirSize);
  CentralDirOffset = zip::LoadLe64(record + zip::zip64end::kCentralDirOffset);
  Zip64 = true;
}

void TEndCentral::WriteEndCentral(TStream& stream) {
  const bool writeComment = CommentLength != 0 && ZipComment.has_value();
  if (writeComment) {
    if (ZipComment->size() > 0xFFFF) throw EZipError("Archive comment longer than 65535 bytes");
    CommentLength = static_cast<std::uint16_t>(ZipComment->size());
  } else {
    CommentLength = 0;
  }
  if (NeedsZip64()) {
    const std::int64_t recordAt = stream.Position();
    std::uint8_t record[zip::kZip64EndSize];
    zip::StoreLe32(record + zip::zip64end::kSignature, zip::kZip64EndSignature);
    zip::StoreLe64(record + zip::zip64end::kRecordSize, zip::kZip64EndSize - 12);
    zip::StoreLe16(record + zip::zip64end::kVersionMadeBy, zip::kVersionMadeByUnix);
    zip::StoreLe16(record + zip::zip64end::kVersionNeeded, zip::kVersionZip64);
    zip::StoreLe32(record + zip::zip64end::kThisDisk, ThisDisk);
    zip::StoreLe32(record + zip::zip64end::kCentralDirDisk, CentralDirDisk);
    zip::StoreLe64(record + zip::zip64end::kEntriesThisDisk, EntriesThisDisk);
    zip::StoreLe64(record + zip::zip64end::kTotalEntries, TotalEntries);
    zip::StoreLe64(record + zip::zip64end::kCentralDirSize, CentralDirSize);
    zip::StoreLe64(record + zip::zip64end::kCentralDirOffset, CentralDirOffset);
    stream.Write(record, sizeof record);
    std::uint8_t locator[zip::kZip64LocatorSize];
    zip::StoreLe32(locator + zip::zip64locator::kSignature, zip::kZip64LocatorSignature);
    zip::StoreLe32(locator + zip::zip64locator::kEndDisk, ThisDisk);
    zip::StoreLe64(locator + zip::zip64locator::kEndOffset, static_cast<std::uint64_t>(recordAt));
    zip::StoreLe32(locator + zip::zip64locator::kTotalDisks, ThisDisk + 1);
    stream.Write(locator, sizeof locator);
  }
  auto fixed16 = [](std::uint64_t v) {
    return v < zip::kZip64Marker16 ? static_cast<std::uint16_t>(v) : zip::kZip64Marker16;
  };
  auto fixed32 = [](std::uint64_t v) {
    return v < zip::kZip64Marker32 ? static_cast<std::uint32_t>(v) : zip::kZip64Marker32;
  };
  std::uint8_t block[zip::kEndCentralSize];
  zip::StoreLe32(block + zip::endcentral::kSignature, Signature);
  zip::StoreLe16(block + zip::endcentral::kThisDisk, fixed16(ThisDisk));
  zip::StoreLe16(block + zip::endcentral::kCentralDirDisk, fixed16(CentralDirDisk));
  zip::StoreLe16(block + zip::endcentral::kEntriesThisDisk, fixed16(EntriesThisDisk));
  zip::StoreLe16(block + zip::endcentral::kTotalEntries, fixed16(TotalEntries));
  zip::StoreLe32(block + zip::endcentral::kCentralDirSize, fixed32(CentralDirSize));
  zip::StoreLe32(block + zip::endcentral::kCentralDirOffset, fixed32(CentralDirOffset));
  zip::StoreLe16(block + zip::endcentral::kCommentLength, CommentLength);
  stream.Write(block, sizeof block);
  if (CommentLength != 0) stream.Write(ZipComment->data(), CommentLength);
}

}  // namespace archive
