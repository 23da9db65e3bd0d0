// Protects restore and verify without a window, and the program's answers to --help and
// --version, through the real varnholt binary started as a console user or a scheduler
// starts it (no display). A tree is backed up with /P:, then damaged the ways a user meets:
// one archive with flipped bytes, two source files deleted, a third changed. /V: must name
// exactly the damaged archive and the changed file; /R: with "Append missed" must bring back
// exactly the two deleted files with their times; /F: /T: /O:REWRITE must rebuild one
// folder elsewhere except the damaged archive's file, and say so in its exit status. The
// expected trees are the files the test wrote, compared byte for byte; the log is read from
// its record layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "tests/app/program_run.h"

namespace fs = std::filesystem;

namespace {

using testsupport::MtimeNs;
using testsupport::RandomBytes;
using testsupport::ReadText;
using testsupport::SetMtime;
using testsupport::WriteText;

// Every file below root: relative path -> bytes.
std::map<std::string, std::string> TreeOf(const std::string& root) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(root)) return tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      tree[fs::relative(entry.path(), root).string()] = ReadText(entry.path().string());
    }
  }
  return tree;
}

// Every entry below root, directories and files, sorted.
std::vector<std::string> Listing(const std::string& root) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    names.push_back(fs::relative(entry.path(), root).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> LinesWith(const std::string& text, const std::string& part) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.find(part) != std::string::npos) lines.push_back(line);
  }
  return lines;
}

class CommandLineRun : public app_test::ProgramTest {
 protected:
  // Runs in cwd (default: the catalogue folder), without a display unless display names one.
  Result Run(const std::vector<std::string>& args, const std::string& cwd = "",
             const char* display = nullptr) {
    return ProgramTest::Run(args, {.workingDir = cwd, .display = display});
  }
};

// ---- --help, -h, --version

TEST_F(CommandLineRun, HelpAndVersionAnswerOnStandardOutputAndTouchNoFile) {
  const std::string empty = Dir("empty");
  fs::create_directories(empty);
  const std::vector<std::string> before = Listing(dir_.Path());
  for (const char* display : {static_cast<const char*>(nullptr), ":97"}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"/P:Docs", "--help", "/EXIT"}}) {
      const Result help = Run(args, empty, display);
      EXPECT_EQ(help.status, 0) << args[0] << help.err;
      EXPECT_EQ(help.err, "");
      for (const char* part :
           {"/L:<project>", "/P:<project>", "/ALL", "/R:<project>", "/F:<folder>", "/T:<directory>",
            "/O:REWRITE", "/O:MISSED", "/O:REFRESH", "/V:<project>", "/W:<n>", "/EXIT",
            "Exit status:", "Rpoject.vrn", "working", "Vrnh.ini"}) {
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
      }
    }
    const Result version = Run({"--version"}, empty, display);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "varnholt 0.1 beta\n");
    EXPECT_EQ(version.err, "");
  }
  // No catalogue in the working directory, no settings beside the program or in the
  // configuration folder, nothing in the home folder.
  EXPECT_EQ(Listing(dir_.Path()), before);
}

// ---- restore and verify

class RestoreVerifyRun : public CommandLineRun {
 protected:
  static constexpr long long kBase = 1700000000;  // 2023-11-14 22:13:20 UTC

  void SetUp() override {
    CommandLineRun::SetUp();
    if (IsSkipped()) return;
    one_ = Dir("src/one");
    two_ = Dir("src/two");
    store_ = Dir("store");
    files_ = {
        {one_ + "/a.txt", "alpha\n"},
        {one_ + "/damaged.bin", RandomBytes(60000, 5)},
        {one_ + "/sub/c.txt", "gamma, the file that will change\n"},
        {one_ + "/sub/deep/d.dat", RandomBytes(7000, 9)},
        {two_ + "/x.txt", std::string(20000, 'x')},
        {two_ + "/y name.txt", "why\n"},
    };
    long long t = kBase;
    for (const auto& [path, content] : files_) {
      WriteText(path, content);
      SetMtime(path, t += 3600, 123456700);
    }
    ASSERT_NO_FATAL_FAILURE(EditCatalogue([this](catalogue::TCatalogue& cat) {
      ASSERT_TRUE(cat.AddProject("Docs", store_, false));
      ASSERT_TRUE(cat.AddFolder("Docs", one_, "*; ", true, 6));
      ASSERT_TRUE(cat.AddFolder("Docs", two_, "*; ", true, 9));
    }));

    const Result backup = Run({"/W:2", "/P:Docs", "/EXIT"});
    ASSERT_EQ(backup.status, 0) << backup.err;
    for (const auto& [path, content] : files_) {
      ASSERT_TRUE(fs::is_regular_file(Archive(path))) << path;
      mtimes_[path] = MtimeNs(path);
    }
  }

  std::string Archive(const std::string& source) const { return store_ + source + ".ZIP"; }

