// Protects file selection: the wildcard rule (whose "first occurrence only" star is easy to
// "fix" by accident into a backtracking matcher), the minute comparison that makes runs
// incremental and restores by "Refresh" exact, the mask list split including cut and empty
// masks, and the decision for one file against its archive.
#include "store/selection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace fs = std::filesystem;
using testsupport::SetMtime;
using testsupport::TempDir;
using testsupport::WriteText;
using store::MatchMask;

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
  EXPECT_EQ(store::SameFileMinute(c.a, c.b), c.same) << c.what;
  EXPECT_EQ(store::SameFileMinute(c.b, c.a), c.same) << c.what << " (swapped)";
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
  const store::MaskList masks("*.doc; *.xls; ");
  EXPECT_EQ(masks.Masks(), (std::vector<std::string>{"*.DOC", "*.XLS"}));
  EXPECT_TRUE(masks.AnyMatches("LETTER.DOC"));
  EXPECT_TRUE(masks.AnyMatches("SHEET.XLS"));
  EXPECT_FALSE(masks.AnyMatches("NOTES.TXT"));
}

TEST(MaskList, EmptyTextHasNoMasks) {
  const store::MaskList masks("");
  EXPECT_TRUE(masks.Masks().empty());
  EXPECT_FALSE(masks.AnyMatches("A.TXT"));
}

TEST(MaskList, RestWithoutSeparatorIsOneMoreMask) {
  // What remains of a mask list cut at its capacity in the middle of its last mask.
  const store::MaskList masks("*.doc; *.tx");
  EXPECT_EQ(masks.Masks(), (std::vector<std::string>{"*.DOC", "*.TX"}));
  EXPECT_TRUE(masks.AnyMatches("A.TX"));
  EXPECT_FALSE(masks.AnyMatches("A.TXT"));
}

TEST(MaskList, EmptyMaskMatchesNothing) {
  const store::MaskList masks("; *.doc; ; ");
  EXPECT_EQ(masks.Masks(), (std::vector<std::string>{"", "*.DOC", ""}));
  EXPECT_FALSE(masks.AnyMatches(""));
  EXPECT_FALSE(masks.AnyMatches("A.TXT"));
  EXPECT_TRUE(masks.AnyMatches("A.DOC"));
}

TEST(MaskList, FoldsNonAsciiCase) {
  const store::MaskList masks("über*; ");
  EXPECT_TRUE(masks.AnyMatches("ÜBERSICHT.ODT"));
}

constexpr long long k101520 = 1709633720;  // 2024-03-05 10:15:20 UTC

TEST(IsFileSelected, MissingArchiveSelectsByMask) {
  TempDir dir;
  WriteText(dir / "src/a.doc", "x");
  WriteText(dir / "src/a.txt", "x");
  fs::create_directories(dir / "dst");
  EXPECT_TRUE(store::IsFileSelected(dir / "src", dir / "dst", "a.doc", "*.DOC; ", true));
  EXPECT_FALSE(store::IsFileSelected(dir / "src", dir / "dst", "a.txt", "*.DOC; ", true));
  EXPECT_FALSE(store::IsFileSelected(dir / "src", dir / "dst", "a.doc", "*.doc; ", false));
  EXPECT_TRUE(store::IsFileSelected(dir / "src", dir / "dst", "a.txt", "*.doc; ", false));
}

TEST(IsFileSelected, ArchiveOfTheSameMinuteMeansUnchanged) {
  TempDir dir;
  WriteText(dir / "src/a.doc", "x");
  WriteText(dir / "dst/a.doc.ZIP", "x");
  SetMtime(dir / "src/a.doc", k101520 + 30);  // 10:15:50
  SetMtime(dir / "dst/a.doc.ZIP", k101520);   // 10:15:20
  EXPECT_FALSE(store::IsFileSelected(dir / "src", dir / "dst", "a.doc", "*.doc; ", true));
  SetMtime(dir / "src/a.doc", k101520 + 45);  // 10:16:05
  EXPECT_TRUE(store::IsFileSelected(dir / "src", dir / "dst", "a.doc", "*.doc; ", true));
  SetMtime(dir / "src/a.doc", k101520 - 60);  // an older file in another minute
  EXPECT_TRUE(store::IsFileSelected(dir / "src", dir / "dst", "a.doc", "*.doc; ", true));
}

TEST(IsFileSelected, UnchangedFileIsSkippedEvenWhenMasksWouldSelectIt) {
  TempDir dir;
  WriteText(dir / "src/a.tmp", "x");
  WriteText(dir / "dst/a.tmp.ZIP", "x");
  SetMtime(dir / "src/a.tmp", k101520);
  SetMtime(dir / "dst/a.tmp.ZIP", k101520);
  EXPECT_FALSE(store::IsFileSelected(dir / "src", dir / "dst", "a.tmp", "", false));
}

TEST(IsFileSelected, ArchiveNameKeepsTheFileNamesCase) {
  TempDir dir;
  WriteText(dir / "src/Letter.DOC", "x");
  WriteText(dir / "dst/letter.doc.ZIP", "x");  // another file's archive, not this one's
  SetMtime(dir / "src/Letter.DOC", k101520);
  SetMtime(dir / "dst/letter.doc.ZIP", k101520);
  EXPECT_TRUE(store::IsFileSelected(dir / "src", dir / "dst", "Letter.DOC", "*.doc; ", true));
}

}  // namespace
