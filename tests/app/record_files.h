// Reads the catalogue's record files byte by byte from their documented layout, so that
// the command tests check what really reached the disk without going through the
// catalogue code they exercise.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testing_support {

struct ProjectRecordOnDisk {
  std::int32_t id = 0;
  bool live = false;
  std::string name;
  std::string storeFolder;
  double created = 0.0;
  bool raiseErrors = false;
};

struct FolderRecordOnDisk {
  bool live = false;
  std::int32_t ownerId = 0;
  std::string path;
  std::string masks;
  bool include = false;
  int level = 0;
  double lastStored = 0.0;
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::int32_t Int32At(const std::uint8_t* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | p[1] << 8 | p[2] << 16 |
                                   static_cast<std::uint32_t>(p[3]) << 24);
}

inline double DoubleAt(const std::uint8_t* p) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | p[i];
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A counted string: a length byte, then the characters.
inline std::string CountedAt(const std::uint8_t* p) {
  return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
}

// Rpoject.vrn: 321-byte records. Id @0 (4), Live @4, Name @5 (1 + 50), StoreFolder @56
// (1 + 255), Created @312 (double), RaiseErrors @320.
inline std::vector<ProjectRecordOnDisk> ReadProjectFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  std::vector<ProjectRecordOnDisk> records;
  for (std::size_t at = 0; at + 321 <= bytes.size(); at += 321) {
    const std::uint8_t* r = bytes.data() + at;
    records.push_back({Int32At(r), r[4] != 0, CountedAt(r + 5), CountedAt(r + 56),
                       DoubleAt(r + 312), r[320] != 0});
  }
  return records;
}

// Folder.vrn: 372-byte records. Live @0, OwnerId @1 (4), Path @5 (1 + 255), Masks @261
// (1 + 100), Include @362, Level @363, LastStored @364 (double).
inline std::vector<FolderRecordOnDisk> ReadFolderFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  std::vector<FolderRecordOnDisk> records;
  for (std::size_t at = 0; at + 372 <= bytes.size(); at += 372) {
    const std::uint8_t* r = bytes.data() + at;
    records.push_back({r[0] != 0, Int32At(r + 1), CountedAt(r + 5), CountedAt(r + 261), r[362] != 0,
                       r[363], DoubleAt(r + 364)});
  }
  return records;
}

// Log.vrn: 109-byte records. Time @0 (double), Text @8 (1 + 100).
inline std::vector<std::string> ReadLogTexts(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  std::vector<std::string> texts;
  for (std::size_t at = 0; at + 109 <= bytes.size(); at += 109) {
    texts.push_back(CountedAt(bytes.data() + at + 8));
  }
  return texts;
}

}  // namespace testing_support
