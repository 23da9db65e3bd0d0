#include "layer_check.h"

#include <algorithm>
#include <fstream>

namespace fs = std::filesystem;

namespace layering {

LayerTable VarnholtLayers() {
  LayerTable t;
  t["platform"] = {{}, false, true};
  t["archive"] = {{"platform"}, false, false};
  t["catalogue"] = {{"platform"}, false, false};
  t["store"] = {{"catalogue", "platform"}, false, false};
  // The two runs share the store's layout through store/ and never include each other.
  t["backup"] = {{"store", "archive", "catalogue", "platform"}, false, false};
  t["restore"] = {{"store", "archive", "catalogue", "platform"}, false, false};
  t["tools"] = {{"archive", "platform"}, false, false};
  // The command line: its switches and the start without a display, without the toolkit.
  t["console"] = {{"restore", "backup", "store", "catalogue", "archive", "platform"}, false, false};
  t["dialogs"] = {{"restore", "backup", "store", "catalogue", "archive", "platform"}, true, false};
  t["app"] = {
      {"dialogs", "console", "restore", "backup", "store", "catalogue", "archive", "platform"},
      true,
      false};
  return t;
}

namespace {

// Folders of the tree that are not layers: they may use any layer.
bool OutsideTheLayers(const fs::path& dir) {
  const std::string name = dir.filename().string();
  if (name.empty() || name[0] == '.') return true;
  if (name == "tests" || name == "bench" || name == "fuzz") return true;
  // A build tree inside the source tree (build/, build-asan/ ...).
  return name.rfind("build", 0) == 0 || fs::exists(dir / "CMakeCache.txt");
}

bool IsSourceFile(const fs::path& path) {
  const std::string ext = path.extension().string();
  return ext == ".h" || ext == ".hpp" || ext == ".cpp" || ext == ".cc";
}

// Headers through which code reaches the operating system itself.
bool IsOsHeader(const std::string& header) {
  static const std::set<std::string> kHeaders = {
      "unistd.h", "fcntl.h",   "dirent.h",  "pwd.h",      "grp.h",   "langinfo.h", "dlfcn.h",
      "poll.h",   "termios.h", "pthread.h", "filesystem", "fstream", "windows.h"};
  return kHeaders.count(header) != 0 || header.rfind("sys/", 0) == 0 ||
         header.rfind("linux/", 0) == 0;
}

// The header of an #include line ("" for any other line); angle tells <...> from "...".
std::string IncludedHeader(const std::string& line, bool& angle) {
  std::size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return "";
  i = line.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos || line.compare(i, 7, "include") != 0) return "";
  i = line.find_first_not_of(" \t", i + 7);
  if (i == std::string::npos || (line[i] != '<' && line[i] != '"')) return "";
  angle = line[i] == '<';
  const std::size_t end = line.find(angle ? '>' : '"', i + 1);
  if (end == std::string::npos) return "";
  return line.substr(i + 1, end - i - 1);
}

void CheckFile(const fs::path& root, const fs::path& file, const std::string& folder,
               const LayerRule& rule, const LayerTable& table, std::vector<Violation>& out) {
  std::ifstream in(file);
  std::string line;
  int lineNo = 0;
  const std::string relative = fs::relative(file, root).generic_string();
  while (std::getline(in, line)) {
    ++lineNo;
    bool angle = false;
    const std::string header = IncludedHeader(line, angle);
    if (header.empty()) continue;
    const std::size_t slash = header.find('/');
    const std::string first = slash == std::string::npos ? "" : header.substr(0, slash);
    std::string reason;
    if (!first.empty() && table.count(first) != 0) {
      if (first != folder && rule.mayInclude.count(first) == 0) {
        reason = folder + " may not include from " + first;
      }
    } else if (!angle && !first.empty()) {
      reason = "\"" + first + "/\" is no layer";
    } else if (angle && header[0] == 'Q') {
      if (!rule.qt) reason = folder + " may not include Qt";
    } else if (angle && IsOsHeader(header)) {
      if (!rule.os) reason = folder + " may not call the operating system (only platform does)";
    }
    if (!reason.empty()) out.push_back({relative, lineNo, line, reason});
  }
}

}  // namespace

std::vector<Violation> CheckLayers(const fs::path& root, const LayerTable& table,
                                   int* filesChecked) {
  std::vector<Violation> out;
  int files = 0;
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(root)) {
    if (entry.is_directory() && !OutsideTheLayers(entry.path())) folders.push_back(entry.path());
  }
  std::sort(folders.begin(), folders.end());
  for (const fs::path& dir : folders) {
    const std::string folder = dir.filename().string();
    const auto row = table.find(folder);
    std::vector<fs::path> sources;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (entry.is_regular_file() && IsSourceFile(entry.path())) sources.push_back(entry.path());
    }
    std::sort(sources.begin(), sources.end());
    if (row == table.end()) {
      if (!sources.empty()) {
        out.push_back({fs::relative(sources[0], root).generic_string(), 0, folder,
                       "folder has no row in the table"});
      }
      continue;
    }
    for (const fs::path& file : sources) {
      CheckFile(root, file, folder, row->second, table, out);
      ++files;
    }
  }
  if (filesChecked) *filesChecked = files;
  return out;
}

}  // namespace layering
