// A small reader of the catalogue's record files written from their byte layout, so that
// tests check what reached the files without going through the catalogue's own code.
#pragma once

#include <string>
#include <vector>

namespace backup_test {

struct LogEntry {
  double time = 0.0;
  std::string text;
};
// Log.vrn: 109-byte records; a little-endian double at 0, a counted string at 8.
std::vector<LogEntry> ReadLogFile(const std::string& path);
std::vector<std::string> ReadLogTexts(const std::string& path);

struct FolderEntry {
  bool live = false;
  int ownerId = 0;
  std::string path;
  std::string masks;
  bool include = false;
  int level = 0;
  double lastStored = 0.0;
};
// Folder.vrn: 372-byte records (live 0, owner 1, path 5, masks 261, include 362,
// level 363, last stored 364).
std::vector<FolderEntry> ReadFolderFile(const std::string& path);

}  // namespace backup_test
