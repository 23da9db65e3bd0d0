// Protects the layering: engine folders are plain C++ and must never include Qt, so that
// they build and test without a window system and a port needs no engine changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

namespace fs = std::filesystem;

TEST(Layering, EnginesIncludeNoQt) {
  const std::regex qtInclude(R"(^\s*#\s*include\s*[<"]Q)");
  int checked = 0;
  for (const char* folder : {"platform", "archive", "catalogue", "backup", "restore", "tools"}) {
    fs::path dir = fs::path(VARNHOLT_SOURCE_DIR) / folder;
    if (!fs::exists(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      const auto ext = entry.path().extension();
      if (ext != ".cpp" && ext != ".h") continue;
      std::ifstream in(entry.path());
      std::string line;
      int lineNo = 0;
      while (std::getline(in, line)) {
        ++lineNo;
        EXPECT_FALSE(std::regex_search(line, qtInclude))
            << entry.path() << ":" << lineNo << " includes Qt: " << line;
      }
      ++checked;
    }
  }
  EXPECT_GT(checked, 0);
}
