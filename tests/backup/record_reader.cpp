#include "tests/backup/record_reader.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace backup_test {
namespace {

std::vector<unsigned char> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double Double(const unsigned char* p) {
  std::uint64_t bits = 0;
  for (int k = 7; k >= 0; --k) bits = (bits << 8) | p[k];
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string Counted(const unsigned char* p) {
  return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
}

}  // namespace

std::vector<LogEntry> ReadLogFile(const std::string& path) {
  const std::vector<unsigned char> bytes = Slurp(path);
  std::vector<LogEntry> out;
  for (std::size_t at = 0; at + 109 <= bytes.size(); at += 109) {
    out.push_back({Double(&bytes[at]), Counted(&bytes[at + 8])});
  }
  return out;
}

std::vector<std::string> ReadLogTexts(const std::string& path) {
  std::vector<std::string> texts;
  for (const LogEntry& entry : ReadLogFile(path)) texts.push_back(entry.text);
  return texts;
}

std::vector<FolderEntry> ReadFolderFile(const std::string& path) {
  const std::vector<unsigned char> bytes = Slurp(path);
  std::vector<FolderEntry> out;
  for (std::size_t at = 0; at + 372 <= bytes.size(); at += 372) {
    const unsigned char* r = &bytes[at];
    FolderEntry e;
    e.live = r[0] != 0;
    e.ownerId = static_cast<int>(static_cast<std::uint32_t>(r[1]) | (r[2] << 8) | (r[3] << 16) |
                                 (static_cast<std::uint32_t>(r[4]) << 24));
    e.path = Counted(r + 5);
    e.masks = Counted(r + 261);
    e.include = r[362] != 0;
    e.level = r[363];
    e.lastStored = Double(r + 364);
    out.push_back(e);
  }
  return out;
}

}  // namespace backup_test
