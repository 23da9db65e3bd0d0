// Protects file selection: the wildcard rule (whose "first occurrence only" star is easy to
// "fix" by accident into a backtracking matcher), the minute comparison that makes runs
// incremental, the mask list split including cut and empty masks, and the walk's choices of
// what to enter, what to store and which target directories to create.
#include "backup/selection.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "backup/placement.h"
#include "tests/backup/test_tree.h"
#include "tests/support/unprivileged.h"

namespace fs = std::filesystem;
using backup::MatchMask;
using backup_test::SetMtime;
using backup_test::TempDir;
using backup_test::WriteFile;

namespace {

struct MaskCase {
  const char* mask;
  const char* name;
  bool match;
};

void PrintTo(const MaskCase& c, std::ostream* os) {
  *os << "mask \"" << c.mask << "\" name \"" << c.name << "\"";
}

class MatchMaskTable : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MatchMaskTable, DecidesAsTheRuleSays) {
  const MaskCase& c = GetParam();
  EXPECT_EQ(MatchMask(c.name, c.mask), c.match);
}

// The documented table first, then cases that pin details of the rule.
INSTANTIATE_TEST_SUITE_P(
    Table, MatchMaskTable,
    ::testing::Values(MaskCase{"*.TXT", "A.TXT", true}, MaskCase{"*.TXT", ".TXT", true},
                      MaskCase{"*.TXT", "A.B.TXT", false}, MaskCase{"*.TXT", "A.TXTX", false},
                      MaskCase{"*.GZ", "A.TAR.GZ", false}, MaskCase{"*.*", "A.B", true},
                      MaskCase{"*.*", "README", false}, MaskCase{"*", "README", true},
                      MaskCase{"REPORT*", "REPORT", true}, MaskCase{"REPORT.*", "REPORT", false},
                      MaskCase{"*REPORT*", "MYREPORT.DOC", true}, MaskCase{"A*C", "AXC", true},
                      MaskCase{"A*C", "ACC", false}, MaskCase{"*T", "TEXT", false},
                      MaskCase{"*.D?C", "X.DOC", true}, MaskCase{"?*", "AB", true},
                      MaskCase{"?*", "ABC", false}, MaskCase{"A?", "AB", true},
                      MaskCase{"A?", "A", false}, MaskCase{"*?", "AB", false},
                      MaskCase{"*?", "A", false}, MaskCase{"*?", "", false},
                      MaskCase{"*?", "LONGER.NAME", false}));

INSTANTIATE_TEST_SUITE_P(
    Details, MatchMaskTable,
    ::testing::Values(
        // A mask without wildcards must equal the whole name.
        MaskCase{"README", "README", true}, MaskCase{"README", "README.TXT", false},
        MaskCase{"README.TXT", "README", false},
        // "*" at the end matches nothing too; "*" alone matches the empty name.
        MaskCase{"*", "", true}, MaskCase{"A*", "A", true},
        // An empty mask matches nothing, not even the empty name.
        MaskCase{"", "", false}, MaskCase{"", "A", false},
        // "?" takes one character, also a character of several UTF-8 bytes.
        MaskCase{"A?", "AÉ", true}, MaskCase{"?.TXT", "Ж.TXT", true},
        MaskCase{"??.TXT", "Ж.TXT", false}, MaskCase{"*.DOC", "ÜBER.DOC", true},
        // Exclude-mode example: only the text after the first "." decides.
        MaskCase{"*.TMP", "A.TMP", true}, MaskCase{"*.TMP", "A.B.TMP", false},
        MaskCase{"*.DOC", "LETTER.DOC", true}, MaskCase{"*.DOC", "LETTER.DOC.BAK", false}));

// Times written as 100 ns units since 1601 from Unix seconds of known UTC calendar times
// (computed with Python's calendar.timegm), so the test does not lean on our conversions.
struct MinuteCase {
  unsigned long long a;
  unsigned long long b;
  bool same;
  const char* what;
};

void PrintTo(const MinuteCase& c, std::ostream* os) { *os << c.what; }

class SameFileMinuteTable : public ::testing::TestWithParam<MinuteCase> {};

TEST_P(SameFileMinuteTable, ComparesUtcMinutes) {
  const MinuteCase& c = GetParam();
  EXPECT_EQ(backup::SameFileMinute(c.a, c.b), c.same) << c.what;
  EXPECT_EQ(backup::SameFileMinute(c.b, c.a), c.same) << c.what << " (swapped)";
}

