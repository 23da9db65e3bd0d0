// Protects the event log: entries keep the order they were added in (whatever the clock
// does), texts are cut to 100 bytes, a line at exactly midnight shows the date alone, and
// LoadLog appends to what the list already holds. The line's time text itself belongs to
// the platform layer; here it is compared with the date of the same day at noon.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/clock.h"
#include "tests/catalogue/catalogue_test_util.h"

namespace catalogue {
namespace {

using catalogue_test::FileSize;
using catalogue_test::ReadAll;
using catalogue_test::TempDir;
using catalogue_test::WriteAll;

class LogTest : public catalogue_test::OpenCatalogueTest {
 protected:
  LogTest() { clock_ = 46000.5; }
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    catalogue_->LoadLog(&lines);
    return lines;
  }
};

TEST_F(LogTest, EmptyLogGivesNoLines) { EXPECT_TRUE(Lines().empty()); }

TEST_F(LogTest, AbsentListIsAccepted) {
  catalogue_->AddLogEntry("x");
  EXPECT_NO_THROW(catalogue_->LoadLog(nullptr));
}

TEST_F(LogTest, EntryIsOneRecordWrittenAtOnce) {
  clock_ = 46000.0;
  catalogue_->AddLogEntry("Process comleted!");
  std::vector<std::uint8_t> expected(109, 0);
  catalogue_test::Put(expected, 0, {0x00, 0x00, 0x00, 0x00, 0x00, 0x76, 0xe6, 0x40});
  catalogue_test::Put(expected, 8, {17});
  catalogue_test::PutText(expected, 9, "Process comleted!");
  EXPECT_EQ(ReadAll(LogPath()), expected);
}

TEST_F(LogTest, LineIsTimestampThreeBlanksAndText) {
  catalogue_->AddLogEntry("Started");
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], platform::TimestampText(46000.5) + "   Started");
}

TEST_F(LogTest, EntryAtExactlyMidnightShowsTheDateAlone) {
  const std::string noonText = platform::TimestampText(46000.5);
  const std::string dateAlone = noonText.substr(0, noonText.find(' '));
  ASSERT_LT(dateAlone.size(), noonText.size()) << "noon must show a time";
  clock_ = 46000.0;  // 2025-12-09 00:00:00
  catalogue_->AddLogEntry("midnight");
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], dateAlone + "   midnight");
}

TEST_F(LogTest, TextOf150CharactersIsCutTo100) {
  const std::string text = std::string(100, 'a') + std::string(50, 'b');
  catalogue_->AddLogEntry(text);
  const auto bytes = ReadAll(LogPath());
  ASSERT_EQ(bytes.size(), 109u);
  EXPECT_EQ(bytes[8], 100);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 101), " " + std::string(100, 'a'));
}

TEST_F(LogTest, LoadLogAppendsAfterExistingLines) {
  catalogue_->AddLogEntry("one");
  catalogue_->AddLogEntry("two");
  std::vector<std::string> lines{"already here"};
  catalogue_->LoadLog(&lines);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "already here");
  EXPECT_TRUE(lines[1].ends_with("   one"));
  EXPECT_TRUE(lines[2].ends_with("   two"));
}

TEST_F(LogTest, EntriesKeepTheirOrderWhenTheClockGoesBack) {
  clock_ = 46001.5;
  catalogue_->AddLogEntry("first");
  clock_ = 45000.5;
  catalogue_->AddLogEntry("second");
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], platform::TimestampText(46001.5) + "   first");
  EXPECT_EQ(lines[1], platform::TimestampText(45000.5) + "   second");
}

