// Reads the catalogue's three record files byte by byte from their documented layout, so
// that a test checks what really reached the disk without going through the catalogue code
// it exercises. A torn last record is left out, as whole records are all that count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Rpoject.vrn: 321-byte records. Id @0 (int32), Live @4, Name @5 (1 + 50), StoreFolder @56
// (1 + 255), Created @312 (double), RaiseErrors @320.
struct ProjectRecordOnDisk {
  std::int32_t id = 0;
  bool live = false;
  std::string name;
  std::string storeFolder;
  double created = 0.0;
  bool raiseErrors = false;
};
std::vector<ProjectRecordOnDisk> ReadProjectFile(const std::string& path);

// Folder.vrn: 372-byte records. Live @0, OwnerId @1 (int32), Path @5 (1 + 255), Masks @261
// (1 + 100), Include @362, Level @363, LastStored @364 (double).
struct FolderRecordOnDisk {
  bool live = false;
  std::int32_t ownerId = 0;
  std::string path;
  std::string masks;
  bool include = false;
  int level = 0;
  double lastStored = 0.0;
};
std::vector<FolderRecordOnDisk> ReadFolderFile(const std::string& path);

// Log.vrn: 109-byte records. Time @0 (double), Text @8 (1 + 100).
struct LogRecordOnDisk {
  double time = 0.0;
  std::string text;
};
std::vector<LogRecordOnDisk> ReadLogFile(const std::string& path);
std::vector<std::string> ReadLogTexts(const std::string& path);

}  // namespace testsupport
