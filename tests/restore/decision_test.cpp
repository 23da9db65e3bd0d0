// Protects the per-archive decision of the restore run and the archive-name rules: which
// option unpacks which file, when the user is asked, and that the minute test ignores
// seconds but not the minute. A wrong row here silently overwrites a newer file or leaves
// an outdated one, so every case is a hand-written row.
#include <gtest/gtest.h>

#include "restore/restore_run.h"
#include "restore_fixture.h"

namespace {

using restore::DecideByOption;
using restore::RestoreOption;
using restore_test::UtcTime;

struct DecisionCase {
  const char* name;
  RestoreOption option;
  bool prompt;
  platform::FileTime archive;
  platform::FileTime target;  // 0: no file at the target
  bool unpack;
  bool asks;
};

const platform::FileTime k100500 = UtcTime(2021, 3, 4, 10, 5, 0);
const platform::FileTime k100559 = UtcTime(2021, 3, 4, 10, 5, 59, 9999999);
const platform::FileTime k100601 = UtcTime(2021, 3, 4, 10, 6, 1);
const platform::FileTime k100459 = UtcTime(2021, 3, 4, 10, 4, 59);
const platform::FileTime kNextDay = UtcTime(2021, 3, 5, 10, 5, 0);
const platform::FileTime kNextYear = UtcTime(2022, 3, 4, 10, 5, 30);

class DecisionTest : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(DecisionTest, Row) {
  const DecisionCase& c = GetParam();
  const restore::UnpackDecision d = DecideByOption(c.option, c.prompt, c.archive, c.target);
  EXPECT_EQ(d.unpack, c.unpack);
  EXPECT_EQ(d.needsQuestion, c.asks);
}

INSTANTIATE_TEST_SUITE_P(
    Options, DecisionTest,
    ::testing::Values(
        // Rewrite all: every archive, asked when prompting, even with no target.
        DecisionCase{"RewriteMissingPrompt", RestoreOption::RewriteAll, true, k100500, 0, true,
                     true},
        DecisionCase{"RewriteSameMinutePrompt", RestoreOption::RewriteAll, true, k100500, k100559,
                     true, true},
        DecisionCase{"RewriteNoPrompt", RestoreOption::RewriteAll, false, k100500, k100500, true,
                     false},
        // Append missed: only a missing target, never asked.
        DecisionCase{"AppendMissing", RestoreOption::AppendMissed, true, k100500, 0, true, false},
        DecisionCase{"AppendOlder", RestoreOption::AppendMissed, true, k100500, k100459, false,
                     false},
        DecisionCase{"AppendNewer", RestoreOption::AppendMissed, false, k100500, kNextYear, false,
                     false},
        // Refresh: the minute decides; seconds and below do not.
        DecisionCase{"RefreshSameMinute", RestoreOption::Refresh, true, k100500, k100559, false,
                     false},
        DecisionCase{"RefreshSameMinuteReversed", RestoreOption::Refresh, false, k100559, k100500,
                     false, false},
        DecisionCase{"RefreshNextMinute", RestoreOption::Refresh, false, k100559, k100601, true,
                     false},
        DecisionCase{"RefreshOlderPrompt", RestoreOption::Refresh, true, k100500, k100459, true,
                     true},
        DecisionCase{"RefreshNewerPrompt", RestoreOption::Refresh, true, k100500, k100601, true,
                     true},
        DecisionCase{"RefreshSameClockOtherDay", RestoreOption::Refresh, false, k100500, kNextDay,
                     true, false},
        DecisionCase{"RefreshMissing", RestoreOption::Refresh, false, k100500, 0, true, false}),
    [](const ::testing::TestParamInfo<DecisionCase>& info) { return info.param.name; });

TEST(ArchiveName, ExtensionIsZipInAnyCase) {
  EXPECT_TRUE(restore::IsArchiveName("report.doc.ZIP"));
  EXPECT_TRUE(restore::IsArchiveName("notes.zip"));
  EXPECT_TRUE(restore::IsArchiveName("notes.Zip"));
  EXPECT_TRUE(restore::IsArchiveName(".ZIP"));
  EXPECT_FALSE(restore::IsArchiveName("notes.txt"));
  EXPECT_FALSE(restore::IsArchiveName("notes.zip.txt"));
  EXPECT_FALSE(restore::IsArchiveName("ZIP"));
  EXPECT_FALSE(restore::IsArchiveName("notes.zipx"));
  EXPECT_FALSE(restore::IsArchiveName("notes_ZIP"));
}

TEST(ArchiveName, TargetIsNameWithoutItsLastFourCharacters) {
  EXPECT_EQ(restore::TargetNameOf("report.doc.ZIP"), "report.doc");
  EXPECT_EQ(restore::TargetNameOf("notes.zip"), "notes");
  EXPECT_EQ(restore::TargetNameOf("a.tar.gz.ZIP"), "a.tar.gz");
  EXPECT_EQ(restore::TargetNameOf("\xC3\x9C.ZIP"), "\xC3\x9C");
}

TEST(Texts, QuotedAsTheUserSeesThem) {
  EXPECT_EQ(restore::RestoringFolderLog("/d/T"), "Restoring folder \"/d/T\"...");
  EXPECT_EQ(restore::FolderRestoredLog("/d/T"), "Folder \"/d/T\" restored.");
  EXPECT_EQ(restore::FolderFailedLog("/d/T"), "Unable to restore folder \"/d/T\"!");
  EXPECT_EQ(restore::UnpackedLog("a.ZIP"), "File \"a.ZIP\" was unpacked.");
  EXPECT_EQ(restore::UnpackErrorLog("a.ZIP"), "Error unpacking file \"a.ZIP\"!");
  EXPECT_EQ(restore::ReplaceQuestion("/d/T/a"), "Are you want to replace file \"/d/T/a\"?");
}

}  // namespace