// The window and a scheduled run may write one log at once: each append lands behind the
// other's, whether or not the other program cleared the log or read it meanwhile.
TEST_F(LogTest, TwoProgramsAppendingInTurnLoseNoEntry) {
  TCatalogue other([this] { return clock_; });
  ASSERT_TRUE(other.OpenCatalogue(dir_.File("Rpoject.vrn"), dir_.File("Folder.vrn"), LogPath()));
  catalogue_->AddLogEntry("a1");
  other.AddLogEntry("b1");
  catalogue_->AddLogEntry("a2");
  catalogue_->AddLogEntry("a3");
  other.AddLogEntry("b2");
  catalogue_->AddLogEntry("a4");
  std::vector<std::string> lines;
  other.LoadLog(&lines);
  ASSERT_EQ(lines.size(), 6u);
  const char* expected[] = {"a1", "b1", "a2", "a3", "b2", "a4"};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(lines[i].ends_with(std::string("   ") + expected[i])) << lines[i];
  }
  other.ClearLog();
  other.AddLogEntry("b3");
  catalogue_->AddLogEntry("a5");
  const auto after = Lines();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_TRUE(after[0].ends_with("   b3"));
  EXPECT_TRUE(after[1].ends_with("   a5"));
  EXPECT_EQ(FileSize(LogPath()), 2 * 109u);
}

// Kept entries wait for the log's next write and then go out together, in their order and
// with the times they were made, behind whatever another program appended meanwhile.
TEST_F(LogTest, KeptEntriesGoOutTogetherWithTheNextWriteInTheirOrder) {
  clock_ = 46001.5;
  catalogue_->KeepLogEntry("a");
  clock_ = 45000.5;
  catalogue_->KeepLogEntry("b");
  EXPECT_EQ(FileSize(LogPath()), 0u);
  EXPECT_EQ(catalogue_->KeptLogEntries(), 2u);
  clock_ = 46002.5;
  catalogue_->AddLogEntry("c");
  EXPECT_EQ(catalogue_->KeptLogEntries(), 0u);
  auto lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], platform::TimestampText(46001.5) + "   a");
  EXPECT_EQ(lines[1], platform::TimestampText(45000.5) + "   b");
  EXPECT_EQ(lines[2], platform::TimestampText(46002.5) + "   c");

  // Reading the log shows what is kept; another program's entry comes before what is
  // flushed after it.
  catalogue_->KeepLogEntry("d");
  EXPECT_EQ(Lines().size(), 4u);
  catalogue_->KeepLogEntry("e");
  TCatalogue other([this] { return clock_; });
  ASSERT_TRUE(other.OpenCatalogue(dir_.File("Rpoject.vrn"), dir_.File("Folder.vrn"), LogPath()));
  other.AddLogEntry("x");
  catalogue_->FlushLog();
  catalogue_->KeepLogEntry("f");
  catalogue_->CloseCatalogue();  // writes what is kept
  std::vector<std::string> all;
  other.LoadLog(&all);
  ASSERT_EQ(all.size(), 7u);
  EXPECT_TRUE(all[4].ends_with("   x"));
  EXPECT_TRUE(all[5].ends_with("   e"));
  EXPECT_TRUE(all[6].ends_with("   f"));
  EXPECT_EQ(FileSize(LogPath()), 7 * 109u);
}

TEST_F(LogTest, ClearLogEmptiesOnlyTheLog) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/src", "", true, 6));
  catalogue_->AddLogEntry("old");
  catalogue_->ClearLog();
  EXPECT_EQ(FileSize(LogPath()), 0u);
  EXPECT_TRUE(Lines().empty());
  catalogue_->AddLogEntry("new");
  EXPECT_EQ(FileSize(LogPath()), 109u);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with("   new"));
  EXPECT_EQ(FileSize(dir_.File("Rpoject.vrn")), 321u);
  EXPECT_EQ(FileSize(dir_.File("Folder.vrn")), 372u);
}

// A partial last entry (a write cut short) makes reading fail; a new entry is written
// over the partial one at the first incomplete record, so the file is whole again and
// nothing lands behind the damaged bytes.
TEST_F(LogTest, TrailingIncompleteEntry) {
  catalogue_->AddLogEntry("whole");
  catalogue_->CloseCatalogue();
  auto bytes = ReadAll(LogPath());
  bytes.resize(109 + 40, 0x33);
  WriteAll(LogPath(), bytes);
  ASSERT_TRUE(Open());

  std::vector<std::string> lines;
  try {
    catalogue_->LoadLog(&lines);
    FAIL() << "no error";
  } catch (const ECatalogueError& e) {
    EXPECT_EQ(e.Code(), std::make_error_code(std::errc::io_error));
    EXPECT_NE(std::string(e.what()).find("Log.vrn"), std::string::npos) << e.what();
    EXPECT_TRUE(e.Damaged());
  }
  catalogue_->AddLogEntry("after");
  EXPECT_EQ(FileSize(LogPath()), 2u * 109u);
  const auto loaded = Lines();
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_TRUE(loaded[0].ends_with("   whole"));
  EXPECT_TRUE(loaded[1].ends_with("   after"));
}

}  // namespace
}  // namespace catalogue

