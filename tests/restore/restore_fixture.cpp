#include "restore_fixture.h"

#include <ctime>
#include <filesystem>

#include "backup/backup_run.h"
#include "platform/file_system.h"

namespace fs = std::filesystem;

namespace restore_test {

namespace {

constexpr platform::FileTime kUnitsPerSecond = 10'000'000;

}  // namespace

platform::FileTime UtcTime(int year, int month, int day, int hour, int minute, int second,
                           int hundredNanoseconds) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  const std::time_t unixSeconds = timegm(&fields);
  return platform::kUnixEpochAsFileTime +
         static_cast<platform::FileTime>(unixSeconds) * kUnitsPerSecond +
         static_cast<platform::FileTime>(hundredNanoseconds);
}

std::string ReadBytes(const std::string& path) {
  EXPECT_TRUE(fs::is_regular_file(path)) << "cannot read " << path;
  return testsupport::ReadText(path);
}

platform::FileTimes TimesOf(const std::string& path) {
  platform::FileTimes times;
  EXPECT_FALSE(platform::ReadFileTimes(path, times)) << "no times for " << path;
  return times;
}

void SetTimes(const std::string& path, platform::FileTime lastAccess,
              platform::FileTime lastWrite) {
  ASSERT_FALSE(platform::WriteFileTimes(path, lastAccess, lastWrite)) << path;
}

std::vector<std::string> TreeListing(const std::string& root) {
  std::vector<std::string> listing;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    listing.push_back(entry.is_directory() ? "d " + relative + "/" : "f " + relative);
  }
  std::sort(listing.begin(), listing.end());
  return listing;
}

void NullBackupObserver::RunStarted(const std::string&, int) {}
void NullBackupObserver::FolderStarted(const std::string&) {}
void NullBackupObserver::FileAttempted(const std::string&) {}
void NullBackupObserver::FolderFinished() {}
void NullBackupObserver::RunFinished(const std::string&) {}
void NullBackupObserver::PumpMessages() {}
bool NullBackupObserver::CancelRequested() { return false; }
void NullBackupObserver::ShowMessage(const std::string& text) {
  ADD_FAILURE() << "backup message: " << text;
}

void ScriptedObserver::ProgressStarted(int folderCount) {
  progressMax = folderCount;
  progressSteps = 0;
}
void ScriptedObserver::FolderStarted(const std::string& sourcePath) {
  folders.push_back(sourcePath);
}
void ScriptedObserver::ArchiveStarted(const std::string& targetAndArchive) {
  archives.push_back(targetAndArchive);
}
void ScriptedObserver::FolderFinished() { ++progressSteps; }
void ScriptedObserver::ProcessMessages() { ++pumps; }
void ScriptedObserver::ShowError(const std::string& text) { errors.push_back(text); }
void ScriptedObserver::ArchiveFailed(const std::string& archivePath, const std::string& reason) {
  failures.push_back(archivePath + ": " + reason);
}

restore::ReplaceAnswer ScriptedObserver::AskReplace(const std::string& question) {
  questions.push_back(question);
  if (whileAsked) whileAsked(static_cast<int>(questions.size()));
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << question;
    return restore::ReplaceAnswer::No;
  }
  const restore::ReplaceAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

void RestoreTest::SetUp() {
  store_ = Path("store");
  fs::create_directories(store_);
  ASSERT_TRUE(catalogue_.OpenCatalogue(Path("Rpoject.vrn"), Path("Folder.vrn"), Path("Log.vrn")));
  ASSERT_TRUE(catalogue_.AddProject("P", store_, false));
  unpacker_ = MakeUnpacker();
  run_ = std::make_unique<restore::TRestoreRun>(catalogue_, *unpacker_, observer_);
  // Setting times moves a file's change time to now, and under relatime the next read
  // then moves a last-access time that is not later than it. Times in the future stay.
  nextAccess_ = platform::UnixToFileTime(std::time(nullptr) + 2 * 86400, 0) + 1234567;
}

void RestoreTest::TearDown() {
  run_.reset();
  catalogue_.CloseCatalogue();
}

std::string RestoreTest::Path(const std::string& relative) const {
  return scratch_.File(relative);
}

std::vector<TreeFile> RestoreTest::MakeTree(const std::string& root, std::vector<TreeFile> files) {
  fs::create_directories(root);
  for (TreeFile& file : files) {
    if (file.path.back() == '/') {
      fs::create_directories(root + "/" + file.path);
      continue;
    }
    WriteText(root + "/" + file.path, file.content);
    file.lastAccess = nextAccess_;
    nextAccess_ += 7 * kUnitsPerSecond + 1;
    SetTimes(root + "/" + file.path, file.lastAccess, file.lastWrite);
  }
  return files;
}

void RestoreTest::BackUp(const std::string& sourceFolder) {
  // The backup run itself lays out the store folder and gives each archive its file's
  // times; its log entries are not what the restore tests look at.
  NullBackupObserver observer;
  std::unique_ptr<backup::Archiver> archiver = MakeArchiver();
  backup::BackupRun run(catalogue_, *archiver, observer);
  run.ProcessFolder(store_, sourceFolder, "*; ", true, false, 6);
  ASSERT_EQ(run.Totals().failed, 0);
  catalogue_.ClearLog();
}

std::vector<std::string> RestoreTest::LogTexts() {
  std::vector<std::string> lines;
  catalogue_.LoadLog(&lines);
  std::vector<std::string> texts;
  for (const std::string& line : lines) {
    const std::size_t gap = line.find("   ");
    texts.push_back(gap == std::string::npos ? line : line.substr(gap + 3));
  }
  return texts;
}

void RestoreTest::Run(restore::RestoreRequest request) {
  request.projectName = "P";
  run_->Run(request);
}

void RestoreTest::ExpectTree(const std::string& root, const std::vector<TreeFile>& files) {
  for (const TreeFile& file : files) {
    const std::string path = root + "/" + file.path;
    if (file.path.back() == '/') {
      EXPECT_TRUE(fs::is_directory(path)) << path;
      continue;
    }
    // Times first: reading the bytes must not be what the times are compared after.
    const platform::FileTimes times = TimesOf(path);
    EXPECT_EQ(times.lastWrite, file.lastWrite) << path;
    EXPECT_EQ(times.lastAccess, file.lastAccess) << path;
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes.size(), file.content.size()) << path;
    EXPECT_TRUE(bytes == file.content) << path << " differs from its source";
  }
}

}  // namespace restore_test