INSTANTIATE_TEST_SUITE_P(
    Table, SameFileMinuteTable,
    ::testing::Values(
        MinuteCase{133541073200000000ULL, 133541073200000000ULL, true, "identical"},
        MinuteCase{133541073200000000ULL, 133541073500000000ULL, true, "10:15:20 vs 10:15:50"},
        MinuteCase{133541073200000000ULL, 133541073650000000ULL, false, "10:15:20 vs 10:16:05"},
        MinuteCase{133541073599999999ULL, 133541073600000000ULL, false,
                   "last tick of 10:15 vs 10:16:00"},
        MinuteCase{133541073200000000ULL, 133541937200000000ULL, false, "same time next day"},
        MinuteCase{133541073200000000ULL, 133541109200000000ULL, false, "same minute next hour"},
        MinuteCase{133801631990000000ULL, 133801632000000000ULL, false,
                   "23:59:59 on 31 Dec vs midnight of the new year"},
        MinuteCase{0ULL, 590000000ULL, true, "time zero vs 1601-01-01 00:00:59"},
        MinuteCase{0ULL, 600000000ULL, false, "time zero vs 1601-01-01 00:01:00"},
        MinuteCase{116444735700000000ULL, 116444736000000000ULL, false,
                   "1969-12-31 23:59:30 vs the Unix epoch"}));

TEST(MaskList, SplitsAtEverySeparatorAndUpperCases) {
  const backup::MaskList masks("*.doc; *.xls; ");
  EXPECT_EQ(masks.Masks(), (std::vector<std::string>{"*.DOC", "*.XLS"}));
  EXPECT_TRUE(masks.AnyMatches("LETTER.DOC"));
  EXPECT_TRUE(masks.AnyMatches("SHEET.XLS"));
  EXPECT_FALSE(masks.AnyMatches("NOTES.TXT"));
}

TEST(MaskList, EmptyTextHasNoMasks) {
  const backup::MaskList masks("");
  EXPECT_TRUE(masks.Masks().empty());
  EXPECT_FALSE(masks.AnyMatches("A.TXT"));
}

TEST(MaskList, RestWithoutSeparatorIsOneMoreMask) {
  // What remains of a mask list cut at its capacity in the middle of its last mask.
  const backup::MaskList masks("*.doc; *.tx");
  EXPECT_EQ(masks.Masks(), (std::vector<std::string>{"*.DOC", "*.TX"}));
  EXPECT_TRUE(masks.AnyMatches("A.TX"));
  EXPECT_FALSE(masks.AnyMatches("A.TXT"));
}

TEST(MaskList, EmptyMaskMatchesNothing) {
  const backup::MaskList masks("; *.doc; ; ");
  EXPECT_EQ(masks.Masks(), (std::vector<std::string>{"", "*.DOC", ""}));
  EXPECT_FALSE(masks.AnyMatches(""));
  EXPECT_FALSE(masks.AnyMatches("A.TXT"));
  EXPECT_TRUE(masks.AnyMatches("A.DOC"));
}

TEST(MaskList, FoldsNonAsciiCase) {
  const backup::MaskList masks("über*; ");
  EXPECT_TRUE(masks.AnyMatches("ÜBERSICHT.ODT"));
}

constexpr long long k101520 = 1709633720;  // 2024-03-05 10:15:20 UTC

TEST(IsFileSelected, MissingArchiveSelectsByMask) {
  TempDir dir;
  WriteFile(dir / "src/a.doc");
  WriteFile(dir / "src/a.txt");
  fs::create_directories(dir / "dst");
  EXPECT_TRUE(backup::IsFileSelected(dir / "src", dir / "dst", "a.doc", "*.DOC; ", true));
  EXPECT_FALSE(backup::IsFileSelected(dir / "src", dir / "dst", "a.txt", "*.DOC; ", true));
  EXPECT_FALSE(backup::IsFileSelected(dir / "src", dir / "dst", "a.doc", "*.doc; ", false));
  EXPECT_TRUE(backup::IsFileSelected(dir / "src", dir / "dst", "a.txt", "*.doc; ", false));
}

TEST(IsFileSelected, ArchiveOfTheSameMinuteMeansUnchanged) {
  TempDir dir;
  WriteFile(dir / "src/a.doc");
  WriteFile(dir / "dst/a.doc.ZIP");
  SetMtime(dir / "src/a.doc", k101520 + 30);  // 10:15:50
  SetMtime(dir / "dst/a.doc.ZIP", k101520);   // 10:15:20
  EXPECT_FALSE(backup::IsFileSelected(dir / "src", dir / "dst", "a.doc", "*.doc; ", true));
  SetMtime(dir / "src/a.doc", k101520 + 45);  // 10:16:05
  EXPECT_TRUE(backup::IsFileSelected(dir / "src", dir / "dst", "a.doc", "*.doc; ", true));
  SetMtime(dir / "src/a.doc", k101520 - 60);  // an older file in another minute
  EXPECT_TRUE(backup::IsFileSelected(dir / "src", dir / "dst", "a.doc", "*.doc; ", true));
}

