#include "tests/support/records.h"

#include "tests/support/bytes.h"
#include "tests/support/files.h"

namespace testsupport {

namespace {

std::int32_t Int32(const Bytes& bytes, std::size_t at) {
  return static_cast<std::int32_t>(Le32(bytes, at));
}

}  // namespace

std::vector<ProjectRecordOnDisk> ReadProjectFile(const std::string& path) {
  const Bytes bytes = ReadAll(path);
  std::vector<ProjectRecordOnDisk> records;
  for (std::size_t at = 0; at + 321 <= bytes.size(); at += 321) {
    records.push_back({Int32(bytes, at), bytes[at + 4] != 0, Counted(bytes, at + 5),
                       Counted(bytes, at + 56), LeDouble(bytes, at + 312), bytes[at + 320] != 0});
  }
  return records;
}

std::vector<FolderRecordOnDisk> ReadFolderFile(const std::string& path) {
  const Bytes bytes = ReadAll(path);
  std::vector<FolderRecordOnDisk> records;
  for (std::size_t at = 0; at + 372 <= bytes.size(); at += 372) {
    records.push_back({bytes[at] != 0, Int32(bytes, at + 1), Counted(bytes, at + 5),
                       Counted(bytes, at + 261), bytes[at + 362] != 0, bytes[at + 363],
                       LeDouble(bytes, at + 364)});
  }
  return records;
}

std::vector<LogRecordOnDisk> ReadLogFile(const std::string& path) {
  const Bytes bytes = ReadAll(path);
  std::vector<LogRecordOnDisk> records;
  for (std::size_t at = 0; at + 109 <= bytes.size(); at += 109) {
    records.push_back({LeDouble(bytes, at), Counted(bytes, at + 8)});
  }
  return records;
}

std::vector<std::string> ReadLogTexts(const std::string& path) {
  std::vector<std::string> texts;
  for (const LogRecordOnDisk& record : ReadLogFile(path)) texts.push_back(record.text);
  return texts;
}

}  // namespace testsupport
