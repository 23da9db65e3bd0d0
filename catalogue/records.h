// The three record types of the catalogue files and their exact on-disk layouts.
//
// Each file is a bare sequence of fixed-size records (no header, no padding); integers and
// doubles are little-endian; text fields are counted strings (one length byte, then that
// many bytes of UTF-8). A field of capacity N takes N + 1 bytes. Timestamps are OLE dates
// (days since 30 December 1899, local time; 0.0 = never). Boolean bytes are written 1 or 0,
// and any non-zero byte reads as true.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace catalogue {

// Text capacities in bytes.
inline constexpr std::size_t kProjectNameCapacity = 50;
inline constexpr std::size_t kStoreFolderCapacity = 255;
inline constexpr std::size_t kFolderPathCapacity = 255;
inline constexpr std::size_t kMasksCapacity = 100;
inline constexpr std::size_t kLogTextCapacity = 100;

// "Rpoject.vrn": one project.
namespace project_layout {
inline constexpr std::size_t kId = 0;             // int32
inline constexpr std::size_t kLive = 4;           // byte
inline constexpr std::size_t kName = 5;           // counted string, capacity 50
inline constexpr std::size_t kStoreFolder = 56;   // counted string, capacity 255
inline constexpr std::size_t kCreated = 312;      // double
inline constexpr std::size_t kRaiseErrors = 320;  // byte
inline constexpr std::size_t kSize = 321;
static_assert(kLive == kId + 4 && kName == kLive + 1 && kStoreFolder == kName + 1 + 50 &&
              kCreated == kStoreFolder + 1 + 255 && kRaiseErrors == kCreated + 8 &&
              kSize == kRaiseErrors + 1);
}  // namespace project_layout

// "Folder.vrn": one source folder of a project. The live flag comes first here.
namespace folder_layout {
inline constexpr std::size_t kLive = 0;          // byte
inline constexpr std::size_t kOwnerId = 1;       // int32
inline constexpr std::size_t kPath = 5;          // counted string, capacity 255
inline constexpr std::size_t kMasks = 261;       // counted string, capacity 100
inline constexpr std::size_t kInclude = 362;     // byte
inline constexpr std::size_t kLevel = 363;       // byte, 1..9
inline constexpr std::size_t kLastStored = 364;  // double
inline constexpr std::size_t kSize = 372;
static_assert(kOwnerId == kLive + 1 && kPath == kOwnerId + 4 && kMasks == kPath + 1 + 255 &&
              kInclude == kMasks + 1 + 100 && kLevel == kInclude + 1 && kLastStored == kLevel + 1 &&
              kSize == kLastStored + 8);
}  // namespace folder_layout

// "Log.vrn": one event.
namespace log_layout {
inline constexpr std::size_t kTime = 0;  // double
inline constexpr std::size_t kText = 8;  // counted string, capacity 100
inline constexpr std::size_t kSize = 109;
static_assert(kText == kTime + 8 && kSize == kText + 1 + 100);
}  // namespace log_layout

inline constexpr std::size_t kProjectRecordSize = project_layout::kSize;
inline constexpr std::size_t kFolderRecordSize = folder_layout::kSize;
inline constexpr std::size_t kLogRecordSize = log_layout::kSize;
static_assert(kProjectRecordSize == 321 && kFolderRecordSize == 372 && kLogRecordSize == 109);

using ProjectRecordBytes = std::array<std::uint8_t, kProjectRecordSize>;
using FolderRecordBytes = std::array<std::uint8_t, kFolderRecordSize>;
using LogRecordBytes = std::array<std::uint8_t, kLogRecordSize>;

struct TProjectRecord {
  std::int32_t Id = 0;
  bool Live = false;
  std::string Name;
  std::string StoreFolder;
  double Created = 0.0;
  bool RaiseErrors = false;
};

struct TFolderRecord {
  bool Live = false;
  std::int32_t OwnerId = 0;
  std::string Path;
  std::string Masks;  // every mask followed by "; "
  bool Include = true;
  std::uint8_t Level = 6;
  double LastStored = 0.0;  // 0.0 = never stored
};

struct TLogRecord {
  double Time = 0.0;
  std::string Text;
};

// Encoding cuts each text to its capacity on a UTF-8 character boundary and writes zeros
// after the characters, so a record's bytes depend only on its fields.
ProjectRecordBytes EncodeProjectRecord(const TProjectRecord& record);
FolderRecordBytes EncodeFolderRecord(const TFolderRecord& record);
LogRecordBytes EncodeLogRecord(const TLogRecord& record);

// Decoding ignores whatever follows a counted string's characters. A length byte larger
// than the field's capacity (a damaged record) is read as the capacity, so a field never
// reaches into its neighbour.
TProjectRecord DecodeProjectRecord(const ProjectRecordBytes& bytes);
TFolderRecord DecodeFolderRecord(const FolderRecordBytes& bytes);
TLogRecord DecodeLogRecord(const LogRecordBytes& bytes);

}  // namespace catalogue
