#include "backup/backup_run.h"

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "backup/walk.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/file_time.h"
#include "store/placement.h"

namespace backup {
namespace {

// Files in flight per worker: enough that the other workers go on while the run thread
// waits for one large file at the head of the line (with 4, two workers idled for a sixth
// of a backup of mixed sizes), few enough that the results held are small.
constexpr std::size_t kInFlightPerWorker = 16;
// The log lines of stored files go out this many at a time (and whenever a folder ends or
// anything else is logged or shown): one write instead of one per file.
constexpr std::size_t kLogLinesAtOnce = 16;

// True when path lies strictly below dir (both absolute and folded).
bool IsBelow(const std::string& path, const std::string& dir) {
  if (path.size() <= dir.size() || path.compare(0, dir.size(), dir) != 0) return false;
  return dir.back() == '/' || path[dir.size()] == '/';
}

}  // namespace

std::string RunStartText(const std::string& project) {
  return "Starting process for \"" + project + "\"...";
}
std::string FolderStartText(const std::string& path) {
  return "Processing folder \"" + path + "\"...";
}
std::string FileStoredText(const std::string& filePath) {
  return "File \"" + filePath + "\" was succefully stored.";  // sic: see backup_run.h
}
std::string FileNotStoredText(const std::string& filePath) {
  return "Can't store file \"" + filePath + "\"!";
}
std::string FolderEndText(const std::string& path) { return "Folder \"" + path + "\" processed."; }
std::string FileChangedText(const std::string& filePath) {
  return "File \"" + filePath + "\" changed while being stored!";
}
std::string FolderNotReadText(const std::string& path) {
  return "Can't read folder \"" + path + "\"!";
}
std::string UnableToProcessText(const std::string& targetPath) {
  return "Unable to process file \"" + targetPath + "\"";
}
std::string UnableToProcessFolderText(const std::string& path) {
  return "Unable to process folder \"" + path + "\"";
}
std::string StoreFailureLine(const std::string& filePath, const std::string& reason) {
  return "Can't store file \"" + filePath + "\": " + reason;
}
std::string FolderFailureLine(const std::string& path, const std::string& reason) {
  return "Can't read folder \"" + path + "\": " + reason;
}

bool FileChangedWhileRead(const platform::FileInfo& before, const platform::FileInfo& after) {
  return before.size != after.size || before.lastWriteNs != after.lastWriteNs ||
         !platform::SameObject(before, after);
}

struct BackupRun::PendingStore : Pool::Task {
  std::shared_ptr<const WalkLevel> dirs;
  std::string name;
  std::string filePath;
  std::string archivePath;
  int level = 0;
  bool raiseErrors = false;
  std::string targetPath;
  // Written by the worker; read by the run thread once the pool says the task is done.
  StoreOutcome outcome;
  std::exception_ptr error;

