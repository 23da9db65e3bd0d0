// Protects the desktop integration: `cmake --install` must put the program, a menu entry
// and an icon where freedesktop.org desktops look for them, and the menu entry must start
// the program in $XDG_DATA_HOME/varnholt (made when missing). Started anywhere else, the
// program would scatter its catalogue files into whatever folder the desktop uses. The
// manual page must be installed where man looks, render without warnings and name every
// switch that --help names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "console/command_line_help.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) { return testsupport::ReadText(path.string()); }

// Key=value lines of the [Desktop Entry] group.
std::map<std::string, std::string> ReadDesktopEntry(const fs::path& path) {
  std::map<std::string, std::string> keys;
  std::istringstream in(ReadFile(path));
  std::string line;
  bool inGroup = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') {
      inGroup = line == "[Desktop Entry]";
      continue;
    }
    const auto eq = line.find('=');
    if (inGroup && eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return keys;
}

class DesktopInstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new testsupport::TempDir();
    root_ = scratch_->Path();
    prefix_ = root_ / "prefix with blank";
    const std::string command = "cmake --install '" + std::string(VARNHOLT_BINARY_DIR) +
                                "' --prefix '" + prefix_.string() + "' >'" +
                                (root_ / "install.log").string() + "' 2>&1";
    installStatus_ = std::system(command.c_str());
  }
  static void TearDownTestSuite() {
    delete scratch_;
    scratch_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(installStatus_, 0) << ReadFile(root_ / "install.log"); }
  static testsupport::TempDir* scratch_;
  static fs::path root_;
  static fs::path prefix_;
  static int installStatus_;
};

testsupport::TempDir* DesktopInstallTest::scratch_ = nullptr;
fs::path DesktopInstallTest::root_;
fs::path DesktopInstallTest::prefix_;
int DesktopInstallTest::installStatus_ = -1;

TEST_F(DesktopInstallTest, PutsProgramEntryAndIconWhereDesktopsLook) {
  EXPECT_EQ(::access((prefix_ / "bin/varnholt").c_str(), X_OK), 0);
  EXPECT_EQ(::access((prefix_ / "bin/varnholt-desktop").c_str(), X_OK), 0);
  const fs::path icon = prefix_ / "share/icons/hicolor/scalable/apps/varnholt.svg";
  ASSERT_TRUE(fs::exists(icon));
  // The icon must be well-formed SVG, checked by an independent XML parser.
  const std::string check =
      "python3 -c \"import sys, xml.etree.ElementTree as E; "
      "r = E.parse(sys.argv[1]).getroot(); "
      "sys.exit(0 if r.tag.endswith('svg') else 1)\" '" +
      icon.string() + "'";
  EXPECT_EQ(std::system(check.c_str()), 0);

  const auto entry = ReadDesktopEntry(prefix_ / "share/applications/varnholt.desktop");
  EXPECT_EQ(entry.at("Type"), "Application");
  EXPECT_EQ(entry.at("Name"), "Varnholt");
  EXPECT_EQ(entry.at("Icon"), "varnholt");  // the icon file's name without extension
  EXPECT_EQ(entry.at("Terminal"), "false");
  EXPECT_EQ(entry.at("Exec"), "\"" + (prefix_ / "bin/varnholt-desktop").string() + "\"");
  EXPECT_NE(entry.at("Categories").find("Utility;"), std::string::npos);
}