TEST(IsFileSelected, UnchangedFileIsSkippedEvenWhenMasksWouldSelectIt) {
  TempDir dir;
  WriteFile(dir / "src/a.tmp");
  WriteFile(dir / "dst/a.tmp.ZIP");
  SetMtime(dir / "src/a.tmp", k101520);
  SetMtime(dir / "dst/a.tmp.ZIP", k101520);
  EXPECT_FALSE(backup::IsFileSelected(dir / "src", dir / "dst", "a.tmp", "", false));
}

TEST(IsFileSelected, ArchiveNameKeepsTheFileNamesCase) {
  TempDir dir;
  WriteFile(dir / "src/Letter.DOC");
  WriteFile(dir / "dst/letter.doc.ZIP");  // another file's archive, not this one's
  SetMtime(dir / "src/Letter.DOC", k101520);
  SetMtime(dir / "dst/letter.doc.ZIP", k101520);
  EXPECT_TRUE(backup::IsFileSelected(dir / "src", dir / "dst", "Letter.DOC", "*.doc; ", true));
}

// Records what the walk hands to the store action.
struct Recorder {
  std::vector<std::string> stored;      // "<sourceDir>/<name> -> <targetDir>"
  std::vector<std::string> unreadable;  // "<dir>: <reason>"
  int entries = 0;
  backup::FolderWalk Walk(const std::string& masks, bool include) {
    backup::FolderWalk walk;
    walk.masks = backup::MaskList(masks);
    walk.include = include;
    walk.store = [this](const std::string& dir, const std::string& name,
                        const std::string& target) {
      stored.push_back(dir + "/" + name + " -> " + target);
    };
    walk.afterEntry = [this] { ++entries; };
    walk.unreadable = [this](const std::string& dir, std::error_code reason) {
      unreadable.push_back(dir + ": " + reason.message());
    };
    return walk;
  }
};

TEST(ProcessDirectory, WalksDepthFirstAndMirrorsEveryDirectory) {
  TempDir dir;
  const std::string src = dir / "src";
  WriteFile(src + "/a.txt");
  WriteFile(src + "/.hidden");
  WriteFile(src + "/sub/b.txt");
  WriteFile(src + "/sub/deeper/c.txt");
  fs::create_directories(src + "/empty");
  WriteFile(src + "/.cache/d.txt");
  Recorder rec;
  backup::ProcessDirectory(src, dir / "dst", rec.Walk("", false));
  std::vector<std::string> expected = {
      src + "/.hidden -> " + (dir / "dst"),
      src + "/a.txt -> " + (dir / "dst"),
      src + "/sub/b.txt -> " + (dir / "dst/sub"),
      src + "/sub/deeper/c.txt -> " + (dir / "dst/sub/deeper"),
  };
  std::sort(rec.stored.begin(), rec.stored.end());
  EXPECT_EQ(rec.stored, expected);
  EXPECT_TRUE(fs::is_directory(dir / "dst/empty"));
  EXPECT_TRUE(fs::is_directory(dir / "dst/sub/deeper"));
  EXPECT_FALSE(fs::exists(dir / "dst/.cache"));
  // One call per entry of every walked directory: src has 5, sub 2, deeper 1, empty 0.
  EXPECT_EQ(rec.entries, 8);
}

TEST(ProcessDirectory, AppliesMasksInBothModes) {
  TempDir dir;
  const std::string src = dir / "src";
  WriteFile(src + "/Letter.DOC");
  WriteFile(src + "/letter.doc.bak");
  WriteFile(src + "/a.tmp");
  WriteFile(src + "/a.b.tmp");
  Recorder inc;
  backup::ProcessDirectory(src, dir / "dst1", inc.Walk("*.doc; ", true));
  EXPECT_EQ(inc.stored, (std::vector<std::string>{src + "/Letter.DOC -> " + (dir / "dst1")}));
  Recorder exc;
  backup::ProcessDirectory(src, dir / "dst2", exc.Walk("*.tmp; ", false));
  std::sort(exc.stored.begin(), exc.stored.end());
  EXPECT_EQ(exc.stored, (std::vector<std::string>{src + "/Letter.DOC -> " + (dir / "dst2"),
                                                  src + "/a.b.tmp -> " + (dir / "dst2"),
                                                  src + "/letter.doc.bak -> " + (dir / "dst2")}));
}