  // Flips bytes in the middle of the entry's compressed data (after the 30-byte local
  // header and its name and extra field).
  void DamageArchive(const std::string& source) {
    const std::string path = Archive(source);
    std::string bytes = ReadText(path);
    const std::size_t compressed = testsupport::Le32(bytes, 18);
    ASSERT_GT(compressed, 1000u);
    const std::size_t middle =
        30 + testsupport::Le16(bytes, 26) + testsupport::Le16(bytes, 28) + compressed / 2;
    for (std::size_t k = 0; k < 16; ++k) bytes[middle + k] = static_cast<char>(~bytes[middle + k]);
    const long long mtime = MtimeNs(path);
    WriteText(path, bytes);
    // The archive keeps its time, as a disk fault would leave it.
    SetMtime(path, mtime / 1000000000, mtime % 1000000000);
  }

  std::string one_, two_, store_;
  std::vector<std::pair<std::string, std::string>> files_;
  std::map<std::string, long long> mtimes_;
};

TEST_F(RestoreVerifyRun, VerifyRestoreAllAndRestoreOneFolderElsewhere) {
  DamageArchive(one_ + "/damaged.bin");
  fs::remove(one_ + "/a.txt");
  fs::remove(two_ + "/x.txt");
  const std::string changed = one_ + "/sub/c.txt";
  WriteText(changed, "gamma, changed since the backup\n");
  SetMtime(changed, kBase + 90000, 0);
  const std::map<std::string, std::string> oneBefore = TreeOf(one_);
  const std::map<std::string, std::string> twoBefore = TreeOf(two_);
  std::size_t logSize = Log().size();

  // Verify: exactly the damaged archive and the changed file; nothing written.
  const std::vector<std::string> storeListing = Listing(store_);
  const Result verify = Run({"/V:docs"});
  EXPECT_EQ(verify.status, 1) << verify.out << verify.err;
  const std::vector<std::string> damagedLines = LinesWith(verify.out, "damaged: ");
  ASSERT_EQ(damagedLines.size(), 1u) << verify.out;
  EXPECT_EQ(damagedLines[0].rfind("  damaged: " + Archive(one_ + "/damaged.bin") + " (", 0), 0u)
      << damagedLines[0];
  EXPECT_EQ(LinesWith(verify.out, "not backed up: "),
            std::vector<std::string>{"  not backed up: " + changed});
  EXPECT_NE(verify.out.find("Folder \"" + one_ +
                            "\": 4 archives tested, 1 damaged, 1 files not backed up"),
            std::string::npos)
      << verify.out;
  EXPECT_NE(verify.out.find("Folder \"" + two_ +
                            "\": 2 archives tested, 0 damaged, 0 files not backed up"),
            std::string::npos)
      << verify.out;
  EXPECT_NE(verify.out.find("Total: 6 archives tested, 1 damaged, 1 files not backed up"),
            std::string::npos);
  const std::vector<std::string> damagedErrors = LinesWith(verify.err, "Damaged archive");
  ASSERT_EQ(damagedErrors.size(), 1u) << verify.err;
  EXPECT_NE(damagedErrors[0].find(Archive(one_ + "/damaged.bin")), std::string::npos);
  EXPECT_EQ(TreeOf(one_), oneBefore);
  EXPECT_EQ(TreeOf(two_), twoBefore);
  EXPECT_EQ(Listing(store_), storeListing);
  std::vector<std::string> log = Log();
  const std::vector<std::string> verifyLog(log.begin() + static_cast<long>(logSize), log.end());
  const std::vector<std::string> expectedVerifyLog = {
      "Running with command line \"/V:docs\"...",
      "Verifying project \"DOCS\"...",
      ("4 archives tested, 1 damaged, 1 files not backed up: \"" + one_ + "\"").substr(0, 100),
      "Damaged archive \"damaged.bin.ZIP\"!",
      ("2 archives tested, 0 damaged, 0 files not backed up: \"" + two_ + "\"").substr(0, 100),
      "Verifying complete: 6 archives tested, 1 damaged, 1 files not backed up.",
      ""};
  EXPECT_EQ(verifyLog, expectedVerifyLog);
  logSize = log.size();

  // Restore all folders, "Append missed" (the default): the two deleted files come back
  // with their times; the damaged archive's file and the changed file stay as they are.
  const Result all = Run({"/W:1", "/R:Docs"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.err, "");
  std::map<std::string, std::string> oneExpected = oneBefore;
  oneExpected["a.txt"] = "alpha\n";
  std::map<std::string, std::string> twoExpected = twoBefore;
  twoExpected["x.txt"] = std::string(20000, 'x');
  EXPECT_EQ(TreeOf(one_), oneExpected);
  EXPECT_EQ(TreeOf(two_), twoExpected);
  EXPECT_EQ(MtimeNs(one_ + "/a.txt"), mtimes_[one_ + "/a.txt"]);
  EXPECT_EQ(MtimeNs(two_ + "/x.txt"), mtimes_[two_ + "/x.txt"]);
  EXPECT_EQ(MtimeNs(one_ + "/damaged.bin"), mtimes_[one_ + "/damaged.bin"]);
  EXPECT_EQ(MtimeNs(changed), (kBase + 90000) * 1000000000LL);
  log = Log();
  const std::vector<std::string> restoreLog(log.begin() + static_cast<long>(logSize), log.end());
  const std::vector<std::string> expectedRestoreLog = {
      "Running with command line \"/W:1 /R:Docs\"...",
      "Starting restore process...",
      "Restoring folder \"" + one_ + "\"...",
      "File \"a.txt.ZIP\" was unpacked.",
      "Folder \"" + one_ + "\" restored.",
      "Restoring folder \"" + two_ + "\"...",
      "File \"x.txt.ZIP\" was unpacked.",
      "Folder \"" + two_ + "\" restored.",
      "Restoring complette!",
      ""};
  EXPECT_EQ(restoreLog, expectedRestoreLog);
  logSize = log.size();

  // One folder into another directory, "Rewrite all files": the backed-up tree except the
  // damaged archive's file, which is reported and makes the status 1.
  const std::string elsewhere = Dir("elsewhere/one again");
  const Result one = Run({"/w:3", "/o:rewrite", "/F:" + one_, "/T:" + elsewhere, "/R:DOCS"});
  EXPECT_EQ(one.status, 1) << one.err;
  std::map<std::string, std::string> backedUp;
  for (const auto& [path, content] : files_) {
    if (path.rfind(one_ + "/", 0) == 0 && path != one_ + "/damaged.bin") {
      backedUp[path.substr(one_.size() + 1)] = content;
    }
  }
  EXPECT_EQ(TreeOf(elsewhere), backedUp);
  for (const auto& [rel, content] : backedUp) {
    EXPECT_EQ(MtimeNs(elsewhere + "/" + rel), mtimes_[one_ + "/" + rel]) << rel;
  }
  EXPECT_EQ(LinesWith(one.err, "Error unpacking file").size(), 1u) << one.err;
  EXPECT_NE(one.err.find("Error unpacking file \"" + Archive(one_ + "/damaged.bin") + "\": "),
            std::string::npos)
      << one.err;
  EXPECT_EQ(TreeOf(one_), oneExpected);  // the source folder is not touched
  log = Log();
  const std::vector<std::string> oneLog(log.begin() + static_cast<long>(logSize), log.end());
  ASSERT_GE(oneLog.size(), 4u);
  EXPECT_EQ(oneLog[1], "Starting restore process...");
  EXPECT_EQ(oneLog[2], "Restoring folder \"" + elsewhere + "\"...");
  EXPECT_EQ(std::count(oneLog.begin(), oneLog.end(), "Error unpacking file \"damaged.bin.ZIP\"!"),
            1);
  EXPECT_EQ(std::count_if(oneLog.begin(), oneLog.end(),
                          [](const std::string& line) {
                            return line.find("was unpacked.") != std::string::npos;
                          }),
            3);
  EXPECT_EQ(oneLog[oneLog.size() - 3], "Folder \"" + elsewhere + "\" restored.");
}

TEST_F(RestoreVerifyRun, RefusedSwitchesEndWithStatusOne) {
  fs::remove(two_ + "/x.txt");
  struct Case {
    std::vector<std::string> args;
    const char* message;  // on standard error
  };
  const std::vector<Case> cases = {
      {{"/T:" + Dir("elsewhere"), "/R:Docs"}, "/T: needs /F:"},
      {{"/R:Nope"}, "Can't find project \"NOPE\"!"},
      {{"/V:Nope"}, "Can't find project \"NOPE\"!"},
      {{"/F:" + Dir("src/three"), "/R:Docs"}, "is not in project \"DOCS\""},
      {{"/W:0", "/V:Docs"}, "Unknown number of files at once \"0\""},
      {{"/W:many", "/V:Docs"}, "Unknown number of files at once \"many\""},
      {{"/O:SOMETIMES", "/F:" + two_, "/R:Docs"}, "Unknown restore option \"SOMETIMES\""},
  };
  for (const Case& c : cases) {
    const Result run = Run(c.args);
    EXPECT_EQ(run.status, 1) << c.args[0];
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  EXPECT_FALSE(fs::exists(Dir("elsewhere")));
  // The refused option left the default in force: the last case restored the missing file.
  EXPECT_EQ(ReadText(two_ + "/x.txt"), std::string(20000, 'x'));

  // A folder's backup that is gone: reported, status 1, for restore and verify alike.
  fs::remove_all(store_ + two_);
  const Result restore = Run({"/F:" + two_, "/R:Docs"});
  EXPECT_EQ(restore.status, 1);
  EXPECT_NE(restore.err.find("Can't find backup for selected folder, restoring failed!"),
            std::string::npos)
      << restore.err;
  const Result verify = Run({"/V:Docs"});
  EXPECT_EQ(verify.status, 1);
  EXPECT_NE(verify.err.find("No backup of folder \"" + two_ + "\" found"), std::string::npos)
      << verify.err;
}

}  // namespace
