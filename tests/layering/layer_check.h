// The include checker behind the layering test: reads every C++ file below each layer folder
// of a source tree and reports each #include that crosses the layer map.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace layering {

// What the files of one layer folder may include besides their own folder.
struct LayerRule {
  std::set<std::string> mayInclude;  // other layer folders ("archive/..." includes)
  bool qt = false;                   // Qt headers (<Q...>)
  bool os = false;                   // the system's own interfaces (<unistd.h>, <sys/...>, ...)
};

// Top-level folder name -> its rule. Every folder of the tree that holds C++ files must
// have a row, unless it is one of the folders outside the layers (tests, bench, fuzz, build
// trees, hidden folders).
using LayerTable = std::map<std::string, LayerRule>;

struct Violation {
  std::string file;  // relative to the tree's root
  int line = 0;      // 0 for a folder without a row (file is then its first source file)
  std::string text;  // the offending line, or the folder
  std::string reason;
};

// Checks every .h/.hpp/.cpp/.cc file below each top-level folder of root, at any depth.
// filesChecked (when given) receives the number of files read.
std::vector<Violation> CheckLayers(const std::filesystem::path& root, const LayerTable& table,
                                   int* filesChecked = nullptr);

// The layer map of Varnholt (ARCHITECTURE.md draws it).
LayerTable VarnholtLayers();

}  // namespace layering
