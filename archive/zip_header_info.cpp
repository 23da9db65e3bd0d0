#include "archive/zip_header_info.h"

#include <cstring>

#include "archive/zip_constants.h"
#include "archive/zip_errors.h"
#include "archive/zip_numbers.h"
#include "platform/text.h"

namespace {

constexpr std::uint32_t kMaxNameBytes = 0xFFFF;

std::uint16_t CheckedLength16(std::size_t size, const char* what) {
  if (size > kMaxNameBytes) throw EZipError(std::string(what) + " longer than 65535 bytes");
  return static_cast<std::uint16_t>(size);
}

std::uint32_t CheckedOffset32(std::int64_t position) {
  if (position < 0 || static_cast<std::uint64_t>(position) > zip::kMax32)
    throw EZipError("Archive larger than 4 GB (offset " + std::to_string(position) + ")");
  return static_cast<std::uint32_t>(position);
}

}  // namespace

void TZipHeaderInfo::Clear() {
  VersionMadeBy = zip::kVersion20;
  VersionNeeded = zip::kVersion20;
  Flags = 0;
  Method = zip::kMethodDeflated;
  DosDateTime = 0;
  Crc32 = 0xFFFFFFFF;
  CompressedSize = 0;
  UncompressedSize = 0;
  NameLength = 0;
  ExtraLength = 0;
  CommentLength = 0;
  DiskStart = 0;
  InternalAttributes = zip::kInternalText;
  ExternalAttributes = 0x20;  // archive
  LocalHeaderOffset = 0;
  CentralHeaderOffset = 0;
  FileName.clear();
  Directory.clear();
  FileComment.reset();
  Selected = 0;
  EntryState = 0;
}

void TZipHeaderInfo::Assign(const TZipHeaderInfo& other) {
  if (&other == this) return;
  VersionMadeBy = other.VersionMadeBy;
  VersionNeeded = other.VersionNeeded;
  Flags = other.Flags;
  Method = other.Method;
  DosDateTime = other.DosDateTime;
  Crc32 = other.Crc32;
  CompressedSize = other.CompressedSize;
  UncompressedSize = other.UncompressedSize;
  NameLength = other.NameLength;
  ExtraLength = other.ExtraLength;
  CommentLength = other.CommentLength;
  DiskStart = other.DiskStart;
  InternalAttributes = other.InternalAttributes;
  ExternalAttributes = other.ExternalAttributes;
  LocalHeaderOffset = other.LocalHeaderOffset;
  CentralHeaderOffset = other.CentralHeaderOffset;
  SetFileName(other.FileName);
  SetDirectory(other.Directory);
  // A comment left over from this entry's earlier life would be attached to the wrong entry.
  if (other.CommentLength != 0 && other.FileComment)
    FileComment = *other.FileComment;
  else
    FileComment.reset();
  Selected = other.Selected;
  EntryState = other.EntryState;
}

bool TZipHeaderInfo::IsEncrypted() const { return (Flags & zip::kFlagEncrypted) != 0; }
bool TZipHeaderInfo::HasDataDescriptor() const { return (Flags & zip::kFlagDataDescriptor) != 0; }
bool TZipHeaderInfo::IsUtf8() const { return (Flags & zip::kFlagUtf8) != 0; }

void TZipHeaderInfo::SetFileName(const std::string& text) {
  if (FileName != text) FileName = text;
  NameLength = static_cast<std::uint16_t>(Directory.size() + FileName.size());
}

void TZipHeaderInfo::SetDirectory(const std::string& text) {
  std::string value = text;
  if (!value.empty() && value.back() != '/') value += '/';
  if (Directory != value) Directory = value;
  NameLength = static_cast<std::uint16_t>(Directory.size() + FileName.size());
}

void TZipHeaderInfo::SetFileComment(const std::optional<std::string>& text) {
  FileComment = text;
  CommentLength =
      text ? static_cast<std::uint16_t>(std::min<std::size_t>(text->size(), 0xFFFF)) : 0;
}

std::string TZipHeaderInfo::DecodeText(const std::string& raw, std::uint16_t flags) {
  if ((flags & zip::kFlagUtf8) != 0 || platform::IsAscii(raw)) return raw;
  return platform::Cp437ToUtf8(raw);
}