TEST(ProcessDirectory, LinksToDirectoriesAreNotWalkedLinksToFilesAreStored) {
  TempDir dir;
  const std::string src = dir / "src";
  WriteFile(src + "/real/f.txt");
  WriteFile(dir / "outside/g.txt");
  fs::create_directory_symlink(src, src + "/loop");
  fs::create_directory_symlink(dir / "outside", src + "/out");
  fs::create_symlink(dir / "outside/g.txt", src + "/g-link.txt");
  fs::create_symlink(dir / "missing", src + "/dangling");
  ASSERT_EQ(mkfifo((src + "/pipe").c_str(), 0600), 0);
  Recorder rec;
  backup::ProcessDirectory(src, dir / "dst", rec.Walk("", false));
  std::sort(rec.stored.begin(), rec.stored.end());
  EXPECT_EQ(rec.stored, (std::vector<std::string>{src + "/g-link.txt -> " + (dir / "dst"),
                                                  src + "/real/f.txt -> " + (dir / "dst/real")}));
  EXPECT_FALSE(fs::exists(dir / "dst/loop"));
  EXPECT_FALSE(fs::exists(dir / "dst/out"));
}

TEST(ProcessDirectory, LeftOutDirectoriesAreNotEntered) {
  TempDir dir;
  const std::string src = dir / "src";
  WriteFile(src + "/keep/a.txt");
  WriteFile(src + "/store/old.txt.ZIP");
  Recorder rec;
  backup::FolderWalk walk = rec.Walk("", false);
  backup::DirectoryId store;
  ASSERT_TRUE(backup::GetDirectoryId(src + "/store", store));
  walk.leftOut = {store};
  backup::ProcessDirectory(src, dir / "dst", walk);
  EXPECT_EQ(rec.stored, (std::vector<std::string>{src + "/keep/a.txt -> " + (dir / "dst/keep")}));
  EXPECT_FALSE(fs::exists(dir / "dst/store"));
}

TEST(ProcessDirectory, MissingSourceCreatesTargetAndStoresNothing) {
  TempDir dir;
  Recorder rec;
  EXPECT_FALSE(backup::ProcessDirectory(dir / "nowhere", dir / "dst", rec.Walk("", false)));
  EXPECT_TRUE(rec.stored.empty());
  EXPECT_EQ(rec.entries, 0);
  EXPECT_TRUE(fs::is_directory(dir / "dst"));
  EXPECT_EQ(rec.unreadable,
            (std::vector<std::string>{(dir / "nowhere") + ": No such file or directory"}));
}

TEST(ProcessDirectory, UnreadableSubdirectoryEndsOnlyItsOwnLevel) {
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  const std::string src = dir / "src";
  WriteFile(src + "/locked/a.txt");
  WriteFile(src + "/z.txt");
  fs::permissions(src + "/locked", fs::perms::none);
  // The walk runs unprivileged; the child reports through its exit status.
  const int status = testsupport::RunUnprivileged([&] {
    Recorder rec;
    if (!backup::ProcessDirectory(src, dir / "dst", rec.Walk("", false))) return 4;
    if (rec.stored != std::vector<std::string>{src + "/z.txt -> " + (dir / "dst")}) return 1;
    if (!fs::is_directory(dir / "dst/locked")) return 2;
    // Skipped, but never without a word.
    if (rec.unreadable != std::vector<std::string>{src + "/locked: Permission denied"}) return 3;
    return 0;
  });
  EXPECT_EQ(status, 0);
}

TEST(ProcessDirectory, DirectoryThatMayBeReadButNotEnteredIsReported) {
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  const std::string src = dir / "src";
  WriteFile(src + "/listonly/a.txt");
  WriteFile(src + "/z.txt");
  fs::permissions(src + "/listonly", fs::perms::owner_read | fs::perms::others_read);
  fs::permissions(src, fs::perms::all);
  const int status = testsupport::RunUnprivileged([&] {
    Recorder rec;
    backup::ProcessDirectory(src, dir / "dst", rec.Walk("", false));
    if (rec.stored != std::vector<std::string>{src + "/z.txt -> " + (dir / "dst")}) return 1;
    if (rec.unreadable != std::vector<std::string>{src + "/listonly: Permission denied"}) return 3;
    return 0;
  });
  EXPECT_EQ(status, 0);
}

}  // namespace