TEST_F(DesktopInstallTest, MenuEntryStartsTheProgramInTheUsersDataFolder) {
  // A stand-in for the program that reports where it was started and with what.
  const fs::path program = prefix_ / "bin/varnholt";
  const fs::path saved = root_ / "varnholt.real";
  fs::rename(program, saved);
  {
    std::ofstream fake(program);
    fake << "#!/bin/sh\npwd > \"$REPORT\"\nfor a in \"$@\"; do echo \"$a\" >> \"$REPORT\"; done\n";
  }
  fs::permissions(program, fs::perms::owner_all);

  const fs::path data = root_ / "data home";
  const fs::path report = root_ / "report";
  const std::string run = "cd / && REPORT='" + report.string() + "' XDG_DATA_HOME='" +
                          data.string() + "' '" + (prefix_ / "bin/varnholt-desktop").string() +
                          "' /P:Docs /EXIT";
  EXPECT_EQ(std::system(run.c_str()), 0);
  EXPECT_TRUE(fs::is_directory(data / "varnholt"));
  EXPECT_EQ(ReadFile(report), (data / "varnholt").string() + "\n/P:Docs\n/EXIT\n");

  // Without XDG_DATA_HOME the data folder is ~/.local/share.
  const fs::path home = root_ / "home";
  fs::create_directories(home);
  const std::string runDefault = "cd / && unset XDG_DATA_HOME && HOME='" + home.string() +
                                 "' REPORT='" + report.string() + "' '" +
                                 (prefix_ / "bin/varnholt-desktop").string() + "'";
  EXPECT_EQ(std::system(runDefault.c_str()), 0);
  EXPECT_EQ(ReadFile(report), (home / ".local/share/varnholt").string() + "\n");

  fs::remove(program);
  fs::rename(saved, program);
}

TEST_F(DesktopInstallTest, InstalledProgramFindsItsWindowWhereTheInstallPutIt) {
  // The window is a module outside bin/: the installed program must find it from bin/.
  ASSERT_FALSE(fs::exists(prefix_ / "bin/varnholt-window.so"));
  const fs::path work = root_ / "work";
  fs::create_directories(work);
  for (const char* file : {"Rpoject.vrn", "Folder.vrn", "Log.vrn"}) std::ofstream(work / file);
  const fs::path err = root_ / "window.err";
  const std::string run = "cd '" + work.string() +
                          "' && ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen "
                          "XDG_CONFIG_HOME='" +
                          work.string() + "' '" + (prefix_ / "bin/varnholt").string() +
                          "' /EXIT 2>'" + err.string() + "'";
  EXPECT_EQ(std::system(run.c_str()), 0) << ReadFile(err);
  // The switches ran in the window: the log took the command line.
  EXPECT_GT(fs::file_size(work / "Log.vrn"), 0u);
}

TEST_F(DesktopInstallTest, InstallsAManualPageCoveringWhatHelpSays) {
  const fs::path page = prefix_ / "share/man/man1/varnholt.1.gz";
  ASSERT_TRUE(fs::exists(page));
  const fs::path rendered = root_ / "varnholt.txt";
  const fs::path warnings = root_ / "groff.err";
  const std::string render = "zcat '" + page.string() +
                             "' | groff -man -Tutf8 -ww -rLL=200n -P-cbou 2>'" + warnings.string() +
                             "' >'" + rendered.string() + "'";
  ASSERT_EQ(std::system(render.c_str()), 0);
  EXPECT_EQ(ReadFile(warnings), "");
  const std::string text = ReadFile(rendered);
  for (const char* section : {"SYNOPSIS", "OPTIONS", "EXIT STATUS", "FILES", "EXAMPLES"}) {
    EXPECT_NE(text.find(section), std::string::npos) << section;
  }
  // Every switch of the help's list: the lines that begin with two blanks and a slash or dash.
  std::istringstream help(console::HelpText());
  int switches = 0;
  for (std::string line; std::getline(help, line);) {
    if (line.rfind("  /", 0) != 0 && line.rfind("  -", 0) != 0) continue;
    std::string name = line.substr(2, line.find_first_of(" ,<", 2) - 2);
    ++switches;
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
  EXPECT_GE(switches, 12);
  for (const char* file : {"Rpoject.vrn", "Folder.vrn", "Log.vrn", "Vrnh.ini", "crontab",
                           "varnholt-nightly.timer", "/V:Docs"}) {
    EXPECT_NE(text.find(file), std::string::npos) << file;
  }
}

}  // namespace