namespace catalogue {
namespace {

// A write the system refuses (here: a full device) is raised with the system's code and
// the file's name, so the general error box can say what went wrong where.
TEST(LogWriteFailure, RaisesTheSystemErrorNamingTheFile) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  catalogue_test::TempDir dir;
  TCatalogue catalogue;
  ASSERT_TRUE(
      catalogue.OpenCatalogue(dir.File("Rpoject.vrn"), dir.File("Folder.vrn"), "/dev/full"));
  try {
    catalogue.AddLogEntry("no room");
    FAIL() << "no error";
  } catch (const ECatalogueError& e) {
    EXPECT_EQ(e.Code(), std::make_error_code(std::errc::no_space_on_device));
    EXPECT_EQ(e.FileName(), "/dev/full");
    EXPECT_NE(std::string(e.what()).find("Write error"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("/dev/full"), std::string::npos) << e.what();
    EXPECT_FALSE(e.Damaged()) << "a full disk is no damage to the catalogue";
  }
}

// A disk that fills up in the middle of a record: the part that was written is cut off
// again, so the log stays a whole number of records and the next entry follows the last
// whole one. The file size limit (RLIMIT_FSIZE) of a child process plays the full disk: a
// write that crosses it writes up to the limit, the next one fails with EFBIG.
TEST(LogWriteFailure, RecordCutShortByAFullDiskIsTakenBackOff) {
  catalogue_test::TempDir dir;
  const std::string log = dir.File("Log.vrn");
  {
    TCatalogue catalogue;
    ASSERT_TRUE(catalogue.OpenCatalogue(dir.File("Rpoject.vrn"), dir.File("Folder.vrn"), log));
    catalogue.AddLogEntry("one");
    catalogue.AddLogEntry("two");
    catalogue.CloseCatalogue();
  }
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{2 * 109 + 40, 2 * 109 + 40};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
    TCatalogue catalogue;
    if (!catalogue.OpenCatalogue(dir.File("Rpoject.vrn"), dir.File("Folder.vrn"), log)) _exit(11);
    try {
      catalogue.AddLogEntry("three does not fit");
      _exit(12);
    } catch (const ECatalogueError& e) {
      if (e.Code() != std::make_error_code(std::errc::file_too_large)) _exit(13);
      if (e.Damaged()) _exit(14);
    }
    _exit(0);
  }
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(FileSize(log), 2u * 109u);

  // Kept entries that do not all fit: none of them stays, and they are not written again.
  const pid_t batch = fork();
  ASSERT_GE(batch, 0);
  if (batch == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4 * 109 + 40, 4 * 109 + 40};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
    TCatalogue catalogue;
    if (!catalogue.OpenCatalogue(dir.File("Rpoject.vrn"), dir.File("Folder.vrn"), log)) _exit(11);
    for (const char* text : {"k1", "k2", "k3"}) catalogue.KeepLogEntry(text);
    try {
      catalogue.FlushLog();
      _exit(12);
    } catch (const ECatalogueError& e) {
      if (e.Code() != std::make_error_code(std::errc::file_too_large)) _exit(13);
    }
    if (catalogue.KeptLogEntries() != 0) _exit(14);
    catalogue.CloseCatalogue();
    _exit(0);
  }
  ASSERT_EQ(waitpid(batch, &status, 0), batch);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(FileSize(log), 2u * 109u);

  TCatalogue catalogue;
  ASSERT_TRUE(catalogue.OpenCatalogue(dir.File("Rpoject.vrn"), dir.File("Folder.vrn"), log));
  catalogue.AddLogEntry("three");
  std::vector<std::string> lines;
  catalogue.LoadLog(&lines);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[2].ends_with("   three"));
}

}  // namespace
}  // namespace catalogue
