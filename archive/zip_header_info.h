// TZipHeaderInfo: one archive entry, carried between reading, writing and extracting, with
// the codecs of its local and central header records.
//
// Names: FileName and Directory hold UTF-8 text with "/" as separator; Directory is empty
// or ends in "/". The stored name is Directory followed by FileName. Written: an ASCII name
// goes out as is; any other name as UTF-8 with general purpose flag bit 11 set. Read: bit 11
// means UTF-8, otherwise the bytes are code page 437 and are converted to UTF-8.
// NameLength is always the byte length of Directory + FileName, i.e. of the name as this
// layer writes it (a code page 437 name read from an archive may have been shorter there).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "archive/stream.h"

namespace archive {

// Switches reading to the next disk of a split archive and returns the stream to go on with.
using TNextDiskFn = std::function<TStream&()>;

class TZipHeaderInfo {
 public:
  TZipHeaderInfo() { Clear(); }

  std::uint16_t VersionMadeBy;
  std::uint16_t VersionNeeded;
  std::uint16_t Flags;
  std::uint16_t Method;
  std::uint32_t DosDateTime;  // DOS time in the low word, DOS date in the high word
  std::uint32_t Crc32;
  // Sizes and offsets are 64-bit: a value that does not fit its 32-bit field is read from
  // and written to the Zip64 extra field (ID 0x0001).
  std::uint64_t CompressedSize;
  std::uint64_t UncompressedSize;
  std::uint16_t NameLength;
  std::uint16_t ExtraLength;  // as read (local or central); entries made here have none
  std::uint16_t CommentLength;
  std::uint16_t DiskStart;
  std::uint16_t InternalAttributes;
  std::uint32_t ExternalAttributes;
  std::uint64_t LocalHeaderOffset;
  std::uint64_t CentralHeaderOffset;  // where the central header was read; 0 otherwise
  std::string FileName;
  std::string Directory;
  // Absent while a comment announced by CommentLength has not been read yet.
  std::optional<std::string> FileComment;
  std::uint8_t Selected;
  std::uint8_t EntryState;  // kEntryDropped: left out when the archive is rewritten
  // The local header carries a Zip64 extra field with both sizes (read: one was found;
  // write: one is written, and its fixed size fields hold 0xFFFFFFFF). The writer decides
  // before the data, because the header is written again with the same length afterwards.
  bool LocalZip64;

  static constexpr std::uint8_t kEntryDropped = 2;

  void Clear();
  void Assign(const TZipHeaderInfo& other);

  // Reads one central header at the stream's position. False (stream back where it was)
  // for a short record, a wrong signature or a short name. The extra field is read only for
  // its Zip64 values (taken for the fixed fields that hold the 0xFFFFFFFF marker), then
  // dropped; the comment is skipped. nextDisk is called when the record is cut by the end of
  // a disk.
  bool ReadCentralHeader(TStream& stream, const TNextDiskFn& nextDisk = {});
  // Reads one local header; leaves the stream after the name, before the extra field, and
  // sets ExtraLength to the local extra field's length. Zip64 sizes in the extra field are
  // taken as for the central header.
  bool ReadLocalHeader(TStream& stream);
  // Sets LocalHeaderOffset to the stream position and writes the 30-byte header and the name,
  // with ExtraLength as the extra field's length: the caller writes those bytes (entries made
  // here have none). With LocalZip64 the Zip64 field comes first, written here and counted
  // in the header's extra length. Writing again at the same position rewrites the same
  // header. A size that does not fit without LocalZip64 raises EZipError: no record is ever
  // written with a wrapped value.
  void WriteLocalHeader(TStream& stream);
  // Writes the 46-byte header, the name, a Zip64 extra field holding exactly the values that
  // do not fit their fixed fields (none when all fit), and the comment when one is present.
  // Other extra bytes are never kept, whatever ExtraLength holds.
  void WriteCentralHeader(TStream& stream);

  std::uint64_t LocalHeaderSize() const { return 30u + NameLength + ExtraLength; }
  std::uint64_t CentralHeaderSize() const { return 46u + NameLength + ExtraLength + CommentLength; }
  bool HasComment() const { return CommentLength != 0; }
  bool IsEncrypted() const;
  bool HasDataDescriptor() const;
  bool IsUtf8() const;  // flag bit 11: name and comment are UTF-8

  void SetFileName(const std::string& text);
  // A non-empty text without a trailing "/" gets one.
  void SetDirectory(const std::string& text);
  void SetFileComment(const std::optional<std::string>& text);

  // Directory + FileName.
  std::string StoredName() const { return Directory + FileName; }

  // Converts name or comment bytes of an archive to UTF-8 as the entry's flags say.
  static std::string DecodeText(const std::string& raw, std::uint16_t flags);

 private:
  void SplitStoredName(const std::string& name);
  std::uint16_t FlagsForWrite() const;
};

}  // namespace archive
