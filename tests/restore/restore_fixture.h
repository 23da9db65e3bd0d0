// Shared pieces of the restore tests: a scratch directory with a catalogue, source trees
// described as data, a backup of them in the store folder, an observer with scripted
// answers and readers of what ended up on disk.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/archiver.h"
#include "backup/observer.h"
#include "catalogue/catalogue.h"
#include "platform/file_time.h"
#include "restore/restore_run.h"
#include "tests/support/files.h"

namespace restore_test {

// One file of a source tree: its path below the tree's root, its bytes and its times.
// MakeTree gives every file a distinct last-access time two days ahead, so that reading a
// file does not move it (relatime moves one that is not later than the file's change time).
struct TreeFile {
  std::string path;
  std::string content;
  platform::FileTime lastWrite = 0;
  platform::FileTime lastAccess = 0;  // filled in by MakeTree
};

// A FileTime from UTC calendar fields, computed with timegm (independent of our code).
platform::FileTime UtcTime(int year, int month, int day, int hour, int minute, int second,
                           int hundredNanoseconds = 0);

// The file's bytes; a missing file fails the test.
std::string ReadBytes(const std::string& path);
using testsupport::WriteText;
platform::FileTimes TimesOf(const std::string& path);
void SetTimes(const std::string& path, platform::FileTime lastAccess, platform::FileTime lastWrite);

// The unpacker the tests run the engine with, and the archiver the backup run stores with.
std::unique_ptr<restore::ArchiveUnpacker> MakeUnpacker();
std::unique_ptr<backup::Archiver> MakeArchiver();

class NullBackupObserver : public backup::BackupObserver {
 public:
  void RunStarted(const std::string& project, int folderCount) override;
  void FolderStarted(const std::string& path) override;
  void FileAttempted(const std::string& filePath) override;
  void FolderFinished() override;
  void RunFinished(const std::string& project) override;
  void PumpMessages() override;
  bool CancelRequested() override;
  void ShowMessage(const std::string& text) override;
};

// Everything below root: "d name/" for directories, "f name" for files, sorted.
std::vector<std::string> TreeListing(const std::string& root);

// What the run told the observer, in order, as short texts.
class ScriptedObserver : public restore::RestoreObserver {
 public:
  std::deque<restore::ReplaceAnswer> answers;  // taken one per question
  // Runs while the question of that number (1 for the first) is asked: the user acting
  // on the files while the run waits.
  std::function<void(int question)> whileAsked;
  std::vector<std::string> questions;
  std::vector<std::string> errors;
  std::vector<std::string> folders;   // FolderStarted
  std::vector<std::string> archives;  // ArchiveStarted
  std::vector<std::string> failures;  // ArchiveFailed: "<archive path>: <reason>"
  int progressMax = -1;
  int progressSteps = 0;
  int pumps = 0;

  void ProgressStarted(int folderCount) override;
  void FolderStarted(const std::string& sourcePath) override;
  void ArchiveStarted(const std::string& targetAndArchive) override;
  void FolderFinished() override;
  void ProcessMessages() override;
  void ShowError(const std::string& text) override;
  restore::ReplaceAnswer AskReplace(const std::string& question) override;
  void ArchiveFailed(const std::string& archivePath, const std::string& reason) override;
};

class RestoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Absolute path below the scratch directory.
  std::string Path(const std::string& relative) const;
  // Creates the files (and their directories) of a tree under root, with their times, and
  // returns the files with their last-access times filled in.
  std::vector<TreeFile> MakeTree(const std::string& root, std::vector<TreeFile> files);
  // Backs up every file of sourceFolder into the store folder with the backup run: one
  // single-entry archive per file at the placement rule's location, carrying the file's
  // times. The backup's log entries are cleared afterwards.
  void BackUp(const std::string& sourceFolder);
  // The log texts written so far, oldest first.
  std::vector<std::string> LogTexts();
  // Runs a whole restore of project "P".
  void Run(restore::RestoreRequest request);
  // Expects every file of files under root with its bytes and the times it was created with.
  void ExpectTree(const std::string& root, const std::vector<TreeFile>& files);

  testsupport::TempDir scratch_;  // first in, last out: everything below lives in it
  std::string store_;
  catalogue::TCatalogue catalogue_;
  ScriptedObserver observer_;
  std::unique_ptr<restore::ArchiveUnpacker> unpacker_;
  std::unique_ptr<restore::TRestoreRun> run_;
  platform::FileTime nextAccess_ = 0;
};

}  // namespace restore_test
