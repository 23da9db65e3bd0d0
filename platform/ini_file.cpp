#include "platform/ini_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace platform {

namespace {

constexpr std::size_t kMaxValueBytes = 1023;

std::string Trim(const std::string& s) {
  const std::size_t begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  const std::size_t end = s.find_last_not_of(" \t\r");
  return s.substr(begin, end - begin + 1);
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool IsSectionLine(const std::string& line, std::string* name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const std::size_t close = t.find(']');
  if (close == std::string::npos) return false;
  if (name != nullptr) *name = Trim(t.substr(1, close - 1));
  return true;
}

// Splits "key=value"; false for lines that are not key lines (comments, blanks).
bool SplitKeyLine(const std::string& line, std::string& key, std::string& value) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] == ';') return false;
  const std::size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  return true;
}

bool SameName(const std::string& a, const std::string& b) { return SameText(a, b); }

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  bool inSection = false;
  for (const std::string& line : ReadLines(path_)) {
    std::string name;
    if (IsSectionLine(line, &name)) {
      inSection = SameName(name, section);
      continue;
    }
    std::string k;
    std::string v;
    if (inSection && SplitKeyLine(line, k, v) && SameName(k, key)) {
      return std::string(TruncateUtf8(v, kMaxValueBytes));
    }
  }
  return defaultValue;
}

int IniFile::ReadInteger(const std::string& section, const std::string& key,
                         int defaultValue) const {
  const std::string text = ReadString(section, key, {});
  if (text.empty()) return defaultValue;
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long long value;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    value = std::strtoll(begin + 2, &end, 16);
    if (end == begin + 2) return defaultValue;
  } else {
    value = std::strtoll(begin, &end, 10);
    if (end == begin) return defaultValue;
  }
  if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return defaultValue;
  return static_cast<int>(value);
}

std::error_code IniFile::WriteString(const std::string& section, const std::string& key,
                                     const std::string& value) {
  std::vector<std::string> lines = ReadLines(path_);
  const std::string newLine = key + "=" + value;
  // Find the section and, inside it, the key or the place after its last key line.
  std::size_t sectionLine = lines.size();
  std::size_t insertAt = lines.size();
  bool replaced = false;
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (IsSectionLine(lines[i], &name)) {
      if (inSection) break;
      inSection = SameName(name, section);
      if (inSection) {
        sectionLine = i;
        insertAt = i + 1;
      }
      continue;
    }
    if (!inSection) continue;
    std::string k;
    std::string v;
    if (SplitKeyLine(lines[i], k, v)) {
      if (SameName(k, key)) {
        // Already there as it would be written: the file stays as it is. A window saves
        // all its settings when it closes, and a replace by rename costs the file system
        // a flush of the new file.
        if (lines[i] == newLine) return {};
        lines[i] = newLine;
        replaced = true;
        break;
      }
      insertAt = i + 1;
    }
  }
  if (!replaced) {
    if (sectionLine == lines.size()) {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back({});
      lines.push_back("[" + section + "]");
      lines.push_back(newLine);
    } else {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
    }
  }
  std::string content;
  for (const std::string& line : lines) content += line + "\n";

  // Whole-file rewrite through a temporary file in the same folder and a rename.
  std::string dir = ParentPath(path_);
  if (dir.empty()) dir = ".";
  std::string tempPath;
  if (std::error_code error = CreateTempFile(dir, BaseName(path_) + ".", tempPath)) return error;
  File file;
  std::error_code error = file.Open(tempPath, File::Mode::Create);
  if (!error) error = file.Write(content.data(), content.size());
  if (!error) error = file.Close();
  if (!error) {
    struct stat st {};
    // Keep the permissions of the file being replaced, or the usual ones for a new file.
    ::chmod(tempPath.c_str(), ::stat(path_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    error = RenameFile(tempPath, path_);
  }
  if (error) DeleteFile(tempPath);
  return error;
}

std::error_code IniFile::WriteInteger(const std::string& section, const std::string& key,
                                      int value) {
  return WriteString(section, key, std::to_string(value));
}

std::string SettingsFilePath(const std::string& fileName) {
  const std::string exeDir = ParentPath(ExecutablePath());
  if (!exeDir.empty() && ::access(exeDir.c_str(), W_OK) == 0) return JoinPath(exeDir, fileName);
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = JoinPath(home != nullptr ? home : ".", ".config");
  }
  // Create the folders one level at a time; existing ones are fine.
  std::string dir = JoinPath(base, "varnholt");
  std::string partial;
  std::size_t start = 0;
  while (start < dir.size()) {
    std::size_t end = dir.find('/', start + 1);
    if (end == std::string::npos) end = dir.size();
    partial = dir.substr(0, end);
    if (!partial.empty()) ::mkdir(partial.c_str(), 0700);  // EEXIST is expected and ignored
    start = end;
  }
  return JoinPath(dir, fileName);
}

}  // namespace platform