  void Run(Archiver& archiver) noexcept override {
    try {
      outcome = PrepareArchive(archiver, *dirs, name, level);
    } catch (...) {
      error = std::current_exception();
    }
  }
};

BackupRun::BackupRun(catalogue::TCatalogue& catalogue, Archiver& archiver, BackupObserver& observer)
    : catalogue_(catalogue), archiver_(archiver), observer_(observer) {}

BackupRun::~BackupRun() {
  if (!pending_.empty()) AbandonPending();
}

void BackupRun::SetWorkers(int count, std::function<std::unique_ptr<Archiver>()> make) {
  pool_.reset();
  workers_ = count < 1 ? 1 : count;
  makeArchiver_ = std::move(make);
}

void BackupRun::ProcessProject(const std::string& project) {
  catalogue_.AddLogEntry(RunStartText(project));
  catalogue::TProjectRecord projectRecord;
  if (!catalogue_.GetProject(project, projectRecord)) {
    RefuseProject(store::UnknownProjectText(project));
    return;
  }
  if (const store::StoreFolderProblem problem = store::CheckStoreFolder(projectRecord.StoreFolder);
      problem != store::StoreFolderProblem::None) {
    RefuseProject(store::StoreFolderRefusalText(project, projectRecord.StoreFolder, problem));
    return;
  }
  observer_.RunStarted(project, catalogue_.CountFolders(project));
  try {
    catalogue::TFolderRecord folder;
    for (bool found = catalogue_.FirstFolder(project, folder); found;
         found = catalogue_.NextFolder(project, folder)) {
      if (observer_.CancelRequested()) break;
      observer_.FolderStarted(folder.Path);
      catalogue_.AddLogEntry(FolderStartText(folder.Path));
      // A source folder that cannot be read (an unmounted disk) is neither processed nor
      // stored: its failure is logged in its place. Every other folder reached counts as
      // stored, whatever happened to its files: their failures are in the log, and failed
      // files are selected again next run.
      if (ProcessFolder(projectRecord.StoreFolder, folder.Path, folder.Masks, folder.Include,
                        projectRecord.RaiseErrors, folder.Level)) {
        catalogue_.MarkFolderStored(project, folder.Path);
        catalogue_.AddLogEntry(FolderEndText(folder.Path));
      }
      observer_.FolderFinished();
      observer_.PumpMessages();
    }
  } catch (...) {
    observer_.RunFinished(project);
    throw;
  }
  observer_.RunFinished(project);
  catalogue_.AddLogEntry(kRunEndText);
  catalogue_.AddLogEntry("");  // separates runs in the log
}

void BackupRun::RefuseProject(const std::string& text) {
  ++totals_.projectsRefused;
  catalogue_.AddLogEntry(text);
  catalogue_.AddLogEntry("");
  observer_.ShowError(text);
}

void BackupRun::ProcessAllProjects() {
  // The runs enumerate folders only, so the project cursor stays where this loop left it.
  catalogue::TProjectRecord project;
  for (bool found = catalogue_.FirstProject(project); found;
       found = catalogue_.NextProject(project)) {
    ProcessProject(project.Name);
  }
}

bool BackupRun::ProcessFolder(const std::string& storeFolder, const std::string& path,
                              const std::string& masks, bool include, bool raiseErrors, int level) {
  // Without a store folder the placement rule would put every archive beside its source.
  if (storeFolder.empty()) return false;
  const std::string sourceRoot = store::SourceFolderPath(path);
  const std::string backupFolder = store::BackupFolder(storeFolder, path);
  store::CreatePathFolders(backupFolder);
  platform::CreateDirectory(backupFolder);

  FolderWalk walk;
  walk.masks = store::MaskList(masks);
  walk.include = include;
  // A store folder inside the walked tree would have its own archives walked and stored
  // again, one level deeper on every run; so would the mirror directories the walk creates
  // when the store folder is the source folder or one of its ancestors. They are known by
  // device and inode, so a link on either side does not hide them.
  const std::string storeRoot = platform::AbsolutePath(storeFolder);
  std::vector<std::string> chain = {storeRoot};
  for (std::string dir = platform::AbsolutePath(backupFolder); IsBelow(dir, storeRoot);
       dir = platform::ParentPath(dir)) {
    chain.push_back(dir);
  }
  for (const std::string& dir : chain) {
    store::DirectoryId id;
    if (store::GetDirectoryId(dir, id)) walk.leftOut.push_back(id);
  }
  if (workers_ > 1 && !pool_ && makeArchiver_) {
    pool_ = std::make_unique<Pool>(workers_, makeArchiver_);
  }
  walk.store = [&](const std::shared_ptr<const WalkLevel>& dirs, const std::string& name) {
    if (pool_) {
      SubmitStore(dirs, name, level, raiseErrors);
    } else if (!StoreFile(*dirs, name, level) && raiseErrors) {
      observer_.ShowMessage(UnableToProcessText(platform::JoinPath(dirs->target.Path(), name)));
    }
  };
  walk.unreadable = [&](const std::string& dir, std::error_code reason) {
    // Its log entry and box come after those of the files walked before it.
    CommitAll();
    ++totals_.foldersFailed;
    observer_.ReportFailure(FolderFailureLine(dir, reason.message()));
    catalogue_.AddLogEntry(FolderNotReadText(dir));
    if (raiseErrors) observer_.ShowMessage(UnableToProcessFolderText(dir));
  };
  walk.afterEntry = [this] {
    CommitFinished();
    observer_.PumpMessages();
  };
  walk.madeDirectory = [this](const std::string& dir) {
    if (!pending_.empty()) madeAhead_.push_back({submitted_, dir});
  };
  if (pool_) {
    walk.runBoth = [this](const auto& first, const auto& second) {
      // Behind stores in the queue the second job would wait for them.
      if (pending_.empty()) {
        RunBoth(first, second);
      } else {
        first();
        second();
      }
    };
  }
  try {
    const bool read = ProcessDirectory(sourceRoot, backupFolder, walk);
    CommitAll();
    return read;
  } catch (...) {
    AbandonPending();
    throw;
  }
}

struct BackupRun::SideJob : Pool::Task {
  std::function<void()> job;
  std::exception_ptr error;
  void Run(Archiver&) noexcept override {
    try {
      job();
    } catch (...) {
      error = std::current_exception();
    }
  }
};

void BackupRun::RunBoth(const std::function<void()>& first, const std::function<void()>& second) {
  auto side = std::make_shared<SideJob>();
  side->job = second;
  pool_->Submit(side);
  std::exception_ptr error;
  try {
    first();
  } catch (...) {
    error = std::current_exception();
  }
  // The second job uses what the first one's caller holds: it must end before either goes.
  pool_->Wait(*side, [this] { observer_.PumpMessages(); });
  if (error) std::rethrow_exception(error);
  if (side->error) std::rethrow_exception(side->error);
}

void BackupRun::SubmitStore(const std::shared_ptr<const WalkLevel>& dirs, const std::string& name,
                            int level, bool raiseErrors) {
  const std::size_t limit = kInFlightPerWorker * static_cast<std::size_t>(pool_->Workers());
  if (pending_.size() >= limit) {
    // Full: wait for the older half at once, not for one store at a time, so that the run
    // thread sleeps and wakes once per batch instead of once per file.
    pool_->Wait(*pending_[limit / 2 - 1], [this] { observer_.PumpMessages(); });
    CommitOldest();
    CommitFinished();
  }
  auto task = std::make_shared<PendingStore>();
  task->dirs = dirs;
  task->name = name;
  task->filePath = platform::JoinPath(dirs->source.Path(), name);
  task->targetPath = platform::JoinPath(dirs->target.Path(), name);
  task->archivePath = task->targetPath + std::string(store::kArchiveExtension);
  task->level = level;
  task->raiseErrors = raiseErrors;
  pending_.push_back(task);
  ++submitted_;
  pool_->Submit(std::move(task));
}

void BackupRun::CommitOldest() {
  std::shared_ptr<PendingStore> task = pending_.front();
  pool_->Wait(*task, [this] { observer_.PumpMessages(); });
  // Out of the queue before anything that may throw: from here on it is committed.
  pending_.pop_front();
  ++committed_;
  if (task->error) std::rethrow_exception(task->error);
  FinishArchive(task->outcome, task->dirs->target, task->name, task->archivePath);
  if (!ReportStore(task->filePath, task->outcome) && task->raiseErrors) {
    observer_.ShowMessage(UnableToProcessText(task->targetPath));
  }
  // A run with one worker has now made the directories the walk made after this store; had
  // the store or its log line failed, it would have stopped before them.
  while (!madeAhead_.empty() && madeAhead_.front().first <= committed_) madeAhead_.pop_front();
}

void BackupRun::CommitFinished() {
  while (!pending_.empty() && pool_->Done(*pending_.front())) CommitOldest();
}

void BackupRun::CommitAll() {
  while (!pending_.empty()) CommitOldest();
  catalogue_.FlushLog();
}

void BackupRun::AbandonPending() {
  // Stores not started never run; the running ones are waited for, and every archive not
  // committed goes with its temporary file.
  if (!pool_) return;
  const auto dropped = pool_->DropQueued();
  for (const std::shared_ptr<PendingStore>& task : pending_) {
    if (std::find(dropped.begin(), dropped.end(), task) != dropped.end()) continue;
    pool_->Wait(*task, nullptr);
    if (task->outcome.prepared) task->dirs->target.DeleteFile(task->outcome.temporary);
  }
  pending_.clear();
  // Made ahead of the stores now dropped, so empty again: deepest first.
  for (auto made = madeAhead_.rbegin(); made != madeAhead_.rend(); ++made) {
    platform::RemoveDirectory(made->second);
  }
  madeAhead_.clear();
}

bool BackupRun::StoreFile(const WalkLevel& dirs, const std::string& name, int level) {
  const std::string archivePath =
      platform::JoinPath(dirs.target.Path(), name) + std::string(store::kArchiveExtension);
  StoreOutcome outcome = PrepareArchive(archiver_, dirs, name, level);
  FinishArchive(outcome, dirs.target, name, archivePath);
  return ReportStore(platform::JoinPath(dirs.source.Path(), name), outcome);
}

bool BackupRun::ReportStore(const std::string& filePath, const StoreOutcome& outcome) {
  if (!outcome.writerFailed) observer_.FileAttempted(filePath);
  observer_.PumpMessages();
  ++(outcome.stored ? totals_.stored : totals_.failed);
  if (outcome.stored) {
    // Written every so many files, counted in commit order: the same files in a run with
    // one worker or several, so that a log that fails stops both at the same file.
    catalogue_.KeepLogEntry(FileStoredText(filePath));
    if (catalogue_.KeptLogEntries() >= kLogLinesAtOnce) catalogue_.FlushLog();
    return true;
  }
  // A failure is said after the lines of the files before it, and logged at once.
  catalogue_.FlushLog();
  observer_.ReportFailure(StoreFailureLine(filePath, outcome.reason));
  catalogue_.AddLogEntry(outcome.changed ? FileChangedText(filePath) : FileNotStoredText(filePath));
  return false;
}

BackupRun::StoreOutcome BackupRun::PrepareArchive(Archiver& archiver, const WalkLevel& dirs,
                                                  const std::string& name, int level) {
  StoreOutcome outcome;
  // The file is opened first: the status its open takes is the state before the read,
  // whose times the archive gets and which the state after the read must match; and a file
  // that cannot be read is reported with the system's reason before anything is written.
  platform::File source;
  if (std::error_code error = dirs.source.OpenFile(name, platform::File::Mode::Read, source)) {
    outcome.reason = error.message();
    return outcome;
  }
  const platform::FileInfo before = source.OpenedInfo();
  platform::File archive;
  std::string temporary;
  if (std::error_code error = dirs.target.CreateTempFile(std::string(kTemporaryPrefix), archive,
                                                         temporary, kArchivePermissions)) {
    outcome.reason =
        "no temporary archive in \"" + dirs.target.Path() + "\": " + error.message();
    return outcome;
  }
  int count = 0;
  try {
    count = archiver.StoreOne(std::move(archive), std::move(source), level);
  } catch (const std::exception& e) {
    dirs.target.DeleteFile(temporary);
    outcome.writerFailed = true;
    outcome.reason = e.what();
    return outcome;
  }
  platform::FileInfo after;
  if (count != 1) {
    outcome.reason = "the archive writer did not store it";
  } else if (dirs.source.GetFileInfo(name, after) || FileChangedWhileRead(before, after)) {
    outcome.changed = true;
    outcome.reason = "changed while being stored";
  } else if (std::error_code error = dirs.target.WriteFileTimes(
                 temporary, before.times.lastAccess, before.times.lastWrite)) {
    outcome.reason = "can't set the archive's times: " + error.message();
  } else {
    outcome.prepared = true;
    outcome.temporary = std::move(temporary);
    return outcome;
  }
  dirs.target.DeleteFile(temporary);
  return outcome;
}

void BackupRun::FinishArchive(StoreOutcome& outcome, const platform::OpenDirectory& target,
                              const std::string& name, const std::string& archivePath) {
  if (!outcome.prepared) return;
  outcome.prepared = false;
  if (std::error_code error =
          target.Rename(outcome.temporary, name + std::string(store::kArchiveExtension))) {
    outcome.reason = "can't write \"" + archivePath + "\": " + error.message();
    target.DeleteFile(outcome.temporary);
  } else {
    outcome.stored = true;
  }
}

}  // namespace backup
