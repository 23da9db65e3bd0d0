#include "platform/mounts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

namespace platform {

namespace {

// "\ooo" (three octal digits) stands for one byte; the kernel escapes blank, tab, newline
// and backslash this way in mount points.
std::string DecodeOctalEscapes(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
    if (pos > start) fields.push_back(line.substr(start, pos - start));
  }
  return fields;
}

bool StartsWithDir(const std::string& path, std::string_view dir) {
  return path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
                         path[dir.size()] == '/');
}

bool IsNetworkType(const std::string& type) {
  static const std::set<std::string> kNetwork = {"nfs",   "nfs4",       "cifs",        "smb3",
                                                 "smbfs", "fuse.sshfs", "fuse.rclone", "9p"};
  return kNetwork.count(type) > 0;
}

bool IsBrowsableMount(const MountEntry& m) {
  // Read-only images of packages and the system's own places are not where a user keeps
  // or stores files.
  if (m.type == "squashfs") return false;
  for (std::string_view system : {"/proc", "/sys", "/dev", "/boot", "/snap", "/var/snap"}) {
    if (StartsWithDir(m.mountPoint, system)) return false;
  }
  if (StartsWithDir(m.mountPoint, "/run") && !StartsWithDir(m.mountPoint, "/run/media")) {
    return false;
  }
  return m.device.rfind("/dev/", 0) == 0 || IsNetworkType(m.type);
}

bool CanList(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         ::access(path.c_str(), R_OK | X_OK) == 0;
}

}  // namespace

std::vector<MountEntry> ParseMountTable(std::string_view text) {
  std::vector<MountEntry> entries;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string_view> fields = SplitFields(text.substr(pos, end - pos));
    pos = end + 1;
    if (fields.size() < 3 || fields[0].front() == '#') continue;
    entries.push_back(
        {DecodeOctalEscapes(fields[0]), DecodeOctalEscapes(fields[1]), std::string(fields[2])});
  }
  return entries;
}

std::vector<std::string> BrowsableRoots(const std::vector<MountEntry>& mounts,
                                        const std::string& home) {
  std::vector<std::string> roots{"/"};
  if (!home.empty() && home[0] == '/' && home != "/" && CanList(home)) roots.push_back(home);
  std::vector<std::string> others;
  for (const MountEntry& m : mounts) {
    if (m.mountPoint.empty() || m.mountPoint[0] != '/') continue;
    if (std::find(roots.begin(), roots.end(), m.mountPoint) != roots.end()) continue;
    if (std::find(others.begin(), others.end(), m.mountPoint) != others.end()) continue;
    if (IsBrowsableMount(m) && CanList(m.mountPoint)) others.push_back(m.mountPoint);
  }
  std::sort(others.begin(), others.end());
  roots.insert(roots.end(), others.begin(), others.end());
  return roots;
}

std::vector<std::string> BrowsableRoots() {
  std::ifstream in("/proc/self/mounts");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const char* home = std::getenv("HOME");
  return BrowsableRoots(ParseMountTable(text), home != nullptr ? home : "");
}

}  // namespace platform
