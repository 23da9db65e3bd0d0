#include "archive/zip_header_info.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "archive/zip_constants.h"
#include "archive/zip_errors.h"
#include "archive/zip_numbers.h"
#include "platform/text.h"

namespace archive {

namespace {

constexpr std::uint32_t kMaxNameBytes = 0xFFFF;

std::uint16_t CheckedLength16(std::size_t size, const char* what) {
  if (size > kMaxNameBytes) throw EZipError(std::string(what) + " longer than 65535 bytes");
  return static_cast<std::uint16_t>(size);
}

bool Fits32(std::uint64_t value) { return value < zip::kZip64Marker32; }

// The Zip64 values of an extra field: each is taken, in the field's order, for a fixed field
// that holds the marker, as long as the block has bytes for it. A block too short for a
// value leaves that value as the fixed field had it.
struct TZip64Values {
  // A local header's block holds both sizes whichever of them hold the marker.
  bool bothSizes = false;
  std::uint64_t* uncompressed = nullptr;
  std::uint64_t* compressed = nullptr;
  std::uint64_t* offset = nullptr;
  std::uint16_t* disk = nullptr;
};

// Returns true when the extra field holds a Zip64 block.
bool ReadZip64Extra(const std::uint8_t* extra, std::size_t length, const TZip64Values& want) {
  std::size_t at = 0;
  while (at + zip::kExtraBlockHeaderSize <= length) {
    const std::uint16_t id = zip::LoadLe16(extra + at);
    const std::size_t size = zip::LoadLe16(extra + at + 2);
    const std::size_t dataAt = at + zip::kExtraBlockHeaderSize;
    const std::size_t available = std::min(size, length - dataAt);
    if (id == zip::kZip64ExtraId) {
      const std::uint8_t* data = extra + dataAt;
      if (want.bothSizes && available >= 16) {
        if (want.uncompressed != nullptr) *want.uncompressed = zip::LoadLe64(data);
        if (want.compressed != nullptr) *want.compressed = zip::LoadLe64(data + 8);
        return true;
      }
      std::size_t used = 0;
      for (std::uint64_t* field : {want.uncompressed, want.compressed, want.offset}) {
        if (field == nullptr) continue;
        if (used + 8 > available) return true;
        *field = zip::LoadLe64(data + used);
        used += 8;
      }
      if (want.disk != nullptr && used + 4 <= available) {
        const std::uint32_t disk = zip::LoadLe32(data + used);
        *want.disk = static_cast<std::uint16_t>(std::min<std::uint32_t>(disk, 0xFFFF));
      }
      return true;
    }
    at = dataAt + size;
  }
  return false;
}

void AppendLe16(std::string& out, std::uint16_t v) {
  std::uint8_t b[2];
  zip::StoreLe16(b, v);
  out.append(reinterpret_cast<const char*>(b), 2);
}
void AppendLe64(std::string& out, std::uint64_t v) {
  std::uint8_t b[8];
  zip::StoreLe64(b, v);
  out.append(reinterpret_cast<const char*>(b), 8);
}

// The Zip64 block with the given values (none: an empty text).
std::string Zip64Block(std::initializer_list<std::uint64_t> values) {
  if (values.size() == 0) return {};
  std::string block;
  AppendLe16(block, zip::kZip64ExtraId);
  AppendLe16(block, static_cast<std::uint16_t>(values.size() * 8));
  for (std::uint64_t v : values) AppendLe64(block, v);
  return block;
}

std::uint32_t Fixed32(std::uint64_t value) {
  return Fits32(value) ? static_cast<std::uint32_t>(value) : zip::kZip64Marker32;
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
  LocalZip64 = false;
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
  LocalZip64 = other.LocalZip64;
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
    in->Seek(start, TSeekOrigin::soBeginning);
    return false;
  }
  const std::uint16_t rawNameLength = zip::LoadLe16(h + zip::central::kNameLength);
  std::string rawName(rawNameLength, '\0');
  if (in->Read(rawName.data(), rawNameLength) != rawNameLength) {
    in->Seek(start, TSeekOrigin::soBeginning);
    return false;
  }
  ExtraLength = zip::LoadLe16(h + zip::central::kExtraLength);
  CommentLength = zip::LoadLe16(h + zip::central::kCommentLength);
  std::vector<std::uint8_t> extra(ExtraLength);
  const std::size_t extraGot = in->Read(extra.data(), extra.size());
  in->Seek(static_cast<std::int64_t>(ExtraLength - extraGot) + CommentLength,
           TSeekOrigin::soCurrent);

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
  TZip64Values wanted;
  if (UncompressedSize == zip::kZip64Marker32) wanted.uncompressed = &UncompressedSize;
  if (CompressedSize == zip::kZip64Marker32) wanted.compressed = &CompressedSize;
  if (LocalHeaderOffset == zip::kZip64Marker32) wanted.offset = &LocalHeaderOffset;
  if (DiskStart == zip::kZip64Marker16) wanted.disk = &DiskStart;
  ReadZip64Extra(extra.data(), extraGot, wanted);
  SplitStoredName(DecodeText(rawName, Flags));
  FileComment.reset();
  Selected = 0;
  CentralHeaderOffset = static_cast<std::uint64_t>(start);
  return true;
}

bool TZipHeaderInfo::ReadLocalHeader(TStream& stream) {
  const std::int64_t start = stream.Position();
  std::uint8_t h[zip::kLocalHeaderSize];
  if (stream.Read(h, sizeof h) != sizeof h ||
      zip::LoadLe32(h + zip::local::kSignature) != zip::kLocalHeaderSignature) {
    stream.Seek(start, TSeekOrigin::soBeginning);
    return false;
  }
  const std::uint16_t rawNameLength = zip::LoadLe16(h + zip::local::kNameLength);
  std::string rawName(rawNameLength, '\0');
  if (stream.Read(rawName.data(), rawNameLength) != rawNameLength) {
    stream.Seek(start, TSeekOrigin::soBeginning);
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
  // The Zip64 sizes, then back to the start of the extra field as callers expect.
  std::vector<std::uint8_t> extra(ExtraLength);
  const std::size_t extraGot = stream.Read(extra.data(), extra.size());
  stream.Seek(-static_cast<std::int64_t>(extraGot), TSeekOrigin::soCurrent);
  TZip64Values wanted;
  wanted.bothSizes = true;
  if (UncompressedSize == zip::kZip64Marker32) wanted.uncompressed = &UncompressedSize;
  if (CompressedSize == zip::kZip64Marker32) wanted.compressed = &CompressedSize;
  LocalZip64 = ReadZip64Extra(extra.data(), extraGot, wanted);
  SplitStoredName(DecodeText(rawName, Flags));
  LocalHeaderOffset = static_cast<std::uint64_t>(start);
  return true;
}

void TZipHeaderInfo::WriteLocalHeader(TStream& stream) {
  LocalHeaderOffset = static_cast<std::uint64_t>(stream.Position());
  const std::string name = StoredName();
  NameLength = CheckedLength16(name.size(), "Entry name");
  Flags = FlagsForWrite();
  if (!LocalZip64 && (!Fits32(CompressedSize) || !Fits32(UncompressedSize)))
    throw EZipError("The sizes of " + name + " (" + std::to_string(UncompressedSize) + ", " +
                    std::to_string(CompressedSize) +
                    " compressed) do not fit a local header without Zip64");
  const std::string zip64 =
      LocalZip64 ? Zip64Block({UncompressedSize, CompressedSize}) : std::string();
  const std::uint16_t extraLength =
      CheckedLength16(zip64.size() + ExtraLength, "Extra field");
  std::uint8_t h[zip::kLocalHeaderSize];
  zip::StoreLe32(h + zip::local::kSignature, zip::kLocalHeaderSignature);
  zip::StoreLe16(h + zip::local::kVersionNeeded,
                 LocalZip64 ? std::max(VersionNeeded, zip::kVersionZip64) : VersionNeeded);
  zip::StoreLe16(h + zip::local::kFlags, Flags);
  zip::StoreLe16(h + zip::local::kMethod, Method);
  zip::StoreLe32(h + zip::local::kDosDateTime, DosDateTime);
  zip::StoreLe32(h + zip::local::kCrc32, Crc32);
  zip::StoreLe32(h + zip::local::kCompressedSize, LocalZip64 ? zip::kZip64Marker32 : Fixed32(CompressedSize));
  zip::StoreLe32(h + zip::local::kUncompressedSize, LocalZip64 ? zip::kZip64Marker32 : Fixed32(UncompressedSize));
  zip::StoreLe16(h + zip::local::kNameLength, NameLength);
  zip::StoreLe16(h + zip::local::kExtraLength, extraLength);
  stream.Write(h, sizeof h);
  stream.Write(name.data(), name.size());
  if (!zip64.empty()) stream.Write(zip64.data(), zip64.size());
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
  std::string zip64;
  {
    std::uint64_t values[3];
    std::size_t count = 0;
    if (!Fits32(UncompressedSize)) values[count++] = UncompressedSize;
    if (!Fits32(CompressedSize)) values[count++] = CompressedSize;
    if (!Fits32(LocalHeaderOffset)) values[count++] = LocalHeaderOffset;
    switch (count) {
      case 1: zip64 = Zip64Block({values[0]}); break;
      case 2: zip64 = Zip64Block({values[0], values[1]}); break;
      case 3: zip64 = Zip64Block({values[0], values[1], values[2]}); break;
      default: break;
    }
  }
  std::uint8_t h[zip::kCentralHeaderSize];
  zip::StoreLe32(h + zip::central::kSignature, zip::kCentralHeaderSignature);
  zip::StoreLe16(h + zip::central::kVersionMadeBy, VersionMadeBy);
  zip::StoreLe16(h + zip::central::kVersionNeeded,
                 zip64.empty() ? VersionNeeded : std::max(VersionNeeded, zip::kVersionZip64));
  zip::StoreLe16(h + zip::central::kFlags, Flags);
  zip::StoreLe16(h + zip::central::kMethod, Method);
  zip::StoreLe32(h + zip::central::kDosDateTime, DosDateTime);
  zip::StoreLe32(h + zip::central::kCrc32, Crc32);
  zip::StoreLe32(h + zip::central::kCompressedSize, Fixed32(CompressedSize));
  zip::StoreLe32(h + zip::central::kUncompressedSize, Fixed32(UncompressedSize));
  zip::StoreLe16(h + zip::central::kNameLength, NameLength);
  zip::StoreLe16(h + zip::central::kExtraLength, static_cast<std::uint16_t>(zip64.size()));
  zip::StoreLe16(h + zip::central::kCommentLength, commentBytes);
  zip::StoreLe16(h + zip::central::kDiskStart, DiskStart);
  zip::StoreLe16(h + zip::central::kInternalAttributes, InternalAttributes);
  zip::StoreLe32(h + zip::central::kExternalAttributes, ExternalAttributes);
  zip::StoreLe32(h + zip::central::kLocalHeaderOffset, Fixed32(LocalHeaderOffset));
  stream.Write(h, sizeof h);
  stream.Write(name.data(), name.size());
  if (!zip64.empty()) stream.Write(zip64.data(), zip64.size());
  if (commentBytes != 0) stream.Write(FileComment->data(), commentBytes);
}

}  // namespace archive
