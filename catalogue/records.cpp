#include "catalogue/records.h"

#include <algorithm>
#include <string_view>

#include "catalogue/little_endian.h"
#include "platform/text.h"

namespace catalogue {

namespace {

// Writes a counted string of the given capacity at p (capacity + 1 bytes).
void StoreCountedString(std::uint8_t* p, std::size_t capacity, std::string_view text) {
  const std::string_view cut = platform::TruncateUtf8(text, capacity);
  p[0] = static_cast<std::uint8_t>(cut.size());
  std::copy(cut.begin(), cut.end(), p + 1);
  std::fill(p + 1 + cut.size(), p + 1 + capacity, std::uint8_t{0});
}

std::string LoadCountedString(const std::uint8_t* p, std::size_t capacity) {
  const std::size_t length = std::min<std::size_t>(p[0], capacity);
  return std::string(reinterpret_cast<const char*>(p + 1), length);
}

std::uint8_t BoolByte(bool value) { return value ? 1 : 0; }

}  // namespace

ProjectRecordBytes EncodeProjectRecord(const TProjectRecord& record) {
  using namespace project_layout;
  ProjectRecordBytes bytes{};
  StoreLeInt32(&bytes[kId], record.Id);
  bytes[kLive] = BoolByte(record.Live);
  StoreCountedString(&bytes[kName], kProjectNameCapacity, record.Name);
  StoreCountedString(&bytes[kStoreFolder], kStoreFolderCapacity, record.StoreFolder);
  StoreLeDouble(&bytes[kCreated], record.Created);
  bytes[kRaiseErrors] = BoolByte(record.RaiseErrors);
  return bytes;
}

FolderRecordBytes EncodeFolderRecord(const TFolderRecord& record) {
  using namespace folder_layout;
  FolderRecordBytes bytes{};
  bytes[kLive] = BoolByte(record.Live);
  StoreLeInt32(&bytes[kOwnerId], record.OwnerId);
  StoreCountedString(&bytes[kPath], kFolderPathCapacity, record.Path);
  StoreCountedString(&bytes[kMasks], kMasksCapacity, record.Masks);
  bytes[kInclude] = BoolByte(record.Include);
  bytes[kLevel] = record.Level;
  StoreLeDouble(&bytes[kLastStored], record.LastStored);
  return bytes;
}

LogRecordBytes EncodeLogRecord(const TLogRecord& record) {
  using namespace log_layout;
  LogRecordBytes bytes{};
  StoreLeDouble(&bytes[kTime], record.Time);
  StoreCountedString(&bytes[kText], kLogTextCapacity, record.Text);
  return bytes;
}

TProjectRecord DecodeProjectRecord(const ProjectRecordBytes& bytes) {
  using namespace project_layout;
  TProjectRecord record;
  record.Id = LoadLeInt32(&bytes[kId]);
  record.Live = bytes[kLive] != 0;
  record.Name = LoadCountedString(&bytes[kName], kProjectNameCapacity);
  record.StoreFolder = LoadCountedString(&bytes[kStoreFolder], kStoreFolderCapacity);
  record.Created = LoadLeDouble(&bytes[kCreated]);
  record.RaiseErrors = bytes[kRaiseErrors] != 0;
  return record;
}

TFolderRecord DecodeFolderRecord(const FolderRecordBytes& bytes) {
  using namespace folder_layout;
  TFolderRecord record;
  record.Live = bytes[kLive] != 0;
  record.OwnerId = LoadLeInt32(&bytes[kOwnerId]);
  record.Path = LoadCountedString(&bytes[kPath], kFolderPathCapacity);
  record.Masks = LoadCountedString(&bytes[kMasks], kMasksCapacity);
  record.Include = bytes[kInclude] != 0;
  record.Level = bytes[kLevel];
  record.LastStored = LoadLeDouble(&bytes[kLastStored]);
  return record;
}

TLogRecord DecodeLogRecord(const LogRecordBytes& bytes) {
  using namespace log_layout;
  TLogRecord record;
  record.Time = LoadLeDouble(&bytes[kTime]);
  record.Text = LoadCountedString(&bytes[kText], kLogTextCapacity);
  return record;
}

}  // namespace catalogue