void TZipHeaderInfo::SplitStoredName(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) {
    Directory.clear();
    FileName = name;
  } else {
    Directory = name.substr(0, slash + 1);
    FileName = name.substr(slash + 1);
  }
  NameLength = static_cast<std::uint16_t>(std::min<std::size_t>(name.size(), 0xFFFF));
}

std::uint16_t TZipHeaderInfo::FlagsForWrite() const {
  const bool plain = platform::IsAscii(Directory) && platform::IsAscii(FileName) &&
                     (!FileComment || platform::IsAscii(*FileComment));
  return plain ? static_cast<std::uint16_t>(Flags & ~zip::kFlagUtf8)
               : static_cast<std::uint16_t>(Flags | zip::kFlagUtf8);
}

bool TZipHeaderInfo::ReadCentralHeader(TStream& stream, const TNextDiskFn& nextDisk) {
  TStream* in = &stream;
  const std::int64_t start = in->Position();
  std::uint8_t h[zip::kCentralHeaderSize];
  std::size_t got = in->Read(h, sizeof h);
  if (got < sizeof h && nextDisk) {
    // The record may continue on the next disk: only when nothing of it, or the start of a
    // central header, was found at the end of this one.
    static const std::uint8_t kSig[4] = {0x50, 0x4b, 0x01, 0x02};
    if (got == 0 || std::memcmp(h, kSig, got < 4 ? got : 4) == 0) {
      in = &nextDisk();
      got += in->Read(h + got, sizeof h - got);
    }
  }
  if (got < sizeof h ||
      zip::LoadLe32(h + zip::central::kSignature) != zip::kCentralHeaderSignature) {
    in->Seek(start, soBeginning);
    return false;
  }
  const std::uint16_t rawNameLength = zip::LoadLe16(h + zip::central::kNameLength);
  std::string rawName(rawNameLength, '\0');
  if (in->Read(rawName.data(), rawNameLength) != rawNameLength) {
    in->Seek(start, soBeginning);
    return false;
  }
  ExtraLength = zip::LoadLe16(h + zip::central::kExtraLength);
  CommentLength = zip::LoadLe16(h + zip::central::kCommentLength);
  in->Seek(static_cast<std::int64_t>(ExtraLength) + CommentLength, soCurrent);

  VersionMadeBy = zip::LoadLe16(h + zip::central::kVersionMadeBy);
  VersionNeeded = zip::LoadLe16(h + zip::central::kVersionNeeded);
  Flags = zip::LoadLe16(h + zip::central::kFlags);
  Method = zip::LoadLe16(h + zip::central::kMethod);
  DosDateTime = NormalizeDosDateTime(zip::LoadLe32(h + zip::central::kDosDateTime));
  Crc32 = zip::LoadLe32(h + zip::central::kCrc32);
  CompressedSize = zip::LoadLe32(h + zip::central::kCompressedSize);
  UncompressedSize = zip::LoadLe32(h + zip::central::kUncompressedSize);
  DiskStart = zip::LoadLe16(h + zip::central::kDiskStart);
  InternalAttributes = zip::LoadLe16(h + zip::central::kInternalAttributes);
  ExternalAttributes = zip::LoadLe32(h + zip::central::kExternalAttributes);
  LocalHeaderOffset = zip::LoadLe32(h + zip::central::kLocalHeaderOffset);
  SplitStoredName(DecodeText(rawName, Flags));
  FileComment.reset();
  Selected = 0;
  CentralHeaderOffset = static_cast<std::uint32_t>(start);
  return true;
}

