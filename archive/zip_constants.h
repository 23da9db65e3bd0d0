// The ZIP container's numbers in one place: record signatures, fixed record lengths, field
// offsets, flag bits and the little-endian load/store helpers every record codec uses.
// Reader and writer both encode and decode through these names; no code spells an offset.
#pragma once

#include <cstddef>
#include <cstdint>

namespace archive {

namespace zip {

// --- Little-endian helpers ----------------------------------------------------------------
// Byte by byte, so they are independent of the host's byte order and alignment.

inline std::uint16_t LoadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void StoreLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// --- Signatures ("PK" followed by two record-type bytes) ----------------------------------
inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;     // "PK\3\4"
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;   // "PK\1\2"
inline constexpr std::uint32_t kEndCentralSignature = 0x06054b50;      // "PK\5\6"
inline constexpr std::uint32_t kDataDescriptorSignature = 0x08074b50;  // "PK\7\8"
inline constexpr std::uint8_t kSignatureFirstByte = 0x50;              // 'P'

// --- Local file header: 30 fixed bytes, then name and extra field -------------------------
inline constexpr std::size_t kLocalHeaderSize = 30;
namespace local {
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kVersionNeeded = 4;
inline constexpr std::size_t kFlags = 6;
inline constexpr std::size_t kMethod = 8;
inline constexpr std::size_t kDosDateTime = 10;  // time in the low word, date in the high word
inline constexpr std::size_t kCrc32 = 14;
inline constexpr std::size_t kCompressedSize = 18;
inline constexpr std::size_t kUncompressedSize = 22;
inline constexpr std::size_t kNameLength = 26;
inline constexpr std::size_t kExtraLength = 28;
inline constexpr std::size_t kName = 30;
}  // namespace local
static_assert(local::kName == kLocalHeaderSize);

// --- Central directory header: 46 fixed bytes, then name, extra field and comment --------
inline constexpr std::size_t kCentralHeaderSize = 46;
namespace central {
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kVersionMadeBy = 4;
inline constexpr std::size_t kVersionNeeded = 6;
inline constexpr std::size_t kFlags = 8;
inline constexpr std::size_t kMethod = 10;
inline constexpr std::size_t kDosDateTime = 12;
inline constexpr std::size_t kCrc32 = 16;
inline constexpr std::size_t kCompressedSize = 20;
inline constexpr std::size_t kUncompressedSize = 24;
inline constexpr std::size_t kNameLength = 28;
inline constexpr std::size_t kExtraLength = 30;
inline constexpr std::size_t kCommentLength = 32;
inline constexpr std::size_t kDiskStart = 34;
inline constexpr std::size_t kInternalAttributes = 36;
inline constexpr std::size_t kExternalAttributes = 38;
inline constexpr std::size_t kLocalHeaderOffset = 42;
inline constexpr std::size_t kName = 46;
}  // namespace central
static_assert(central::kName == kCentralHeaderSize);

// --- End of central directory record: 22 fixed bytes, then the archive comment ------------
inline constexpr std::size_t kEndCentralSize = 22;
namespace endcentral {
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kThisDisk = 4;
inline constexpr std::size_t kCentralDirDisk = 6;
inline constexpr std::size_t kEntriesThisDisk = 8;
inline constexpr std::size_t kTotalEntries = 10;
inline constexpr std::size_t kCentralDirSize = 12;
inline constexpr std::size_t kCentralDirOffset = 16;
inline constexpr std::size_t kCommentLength = 20;
inline constexpr std::size_t kComment = 22;
}  // namespace endcentral
static_assert(endcentral::kComment == kEndCentralSize);

// The end record is searched for in at most this many bytes at the end of the file: the
// longest comment (65535) plus the record (22), rounded down to a multiple of 8 (0xFFF8).
inline constexpr std::size_t kEndCentralSearchWindow = 65528;

// A data descriptor after the entry data without its optional signature: CRC-32, compressed
// size, uncompressed size (12 bytes); the header scan skips 16, assuming the signature.
inline constexpr std::size_t kDataDescriptorSize = 16;

// --- General purpose bit flag ---------------------------------------------------------------
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;       // bit 0: traditional encryption
inline constexpr std::uint16_t kFlagDeflateMaximum = 0x0002;  // bit 1: deflate level 8 or 9
inline constexpr std::uint16_t kFlagDeflateFast = 0x0004;     // bit 2: deflate level 1 or 2
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;  // bit 3: sizes and CRC follow data
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;            // bit 11: name/comment are UTF-8

// --- Compression methods --------------------------------------------------------------------
inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodShrunk = 1;
inline constexpr std::uint16_t kMethodReduced1 = 2;
inline constexpr std::uint16_t kMethodReduced4 = 5;
inline constexpr std::uint16_t kMethodImploded = 6;
inline constexpr std::uint16_t kMethodDeflated = 8;

// --- Versions and hosts ---------------------------------------------------------------------
// "Version made by": high byte = host system, low byte = ZIP format version * 10 (application note).
inline constexpr std::uint16_t kVersion20 = 20;  // format version 2.0, host 0 (MS-DOS)
inline constexpr std::uint8_t kHostMsDos = 0;
inline constexpr std::uint8_t kHostUnix = 3;
inline constexpr std::uint16_t kVersionMadeByUnix = 0x0314;  // host Unix, format version 2.0
// With host Unix, the external attributes carry st_mode in their high 16 bits.
inline constexpr int kUnixModeShift = 16;

// --- Internal attributes --------------------------------------------------------------------
inline constexpr std::uint16_t kInternalText = 0x0001;       // bit 0: text data
inline constexpr std::uint16_t kInternalUndecided = 0x0002;  // writer: compressor not done yet

// --- Limits of the fixed fields ----------------------------------------------------------
// A value that does not fit goes into a Zip64 field, and the fixed field holds its all-ones
// marker: a 32-bit size or offset of 0xFFFFFFFF, or an entry count of 0xFFFF, says "look in
// the Zip64 field". So only values below the marker fit.
inline constexpr std::uint32_t kMaxEntries = 0xFFFF;
inline constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
inline constexpr std::uint16_t kZip64Marker16 = 0xFFFF;
inline constexpr std::uint32_t kZip64Marker32 = 0xFFFFFFFFu;

// --- Zip64 (application note 4.3.14 to 4.3.15, 4.5.3) ---------------------------------------
// "Version needed to extract" of a record that uses a Zip64 field: format version 4.5.
inline constexpr std::uint16_t kVersionZip64 = 45;

// Extra field blocks: a 2-byte ID and a 2-byte data length, then the data.
inline constexpr std::size_t kExtraBlockHeaderSize = 4;
// The Zip64 extended information extra field. Its data holds, in this order and only for
// the fixed fields that hold the marker: uncompressed size (8), compressed size (8), local
// header offset (8), disk start (4). A local header carries both sizes.
inline constexpr std::uint16_t kZip64ExtraId = 0x0001;
inline constexpr std::size_t kZip64LocalExtraSize = kExtraBlockHeaderSize + 16;

// The Zip64 end of central directory record: 56 bytes (no extensible data here).
inline constexpr std::uint32_t kZip64EndSignature = 0x06064b50;  // "PK\6\6"
inline constexpr std::size_t kZip64EndSize = 56;
namespace zip64end {
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kRecordSize = 4;  // size of the rest: total size - 12
inline constexpr std::size_t kVersionMadeBy = 12;
inline constexpr std::size_t kVersionNeeded = 14;
inline constexpr std::size_t kThisDisk = 16;
inline constexpr std::size_t kCentralDirDisk = 20;
inline constexpr std::size_t kEntriesThisDisk = 24;
inline constexpr std::size_t kTotalEntries = 32;
inline constexpr std::size_t kCentralDirSize = 40;
inline constexpr std::size_t kCentralDirOffset = 48;
inline constexpr std::size_t kEnd = 56;
}  // namespace zip64end
static_assert(zip64end::kEnd == kZip64EndSize);

// The Zip64 end of central directory locator: 20 bytes right in front of the end record.
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;  // "PK\6\7"
inline constexpr std::size_t kZip64LocatorSize = 20;
namespace zip64locator {
inline constexpr std::size_t kSignature = 0;
inline constexpr std::size_t kEndDisk = 4;
inline constexpr std::size_t kEndOffset = 8;
inline constexpr std::size_t kTotalDisks = 16;
inline constexpr std::size_t kEnd = 20;
}  // namespace zip64locator
static_assert(zip64locator::kEnd == kZip64LocatorSize);

inline std::uint64_t LoadLe64(const std::uint8_t* p) {
  return LoadLe32(p) | (static_cast<std::uint64_t>(LoadLe32(p + 4)) << 32);
}
inline void StoreLe64(std::uint8_t* p, std::uint64_t v) {
  StoreLe32(p, static_cast<std::uint32_t>(v));
  StoreLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace zip

}  // namespace archive
