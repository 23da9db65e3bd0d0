// Protects Varnholt's main job end to end: the real varnholt binary, started the way a
// scheduler starts it (no display, "/P:name /EXIT"), backs up a tree with nested and empty
// folders, hidden files, a dot-directory, non-ASCII names, empty and large files, include and
// exclude masks. Python's zipfile and Info-ZIP unzip judge the archives; the log and folder
// files are decoded by the independent reader of tests/support/records.h. Later runs prove
// that the backup is incremental and that a file that cannot be read keeps its previous
// archive.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "tests/app/program_run.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/records.h"

namespace fs = std::filesystem;
using testsupport::MtimeNs;
using testsupport::ReadText;
using testsupport::SetMtime;
using testsupport::WriteText;

namespace {

constexpr long long kBaseTime = 1709633720;  // 2024-03-05 10:15:20 UTC

// File times are kept in 100 ns units: that is the precision an archive's time can match.
long long FileTimeOf(const std::string& path) { return MtimeNs(path) / 100; }

// Runs are unprivileged (as "nobody" when the test runs as root), so that a file without
// read rights cannot be read.
class UnattendedRun : public app_test::ProgramTest {
 public:
  std::string Src(const std::string& rel) const { return Dir("src/" + rel); }
  std::string Store() const { return Dir("store"); }
  std::string ArchiveOf(const std::string& rel) const { return Store() + Src(rel) + ".ZIP"; }
  Result Run(const std::vector<std::string>& args, Options options = {}) {
    options.unprivileged = true;
    return ProgramTest::Run(args, options);
  }
  // Project "Docs" storing src/docs into the store folder, masks none, exclude mode.
  void AddDocsProject() {
    EditCatalogue([this](catalogue::TCatalogue& cat) {
      ASSERT_TRUE(cat.AddProject("Docs", Store(), false));
      ASSERT_TRUE(cat.AddFolder("Docs", Src("docs"), "", false, 6));
    });
  }
};

using testsupport::RandomBytes;

std::string Text(std::size_t size) {
  std::string out;
  const char* words[] = {"backup ", "archive ", "folder ", "minute ", "Varnholt\n", "store "};
  for (unsigned k = 0; out.size() < size; ++k) out += words[(k * 7 + k / 3) % 6];
  out.resize(size);
  return out;
}

TEST_F(UnattendedRun, BacksUpIncrementallyAndKeepsOldArchivesOnFailure) {
  // docs: exclude mode with *.tmp; pics: include mode with *.jpg and *.PNG.
  const std::vector<std::pair<std::string, std::string>> docFiles = {
      {"docs/.hidden", "secret\n"},
      {"docs/a.b.tmp", "not matched by *.TMP: only the text after the first dot counts"},
      {"docs/big.bin", Text(3 << 20) + RandomBytes(1 << 20, 7)},
      {"docs/notes.txt", Text(5000)},
      {"docs/report.doc", Text(70000)},
      {"docs/sub/deeper/a.tar.gz", RandomBytes(100000, 3)},
      {"docs/sub/Ж.txt", "кириллица\n"},
      {"docs/zero.txt", ""},
      {"docs/Übersicht.odt", Text(1234)},
  };
  const std::vector<std::pair<std::string, std::string>> picFiles = {
      {"pics/x.JPG", RandomBytes(20000, 11)},
      {"pics/y.png", RandomBytes(30000, 12)},
  };
  for (const auto& [rel, content] : docFiles) WriteText(Src(rel), content);
  for (const auto& [rel, content] : picFiles) WriteText(Src(rel), content);
  WriteText(Src("docs/skip.tmp"), "excluded");
  WriteText(Src("docs/.git/config"), "dot-directories are not walked");
  WriteText(Src("pics/z.gif"), "not included");
  WriteText(Src("pics/readme"), "not included");
  fs::create_directories(Src("docs/empty"));
  long long t = kBaseTime;
  for (const auto& [rel, content] : docFiles) SetMtime(Src(rel), t += 7, 250000123);
  for (const auto& [rel, content] : picFiles) SetMtime(Src(rel), t += 7, 0);

  ASSERT_NO_FATAL_FAILURE(EditCatalogue([this](catalogue::TCatalogue& cat) {
    ASSERT_TRUE(cat.AddProject("Nightly", Store(), true));
    ASSERT_TRUE(cat.AddFolder("Nightly", Src("docs"), "*.tmp; ", false, 6));
    ASSERT_TRUE(cat.AddFolder("Nightly", Src("pics"), "*.jpg; *.PNG; ", true, 9));
  }));

  // First run: everything selected is stored.
  Result first = Run({"/P:nightly", "/EXIT"});
  ASSERT_EQ(first.status, 0) << first.err;
  auto fileLine = [&](const std::string& rel) {
    return "File \"" + Src(rel) + "\" was succefully stored.";
  };
  std::vector<std::string> expected = {
      "Running with command line \"/P:nightly /EXIT\"...",
      "Starting process for \"NIGHTLY\"...",
      "Processing folder \"" + Src("docs") + "\"...",
  };
  // The walk meets names in byte order, a subdirectory's files before the next name.
  for (const char* rel :
       {"docs/.hidden", "docs/a.b.tmp", "docs/big.bin", "docs/notes.txt", "docs/report.doc",
        "docs/sub/deeper/a.tar.gz", "docs/sub/Ж.txt", "docs/zero.txt", "docs/Übersicht.odt"}) {
    expected.push_back(fileLine(rel));
  }
  expected.push_back("Folder \"" + Src("docs") + "\" processed.");
  expected.push_back("Processing folder \"" + Src("pics") + "\"...");
  expected.push_back(fileLine("pics/x.JPG"));
  expected.push_back(fileLine("pics/y.png"));
  expected.push_back("Folder \"" + Src("pics") + "\" processed.");
  expected.push_back("Process comleted!");
  expected.push_back("");
  expected.push_back("Exiting by command line parameter.");
  for (auto& line : expected) line = line.substr(0, 100);  // the log keeps 100 bytes
  ASSERT_EQ(Log(), expected);

  // Every archive where the placement rule puts it, judged by independent tools.
  std::ofstream manifest(Dir("manifest.tsv"));
  auto all = docFiles;
  all.insert(all.end(), picFiles.begin(), picFiles.end());
  for (const auto& [rel, content] : all) {
    ASSERT_TRUE(fs::is_regular_file(ArchiveOf(rel))) << ArchiveOf(rel);
    EXPECT_EQ(FileTimeOf(ArchiveOf(rel)), FileTimeOf(Src(rel))) << rel;
    EXPECT_EQ(testsupport::Shell("unzip -tqq " + testsupport::Quote(ArchiveOf(rel))), 0) << rel;
    manifest << ArchiveOf(rel) << '\t' << Src(rel) << '\n';
  }
  manifest.close();
  EXPECT_EQ(testsupport::CheckArchives(Dir("manifest.tsv")), 0);
  EXPECT_TRUE(fs::is_directory(Store() + Src("docs/empty")));
  EXPECT_FALSE(fs::exists(Store() + Src("docs/.git")));
  EXPECT_FALSE(fs::exists(ArchiveOf("docs/skip.tmp")));
  EXPECT_FALSE(fs::exists(ArchiveOf("pics/z.gif")));
  EXPECT_FALSE(fs::exists(ArchiveOf("pics/readme")));
  auto folders = testsupport::ReadFolderFile(Dir("cat/Folder.vrn"));
  ASSERT_EQ(folders.size(), 2u);
  const double firstStored = folders[0].lastStored;
  EXPECT_GT(folders[0].lastStored, 0.0);
  EXPECT_GT(folders[1].lastStored, 0.0);

  // Second run: nothing changed, nothing stored, archives untouched, times renewed.
  struct stat before;
  ASSERT_EQ(stat(ArchiveOf("docs/notes.txt").c_str(), &before), 0);
  std::size_t mark = Log().size();
  sleep(1);  // a new "Last stored" time must be visible in the record
  Result second = Run({"/P:Nightly", "/exit"});
  ASSERT_EQ(second.status, 0) << second.err;
  std::vector<std::string> log = Log();
  EXPECT_EQ(
      std::vector<std::string>(log.begin() + mark, log.end()),
      (std::vector<std::string>{"Running with command line \"/P:Nightly /exit\"...",
                                "Starting process for \"NIGHTLY\"...",
                                ("Processing folder \"" + Src("docs") + "\"...").substr(0, 100),
                                ("Folder \"" + Src("docs") + "\" processed.").substr(0, 100),
                                ("Processing folder \"" + Src("pics") + "\"...").substr(0, 100),
                                ("Folder \"" + Src("pics") + "\" processed.").substr(0, 100),
                                "Process comleted!", "", "Exiting by command line parameter."}));
  struct stat after;
  ASSERT_EQ(stat(ArchiveOf("docs/notes.txt").c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  folders = testsupport::ReadFolderFile(Dir("cat/Folder.vrn"));
  EXPECT_GT(folders[0].lastStored, firstStored);

  // A file changed a minute later is stored again; one changed within its minute is not.
  WriteText(Src("docs/notes.txt"), "changed a minute later");
  SetMtime(Src("docs/notes.txt"), MtimeNs(ArchiveOf("docs/notes.txt")) / 1000000000LL + 60);
  const long long zeroTime = MtimeNs(Src("docs/zero.txt"));
  WriteText(Src("docs/zero.txt"), "changed within the same minute");
  SetMtime(Src("docs/zero.txt"), zeroTime / 1000000000LL + 1);
  mark = Log().size();
  Result third = Run({"/p:NIGHTLY", "/EXIT"});
  ASSERT_EQ(third.status, 0) << third.err;
  log = Log();
  EXPECT_EQ(std::count(log.begin() + mark, log.end(), fileLine("docs/notes.txt").substr(0, 100)),
            1);
  EXPECT_EQ(std::count_if(log.begin() + mark, log.end(),
                          [](const std::string& l) { return l.rfind("File ", 0) == 0; }),
            1);
  EXPECT_EQ(FileTimeOf(ArchiveOf("docs/notes.txt")), FileTimeOf(Src("docs/notes.txt")));
  std::ofstream(Dir("manifest2.tsv"))
      << ArchiveOf("docs/notes.txt") << '\t' << Src("docs/notes.txt") << '\n';
  EXPECT_EQ(testsupport::CheckArchives(Dir("manifest2.tsv")), 0);

  // A file that cannot be read: logged as not stored, its box on standard error, exit
  // status 1, and its previous archive still there, unchanged.
  const std::string oldArchive = ReadText(ArchiveOf("docs/report.doc"));
  const long long oldArchiveTime = MtimeNs(ArchiveOf("docs/report.doc"));
  WriteText(Src("docs/report.doc"), "new content nobody may read");
  SetMtime(Src("docs/report.doc"), oldArchiveTime / 1000000000LL + 120);
  fs::permissions(Src("docs/report.doc"), fs::perms::none);
  mark = Log().size();
  Result fourth = Run({"/P:NIGHTLY", "/EXIT"});
  EXPECT_EQ(fourth.status, 1) << fourth.err;
  log = Log();
  EXPECT_EQ(std::count(log.begin() + mark, log.end(),
                       ("Can't store file \"" + Src("docs/report.doc") + "\"!").substr(0, 100)),
            1);
  EXPECT_NE(fourth.err.find("Unable to process file \"" + Store() + Src("docs/report.doc") + "\""),
            std::string::npos)
      << fourth.err;
  EXPECT_NE(
      fourth.err.find("Can't store file \"" + Src("docs/report.doc") + "\": Permission denied\n"),
      std::string::npos)
      << fourth.err;
  EXPECT_EQ(ReadText(ArchiveOf("docs/report.doc")), oldArchive);
  EXPECT_EQ(MtimeNs(ArchiveOf("docs/report.doc")), oldArchiveTime);
  EXPECT_FALSE(fs::exists(ArchiveOf("docs/report.doc") + ".vrn-tmp"));
}

// Every way a nightly run can leave something unstored, each as the scheduler sees it:
// the exit status and the line on standard error.
struct FailingRun {
  const char* name;
  // Prepares the catalogue (opened in dir/cat) and the tree; returns the switches.
  std::function<std::vector<std::string>(UnattendedRun&, catalogue::TCatalogue&)> setUp;
  int status;
  // Lines standard error must hold ("{src}" stands for the source folder).
  std::vector<std::string> errorLines;
  // Lines it must not hold.
  std::vector<std::string> absentLines;
};

class FailingRuns : public UnattendedRun, public ::testing::WithParamInterface<FailingRun> {
 public:
  std::string Expand(std::string text) {
    const std::string key = "{src}";
    const std::string src = Dir("src");
    for (std::size_t at; (at = text.find(key)) != std::string::npos;)
      text.replace(at, key.size(), src);
    return text;
  }
};

TEST_P(FailingRuns, EndWithTheirStatusAndSayWhy) {
  std::vector<std::string> args;
  ASSERT_NO_FATAL_FAILURE(
      EditCatalogue([&](catalogue::TCatalogue& cat) { args = GetParam().setUp(*this, cat); }));
  const Result result = Run(args);
  EXPECT_EQ(result.status, GetParam().status) << result.err;
  for (const std::string& line : GetParam().errorLines) {
    EXPECT_NE(result.err.find(Expand(line) + "\n"), std::string::npos)
        << "missing: " << Expand(line) << "\nstandard error:\n"
        << result.err;
  }
  for (const std::string& line : GetParam().absentLines) {
    EXPECT_EQ(result.err.find(Expand(line)), std::string::npos) << result.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailingRuns,
    ::testing::Values(
        FailingRun{"RaiseErrorsOff",
                   [](UnattendedRun& t, catalogue::TCatalogue& cat) {
                     WriteText(t.Src("docs/locked.txt"), "nobody may read this");
                     fs::permissions(t.Src("docs/locked.txt"), fs::perms::none);
                     WriteText(t.Src("docs/fine.txt"), "stored");
                     EXPECT_TRUE(cat.AddProject("Docs", t.Store(), false));
                     EXPECT_TRUE(cat.AddFolder("Docs", t.Src("docs"), "", false, 6));
                     return std::vector<std::string>{"/P:Docs", "/EXIT"};
                   },
                   1,
                   {"Can't store file \"{src}/docs/locked.txt\": Permission denied"},
                   {"Unable to process file", "fine.txt"}},
        FailingRun{"UnknownProject",
                   [](UnattendedRun& t, catalogue::TCatalogue& cat) {
                     EXPECT_TRUE(cat.AddProject("Docs", t.Store(), false));
                     return std::vector<std::string>{"/P:Dcos", "/EXIT"};
                   },
                   1,
                   {"Error!: Can't find project \"DCOS\"!"},
                   {}},
        FailingRun{"MissingSourceFolder",
                   [](UnattendedRun& t, catalogue::TCatalogue& cat) {
                     WriteText(t.Src("there/a.txt"), "a");
                     EXPECT_TRUE(cat.AddProject("Docs", t.Store(), false));
                     EXPECT_TRUE(cat.AddFolder("Docs", t.Src("unmounted"), "", false, 6));
                     EXPECT_TRUE(cat.AddFolder("Docs", t.Src("there"), "", false, 6));
                     return std::vector<std::string>{"/P:Docs", "/EXIT"};
                   },
                   1,
                   {"Can't read folder \"{src}/unmounted\": No such file or directory"},
                   {"there"}},
        FailingRun{"UnreadableSubdirectory",
                   [](UnattendedRun& t, catalogue::TCatalogue& cat) {
                     WriteText(t.Src("docs/private/a.txt"), "a");
                     fs::permissions(t.Src("docs/private"), fs::perms::none);
                     EXPECT_TRUE(cat.AddProject("Docs", t.Store(), false));
                     EXPECT_TRUE(cat.AddFolder("Docs", t.Src("docs"), "", false, 6));
                     return std::vector<std::string>{"/ALL", "/EXIT"};
                   },
                   1,
                   {"Can't read folder \"{src}/docs/private\": Permission denied"},
                   {}},
        FailingRun{"EmptyStoreFolder",
                   [](UnattendedRun& t, catalogue::TCatalogue& cat) {
                     WriteText(t.Src("docs/a.txt"), "a");
                     EXPECT_TRUE(cat.AddProject("Docs", "", false));
                     EXPECT_TRUE(cat.AddFolder("Docs", t.Src("docs"), "", false, 6));
                     return std::vector<std::string>{"/P:Docs", "/EXIT"};
                   },
                   1,
                   {"Error!: Project \"DOCS\" has no folder to store!"},
                   {}},
        FailingRun{"RootStoreFolder",
                   [](UnattendedRun& t, catalogue::TCatalogue& cat) {
                     WriteText(t.Src("docs/a.txt"), "a");
                     EXPECT_TRUE(cat.AddProject("Docs", "/..", false));
                     EXPECT_TRUE(cat.AddFolder("Docs", t.Src("docs"), "", false, 6));
                     return std::vector<std::string>{"/EXIT", "/P:Docs"};
                   },
                   1,
                   {"Error!: Folder to store \"/..\" of project \"DOCS\" is the root folder!"},
                   {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UnattendedRun, TornFolderFileNamesTheFileOnStandardError) {
  ASSERT_NO_FATAL_FAILURE(AddDocsProject());
  fs::resize_file(Dir("cat/Folder.vrn"), 372 + 200);
  const Result result = Run({"/P:Docs", "/EXIT"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("Folder.vrn\": record 1 is incomplete"), std::string::npos)
      << result.err;
}

TEST_F(UnattendedRun, WrongWorkingDirectoryCreatesNoCatalogueAndEndsWithStatus2) {
  fs::create_directories(Dir("elsewhere"));
  const Result result = Run({"/P:Docs", "/EXIT"}, {.workingDir = Dir("elsewhere")});
  EXPECT_EQ(result.status, 2);
  EXPECT_TRUE(fs::is_empty(Dir("elsewhere")));
  EXPECT_NE(result.err.find("Can't open project database!"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(Dir("elsewhere")), std::string::npos) << result.err;
}

TEST_F(UnattendedRun, LogOnAFullDiskStaysWholeAndTheRunFails) {
  WriteText(Src("docs/a.txt"), "a");
  ASSERT_NO_FATAL_FAILURE(AddDocsProject());
  EditCatalogue([](catalogue::TCatalogue& cat) {
    for (int k = 0; k < 3; ++k) cat.AddLogEntry("earlier entry");
  });
  // Room for one more entry and part of a second: the second is cut off mid-record, as on
  // a disk that fills up.
  const long long logSize = static_cast<long long>(fs::file_size(Dir("cat/Log.vrn")));
  const Result full = Run({"/P:Docs", "/EXIT"}, {.fileSizeLimit = logSize + 109 + 40});
  EXPECT_EQ(full.status, 1) << full.err;
  EXPECT_NE(full.err.find("Log.vrn"), std::string::npos) << full.err;
  EXPECT_EQ(fs::file_size(Dir("cat/Log.vrn")) % 109, 0u);
  EXPECT_EQ(fs::file_size(Dir("cat/Log.vrn")), static_cast<std::uintmax_t>(logSize + 109));
  EXPECT_FALSE(fs::exists(ArchiveOf("docs/a.txt")));

  // Space again: the next run stores, and its entries follow the whole ones.
  const Result next = Run({"/P:Docs", "/EXIT"});
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_TRUE(fs::is_regular_file(ArchiveOf("docs/a.txt")));
  const std::vector<std::string> log = Log();
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(log[3], "Running with command line \"/P:Docs /EXIT\"...");
  EXPECT_EQ(log[4], "Running with command line \"/P:Docs /EXIT\"...");
  EXPECT_EQ(log[5], "Starting process for \"DOCS\"...");
}

TEST_F(UnattendedRun, ExitWithADisplayEndsTheProgramWhereverItStands) {
  // Regression: with a display, "/EXIT /P:x" backed up and then never ended.
  WriteText(Src("docs/a.txt"), "a");
  ASSERT_NO_FATAL_FAILURE(AddDocsProject());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/EXIT", "/P:Docs"}, {"/EXIT", "/ALL"}, {"/P:Docs", "/exit"}}) {
    const Result result = Run(args, {.offscreen = true});
    EXPECT_EQ(result.status, 0) << args[0] << " " << args[1] << ": " << result.err;
  }
  EXPECT_TRUE(fs::is_regular_file(ArchiveOf("docs/a.txt")));
}

TEST_F(UnattendedRun, LongestArchiveNameIsStoredAndLeftoversOfKilledRunsGo) {
  // A 251-byte name has a 255-byte archive name, the longest a file system takes.
  const std::string longest(251, 'L');
  WriteText(Src("docs/" + longest), Text(3000));
  WriteText(Src("docs/b.txt"), "b");
  // What a killed run leaves: a temporary of either form, for files long renamed.
  const std::string target = Store() + Src("docs");
  fs::create_directories(target);
  WriteText(target + "/.vrn-tmp.X1y2Z3", std::string(5000, 'p'));
  WriteText(target + "/renamed.doc.ZIP.vrn-tmp", std::string(5000, 'p'));
  ASSERT_NO_FATAL_FAILURE(AddDocsProject());
  const Result result = Run({"/P:Docs", "/EXIT"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(result.err.empty()) << result.err;
  ASSERT_TRUE(fs::is_regular_file(ArchiveOf("docs/" + longest)));
  EXPECT_EQ(testsupport::Shell("unzip -tqq " + testsupport::Quote(ArchiveOf("docs/" + longest))),
            0);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(target)) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{longest + ".ZIP", "b.txt.ZIP"}));
}

TEST_F(UnattendedRun, LoadsNoToolkitAndRunsWithoutTheWindowModule) {
  // The program itself names no toolkit library: a scheduler's start does not pay for
  // loading one.
  const std::string program = testsupport::Quote(Dir("bin/varnholt"));
  ASSERT_EQ(testsupport::Shell("readelf -d " + program + " | grep -q 'NEEDED.*libc\\.so'"), 0);
  EXPECT_NE(testsupport::Shell("readelf -d " + program + " | grep -q 'NEEDED.*libQt'"), 0);

  fs::remove(Dir("bin/varnholt-window.so"));
  WriteText(Src("docs/a.txt"), "a");
  ASSERT_NO_FATAL_FAILURE(AddDocsProject());
  Result result = Run({"/P:Docs", "/EXIT"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::is_regular_file(ArchiveOf("docs/a.txt")));
  // The project run last is the one the window opens next time.
  EXPECT_NE(ReadText(Dir("bin/Vrnh.ini")).find("Project=DOCS"), std::string::npos);

  // With a display, a missing window is said, not a run that did nothing.
  result = Run({"/EXIT"}, {.offscreen = true});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("the window cannot be started"), std::string::npos) << result.err;
}

TEST_F(UnattendedRun, WithoutSwitchesAndDisplayExplainsAndEndsWithStatus2) {
  Result result = Run({});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("display"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("/P:"), std::string::npos) << result.err;
}

TEST_F(UnattendedRun, CatalogueThatCannotBeOpenedEndsWithStatus2) {
  fs::create_directories(Dir("cat/Log.vrn"));  // a directory where the log file should be
  Result result = Run({"/ALL", "/EXIT"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("Can't open project database!"), std::string::npos) << result.err;
}

}  // namespace