bool TZipHeaderInfo::ReadLocalHeader(TStream& stream) {
  const std::int64_t start = stream.Position();
  std::uint8_t h[zip::kLocalHeaderSize];
  if (stream.Read(h, sizeof h) != sizeof h ||
      zip::LoadLe32(h + zip::local::kSignature) != zip::kLocalHeaderSignature) {
    stream.Seek(start, soBeginning);
    return false;
  }
  const std::uint16_t rawNameLength = zip::LoadLe16(h + zip::local::kNameLength);
  std::string rawName(rawNameLength, '\0');
  if (stream.Read(rawName.data(), rawNameLength) != rawNameLength) {
    stream.Seek(start, soBeginning);
    return false;
  }
  VersionNeeded = zip::LoadLe16(h + zip::local::kVersionNeeded);
  Flags = zip::LoadLe16(h + zip::local::kFlags);
  Method = zip::LoadLe16(h + zip::local::kMethod);
  DosDateTime = NormalizeDosDateTime(zip::LoadLe32(h + zip::local::kDosDateTime));
  Crc32 = zip::LoadLe32(h + zip::local::kCrc32);
  CompressedSize = zip::LoadLe32(h + zip::local::kCompressedSize);
  UncompressedSize = zip::LoadLe32(h + zip::local::kUncompressedSize);
  ExtraLength = zip::LoadLe16(h + zip::local::kExtraLength);
  SplitStoredName(DecodeText(rawName, Flags));
  LocalHeaderOffset = static_cast<std::uint32_t>(start);
  return true;
}

void TZipHeaderInfo::WriteLocalHeader(TStream& stream) {
  LocalHeaderOffset = CheckedOffset32(stream.Position());
  const std::string name = StoredName();
  NameLength = CheckedLength16(name.size(), "Entry name");
  Flags = FlagsForWrite();
  std::uint8_t h[zip::kLocalHeaderSize];
  zip::StoreLe32(h + zip::local::kSignature, zip::kLocalHeaderSignature);
  zip::StoreLe16(h + zip::local::kVersionNeeded, VersionNeeded);
  zip::StoreLe16(h + zip::local::kFlags, Flags);
  zip::StoreLe16(h + zip::local::kMethod, Method);
  zip::StoreLe32(h + zip::local::kDosDateTime, DosDateTime);
  zip::StoreLe32(h + zip::local::kCrc32, Crc32);
  zip::StoreLe32(h + zip::local::kCompressedSize, CompressedSize);
  zip::StoreLe32(h + zip::local::kUncompressedSize, UncompressedSize);
  zip::StoreLe16(h + zip::local::kNameLength, NameLength);
  zip::StoreLe16(h + zip::local::kExtraLength, ExtraLength);
  stream.Write(h, sizeof h);
  stream.Write(name.data(), name.size());
}

void TZipHeaderInfo::WriteCentralHeader(TStream& stream) {
  const std::string name = StoredName();
  NameLength = CheckedLength16(name.size(), "Entry name");
  // The record and the bytes after it must agree: the length written is the comment's.
  const bool writeComment = CommentLength != 0 && FileComment.has_value();
  const std::uint16_t commentBytes =
      writeComment ? CheckedLength16(FileComment->size(), "Entry comment") : 0;
  CommentLength = commentBytes;
  Flags = FlagsForWrite();
  std::uint8_t h[zip::kCentralHeaderSize];
  zip::StoreLe32(h + zip::central::kSignature, zip::kCentralHeaderSignature);
  zip::StoreLe16(h + zip::central::kVersionMadeBy, VersionMadeBy);
  zip::StoreLe16(h + zip::central::kVersionNeeded, VersionNeeded);
  zip::StoreLe16(h + zip::central::kFlags, Flags);
  zip::StoreLe16(h + zip::central::kMethod, Method);
  zip::StoreLe32(h + zip::central::kDosDateTime, DosDateTime);
  zip::StoreLe32(h + zip::central::kCrc32, Crc32);
  zip::StoreLe32(h + zip::central::kCompressedSize, CompressedSize);
  zip::StoreLe32(h + zip::central::kUncompressedSize, UncompressedSize);
  zip::StoreLe16(h + zip::central::kNameLength, NameLength);
  zip::StoreLe16(h + zip::central::kExtraLength, 0);
  zip::StoreLe16(h + zip::central::kCommentLength, commentBytes);
  zip::StoreLe16(h + zip::central::kDiskStart, DiskStart);
  zip::StoreLe16(h + zip::central::kInternalAttributes, InternalAttributes);
  zip::StoreLe32(h + zip::central::kExternalAttributes, ExternalAttributes);
  zip::StoreLe32(h + zip::central::kLocalHeaderOffset, LocalHeaderOffset);
  stream.Write(h, sizeof h);
  stream.Write(name.data(), name.size());
  if (commentBytes != 0) stream.Write(FileComment->data(), commentBytes);
}
