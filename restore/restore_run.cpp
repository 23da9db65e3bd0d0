#include "restore/restore_run.h"

#include <cstdint>
#include <algorithm>
#include <exception>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/zip_errors.h"
#include "archive/zip_reader.h"
#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "store/placement.h"
#include "store/selection.h"

namespace restore {

namespace {

constexpr std::size_t kArchiveExtensionLength = store::kArchiveExtension.size();

// The reader's temporary files: its prefix and six characters of [A-Za-z0-9], mode 0600.
constexpr std::string_view kUnpackTemporaryPrefix = archive::kExtractTemporaryPrefix;
constexpr std::size_t kUnpackTemporaryRandomLength = 6;
constexpr std::uint32_t kUnpackTemporaryMode = 0600;

bool IsAsciiAlphanumeric(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
// Archives in flight per worker: enough that the other workers go on while the run thread
// waits for one large file at the head of the line (with 4, two workers idled for a sixth
// of a backup of mixed sizes), few enough that the results held are small.
constexpr std::size_t kInFlightPerWorker = 16;
// The log lines of unpacked archives go out this many at a time (and before a failure, a
// question, or any other log entry): one write instead of one per archive.
constexpr std::size_t kLogLinesAtOnce = 16;

std::string Quoted(std::string_view before, const std::string& value, std::string_view after) {
  std::string text(before);
  text += '"';
  text += value;
  text += '"';
  text += after;
  return text;
}

// A relative folder path or destination names a directory below the current directory.
std::string ResolvedPath(const std::string& path) {
  return (!path.empty() && path[0] == '/') ? path : platform::AbsolutePath(path);
}

}  // namespace

std::string RestoringFolderLog(const std::string& destination) {
  return Quoted("Restoring folder ", destination, "...");
}
std::string FolderRestoredLog(const std::string& destination) {
  return Quoted("Folder ", destination, " restored.");
}
std::string FolderFailedLog(const std::string& destination) {
  return Quoted("Unable to restore folder ", destination, "!");
}
std::string UnpackedLog(const std::string& archiveName) {
  return Quoted("File ", archiveName, " was unpacked.");
}
std::string UnpackErrorLog(const std::string& archiveName) {
  return Quoted("Error unpacking file ", archiveName, "!");
}
std::string ReplaceQuestion(const std::string& targetPath) {
  return Quoted("Are you want to replace file ", targetPath, "?");
}

std::string UnpackFailureLine(const std::string& archivePath, const std::string& reason) {
  return Quoted("Error unpacking file ", archivePath, ": ") + reason;
}

bool IsArchiveName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot != std::string_view::npos &&
         platform::UpperCase(name.substr(dot)) == store::kArchiveExtension;
}

std::string TargetNameOf(std::string_view archiveName) {
  return std::string(archiveName.substr(0, archiveName.size() - kArchiveExtensionLength));
}

namespace {

// The name alone is of the reader's temporary form.
bool HasUnpackTemporaryForm(const std::string& name) {
  if (name.size() != kUnpackTemporaryPrefix.size() + kUnpackTemporaryRandomLength ||
      name.compare(0, kUnpackTemporaryPrefix.size(), kUnpackTemporaryPrefix) != 0) {
    return false;
  }
  for (std::size_t k = kUnpackTemporaryPrefix.size(); k < name.size(); ++k) {
    if (!IsAsciiAlphanumeric(name[k])) return false;
  }
  return true;
}

// IsStaleUnpackTemporary over any list of the backup directory's entries.
template <class Entries, class NameOf>
bool IsStale(const platform::DirEntry& entry, platform::FileTime runStart,
             const Entries& backupEntries, NameOf nameOf) {
  if (!HasUnpackTemporaryForm(entry.name)) return false;
  if (!entry.info.isRegular || entry.info.isSymlink ||
      (entry.info.unixMode & 0777) != kUnpackTemporaryMode ||
      entry.info.times.lastWrite >= runStart) {
    return false;
  }
  for (const auto& archive : backupEntries) {
    const std::string& archiveName = nameOf(archive);
    if (IsArchiveName(archiveName) && TargetNameOf(archiveName) == entry.name) return false;
  }
  return true;
}

}  // namespace

bool IsStaleUnpackTemporary(const platform::DirEntry& entry, platform::FileTime runStart,
                            const std::vector<platform::DirEntry>& backupEntries) {
  return IsStale(entry, runStart, backupEntries,
                 [](const platform::DirEntry& e) -> const std::string& { return e.name; });
}

UnpackDecision DecideByOption(RestoreOption option, bool prompt,
                              platform::FileTime archiveLastWrite,
                              platform::FileTime targetLastWrite) {
  switch (option) {
    case RestoreOption::RewriteAll:
      // Asked for every archive, also when the target does not exist yet.
      return {true, prompt};
    case RestoreOption::AppendMissed:
      return {targetLastWrite == 0, false};
    case RestoreOption::Refresh:
      // Older or newer alike: only a target in the archive's own minute is left alone.
      if (store::SameFileMinute(archiveLastWrite, targetLastWrite)) return {false, false};
      return {true, prompt};
  }
  return {false, false};
}

ArchiveResult ArchiveUnpacker::Restore(const ArchiveJob& job) {
  ArchiveResult result;
  // Read before the archive is opened: reading it may move its last-access time.
  if (job.times.lastWrite == 0 && platform::ReadFileTimes(job.archivePath, result.times)) {
    result.times = {};
  }
  result.count = Unpack(job.archivePath, job.destDir);
  return result;
}

struct TRestoreRun::PendingUnpack : Pool::Task {
  ArchiveJob job;
  std::string archiveName;
  std::string targetPath;
  // Written by the worker; read by the run thread once the pool says the task is done.
  bool unpacked = false;
  std::string failure;
  std::exception_ptr error;
  std::function<void()> kept;

  void Run(ArchiveUnpacker& unpacker) noexcept override {
    try {
      unpacked = UnpackOne(unpacker, job, failure);
    } catch (...) {
      error = std::current_exception();
    }
    try {
      kept = unpacker.TakeKept();
    } catch (...) {
      if (!error) error = std::current_exception();
    }
  }
};

TRestoreRun::TRestoreRun(catalogue::TCatalogue& catalogue, ArchiveUnpacker& unpacker,
                         RestoreObserver& observer)
    : catalogue_(catalogue),
      unpacker_(unpacker),
      observer_(observer),
      runStart_(platform::NowFileTime()) {}

TRestoreRun::~TRestoreRun() {
  if (!pending_.empty()) AbandonPending();
}

void TRestoreRun::SetWorkers(int count, std::function<std::unique_ptr<ArchiveUnpacker>()> make) {
  pool_.reset();
  workers_ = count < 1 ? 1 : count;
  makeUnpacker_ = std::move(make);
}

void TRestoreRun::ResetRunState() {
  aborted_ = false;
  yesToAll_ = false;
  totals_ = {};
  runStart_ = platform::NowFileTime();
}

bool TRestoreRun::Run(const RestoreRequest& request) {
  catalogue_.AddLogEntry(std::string(kLogStarting));
  ResetRunState();

  catalogue::TProjectRecord project;
  const bool known = catalogue_.GetProject(request.projectName, project);
  const std::string storeFolder = project.StoreFolder;
  const store::StoreFolderProblem problem = store::CheckStoreFolder(storeFolder);
  if (!known || problem != store::StoreFolderProblem::None) {
    const std::string refusal =
        !known ? store::UnknownProjectText(request.projectName)
               : store::StoreFolderRefusalText(request.projectName, storeFolder, problem);
    totals_.refused = true;
    catalogue_.AddLogEntry(refusal);
    catalogue_.AddLogEntry("");
    observer_.ShowError(refusal);
    return false;
  }

  if (!request.selectedFolderOnly) {
    observer_.ProgressStarted(catalogue_.CountFolders(request.projectName));
    // Every catalogue call below leaves the folder cursor alone, so the enumeration holds
    // across the folders' log entries.
    catalogue::TFolderRecord folder;
    bool found = catalogue_.FirstFolder(request.projectName, folder);
    while (found && !aborted_) {
      const std::string path = folder.Path;
      RestoreFolder(storeFolder, path, path, request.prompt, request.option);
      found = catalogue_.NextFolder(request.projectName, folder);
    }
  } else {
    observer_.ProgressStarted(1);
    RestoreFolder(storeFolder, request.selectedFolder, request.destination, request.prompt,
                  request.option);
  }

  catalogue_.AddLogEntry(std::string(kLogComplete));
  catalogue_.AddLogEntry("");
  return true;
}

void TRestoreRun::RestoreFolder(const std::string& storeFolder, const std::string& sourcePath,
                                const std::string& destination, bool prompt, RestoreOption option) {
  observer_.FolderStarted(sourcePath);
  if (destination.empty()) {
    ++totals_.foldersSkipped;
    observer_.ShowError(std::string(kNoDestinationMessage));
    return;
  }
  const std::string target = ResolvedPath(destination);
  // The trailing separator makes the destination itself one of the created directories.
  store::CreatePathFolders(target + platform::kPathSeparator);
  catalogue_.AddLogEntry(RestoringFolderLog(target));
  if (workers_ > 1 && !pool_ && makeUnpacker_) {
    pool_ = std::make_unique<Pool>(workers_, makeUnpacker_);
  }
  bool restored = false;
  try {
    restored = RestoreTree(store::BackupFolder(storeFolder, sourcePath), target, prompt, option);
    CommitAll();
  } catch (...) {
    AbandonPending();
    throw;
  }
  if (restored) {
    catalogue_.AddLogEntry(FolderRestoredLog(target));
  } else {
    ++totals_.foldersMissing;
    catalogue_.AddLogEntry(FolderFailedLog(target));
    observer_.ShowError(std::string(kNoBackupMessage));
  }
  observer_.FolderFinished();
  observer_.ProcessMessages();
}

bool TRestoreRun::RestoreTree(const std::string& backupDir, const std::string& targetDir,
                              bool prompt, RestoreOption option) {
  // An existing directory is fine; a new one holds no leftovers to look for.
  const bool created = !platform::CreateDirectory(targetDir);
  if (created && !pending_.empty()) madeAhead_.emplace_back(submitted_, targetDir);
  if (!platform::DirectoryExists(backupDir)) return false;
  // The kinds the listing tells are enough to walk: an archive's times are read where they
  // are needed (by the unpacker from the archive it opens, unless the option compares them).
  std::vector<platform::ListedName> entries;
  if (platform::ListKinds(backupDir, entries)) return false;
  if (!created) RemoveStaleTemporaries(targetDir, entries);

  // Both directories are held open from their first archive on, for every archive in them
  // (and by the archives still in flight when the walk has moved on).
  std::shared_ptr<const platform::OpenDirectory> archives;
  std::shared_ptr<const platform::OpenDirectory> target;
  // In a directory the run has just made, what it put there itself is all there is: the
  // reader need not look for a target of another name.
  std::unordered_set<std::string> madeHere;
  for (const platform::ListedName& entry : entries) {
    platform::ListedKind kind = entry.kind;
    platform::FileInfo info;
    bool known = false;  // info holds the entry's status
    if (kind == platform::ListedKind::Unknown) {
      // A link or what the file system does not tell: its status decides. One that
      // vanished or dangles is left out.
      if (platform::GetFileInfo(platform::JoinPath(backupDir, entry.name), info)) continue;
      known = true;
      // Links to directories are not followed: one pointing up the tree would make the walk
      // endless. The backup run never creates them.
      if (info.isDirectory) {
        if (info.isSymlink) continue;
        kind = platform::ListedKind::Directory;
      } else if (info.isRegular) {
        kind = platform::ListedKind::Regular;
      } else {
        continue;
      }
    }
    if (kind == platform::ListedKind::Directory) {
      if (entry.name[0] != '.') {
        // Archives still in flight go on meanwhile: a subdirectory's archives are handed
        // out behind them, and everything the user sees stays in walk order.
        if (created) madeHere.insert(entry.name);
        RestoreTree(store::SubTargetDirectory(backupDir, entry.name),
                    platform::JoinPath(targetDir, entry.name), prompt, option);
      }
    } else if (IsArchiveName(entry.name)) {
      // An archive in flight for the same target decides this one's question and outcome.
      if (IsPendingTarget(platform::JoinPath(targetDir, TargetNameOf(entry.name)))) CommitAll();
      if (!target) {
        archives = std::make_shared<const platform::OpenDirectory>(backupDir);
        target = std::make_shared<const platform::OpenDirectory>(targetDir);
      }
      // "Refresh" compares the archive's time; read now, before the reader opens it.
      bool present = true;
      if (!known && option == RestoreOption::Refresh) {
        present = !archives->GetFileInfo(entry.name, info);
        known = present;
      }
      const platform::FileTimes archiveTimes = known ? info.times : platform::FileTimes{};
      if (present && Decide(archiveTimes, entry.name, targetDir, target.get(), prompt, option)) {
        ArchiveJob job;
        job.archivePath = platform::JoinPath(backupDir, entry.name);
        job.destDir = targetDir;
        job.targetName = TargetNameOf(entry.name);
        job.times = archiveTimes;
        job.archiveDirectory = archives;
        job.destination = target;
        if (created) job.targetAbsent = madeHere.insert(job.targetName).second;
        if (pool_) {
          SubmitUnpack(std::move(job), entry.name);
        } else {
          std::string failure;
          const bool unpacked = Unpack(job, entry.name, failure);
          ReportUnpack(job.archivePath, entry.name, unpacked, failure);
        }
      }
    }
    CommitFinished();
    observer_.ProcessMessages();
  }
  return true;
}

bool TRestoreRun::ShouldUnpack(const std::string& backupDir, const std::string& archiveName,
                               const std::string& targetDir, bool prompt, RestoreOption option) {
  platform::FileTimes archiveTimes;
  platform::ReadFileTimes(platform::JoinPath(backupDir, archiveName), archiveTimes);
  return Decide(archiveTimes, archiveName, targetDir, nullptr, prompt, option);
}

bool TRestoreRun::Decide(const platform::FileTimes& archiveTimes, const std::string& archiveName,
                         const std::string& targetDir, const platform::OpenDirectory* target,
                         bool prompt, RestoreOption option) {
  if (aborted_) return false;
  if (yesToAll_) return true;

  const std::string targetName = TargetNameOf(archiveName);
  const std::string targetPath = platform::JoinPath(targetDir, targetName);
  // Any file that exists at the target counts with its time, read-only ones included, so
  // that "Append missed" never touches a file the destination already holds. "Rewrite all
  // files" does not look at it.
  platform::FileTimes targetTimes;
  if (option != RestoreOption::RewriteAll) {
    platform::FileInfo info;
    if (target == nullptr) {
      if (platform::ReadFileTimes(targetPath, targetTimes)) targetTimes = {};
    } else if (!target->GetFileInfo(targetName, info)) {
      targetTimes = info.times;
    }
  }

  const UnpackDecision decision =
      DecideByOption(option, prompt, archiveTimes.lastWrite, targetTimes.lastWrite);
  if (!decision.needsQuestion) return decision.unpack;

  // The question comes after every archive before it was unpacked and shown.
  CommitAll();
  switch (observer_.AskReplace(ReplaceQuestion(targetPath))) {
    case ReplaceAnswer::Yes:
      return true;
    case ReplaceAnswer::No:
      return false;
    case ReplaceAnswer::Abort:
      aborted_ = true;
      return false;
    case ReplaceAnswer::All:
      yesToAll_ = true;
      return true;
  }
  return false;
}

bool TRestoreRun::UnpackArchive(const std::string& backupDir, const std::string& archiveName,
                                const std::string& targetDir) {
  // The times are taken before the reader opens the archive: reading it may move its
  // last-access time.
  platform::FileTimes archiveTimes;
  if (platform::ReadFileTimes(platform::JoinPath(backupDir, archiveName), archiveTimes)) {
    archiveTimes = {};
  }
  ArchiveJob job;
  job.archivePath = platform::JoinPath(backupDir, archiveName);
  job.destDir = targetDir;
  job.targetName = TargetNameOf(archiveName);
  job.times = archiveTimes;
  std::string failure;
  return Unpack(job, archiveName, failure);
}

bool TRestoreRun::Unpack(const ArchiveJob& job, const std::string& archiveName,
                         std::string& failure) {
  observer_.ArchiveStarted(platform::JoinPath(job.destDir, archiveName));
  const bool unpacked = UnpackOne(unpacker_, job, failure);
  observer_.ProcessMessages();
  return unpacked;
}

bool TRestoreRun::UnpackOne(ArchiveUnpacker& unpacker, const ArchiveJob& job,
                            std::string& failure) {
  int count = 0;
  bool timesGiven = false;
  bool otherName = false;
  platform::FileTimes times = job.times;
  try {
    const ArchiveResult result = unpacker.Restore(job);
    count = result.count;
    timesGiven = result.timesGiven;
    otherName = result.otherName;
    if (times.lastWrite == 0) times = result.times;
  } catch (const archive::EUserCanceled&) {
    throw;  // the user stopped the run, not this archive
  } catch (const archive::EZipError& error) {
    // The reader removed what it had written; the next archive does not depend on this one.
    failure = error.what();
    count = -1;
  }
  const bool unpacked = count == 1;
  if (count == 0) {
    failure = "no file came out of the archive (its data is damaged: CRC or size mismatch)";
  } else if (count > 1) {
    failure = "the archive holds " + std::to_string(count) + " files, not one";
  }
  // A failed extraction leaves the file that was there before, and an archive whose file
  // has another name leaves whatever the target is (perhaps a file of the user's): giving
  // it the archive's times would make it pass for the archived version in later refreshes
  // and backups.
  if (unpacked && times.lastWrite != 0 && !timesGiven && !otherName) {
    if (job.destination) {
      job.destination->WriteFileTimes(job.targetName, times.lastAccess, times.lastWrite);
    } else {
      platform::WriteFileTimes(platform::JoinPath(job.destDir, job.targetName), times.lastAccess,
                               times.lastWrite);
    }
  }
  return unpacked;
}

void TRestoreRun::ReportUnpack(const std::string& archivePath, const std::string& archiveName,
                               bool unpacked, const std::string& failure) {
  if (unpacked) {
    ++totals_.unpacked;
    // Written every so many archives, counted in the order they are taken back: the same
    // archives with one worker or several, so that a log that fails stops both at the same
    // archive.
    catalogue_.KeepLogEntry(UnpackedLog(archiveName));
    if (catalogue_.KeptLogEntries() >= kLogLinesAtOnce) catalogue_.FlushLog();
  } else {
    ++totals_.failed;
    // Logged at once, behind the lines kept before it.
    catalogue_.AddLogEntry(UnpackErrorLog(archiveName));
    observer_.ArchiveFailed(archivePath, failure);
  }
}

void TRestoreRun::RemoveStaleTemporaries(const std::string& targetDir,
                                         const std::vector<platform::ListedName>& backupNames) {
  // Only names of the temporary form are looked at: a destination of many files costs one
  // listing, not a status call per file.
  std::vector<std::string> names;
  if (platform::ListNames(targetDir, names)) return;
  std::vector<std::string> stale;
  for (std::string& name : names) {
    if (!HasUnpackTemporaryForm(name)) continue;
    platform::DirEntry entry;
    entry.name = std::move(name);
    if (platform::GetFileInfo(platform::JoinPath(targetDir, entry.name), entry.info)) continue;
    if (IsStale(entry, runStart_, backupNames,
                [](const platform::ListedName& e) -> const std::string& { return e.name; })) {
      stale.push_back(std::move(entry.name));
    }
  }
  if (stale.empty()) return;
  // The walk may be ahead of archives still in flight; a run with one worker removes these
  // only once they are done (and not at all when one of them ends the run).
  CommitAll();
  std::sort(stale.begin(), stale.end());
  for (const std::string& name : stale) {
    if (!platform::DeleteFile(platform::JoinPath(targetDir, name))) ++totals_.staleRemoved;
  }
}

void TRestoreRun::SubmitUnpack(ArchiveJob job, const std::string& archiveName) {
  const std::size_t limit = kInFlightPerWorker * static_cast<std::size_t>(pool_->Workers());
  if (pending_.size() >= limit) {
    // Full: wait for the older half at once, so that the run thread sleeps and wakes once
    // per batch instead of once per archive.
    pool_->Wait(*pending_[limit / 2 - 1], [this] { observer_.ProcessMessages(); });
    CommitOldest();
    CommitFinished();
  }
  auto unpack = std::make_shared<PendingUnpack>();
  unpack->targetPath = platform::JoinPath(job.destDir, job.targetName);
  unpack->job = std::move(job);
  unpack->archiveName = archiveName;
  pending_.push_back(unpack);
  ++submitted_;
  pool_->Submit(std::move(unpack));
}

bool TRestoreRun::IsPendingTarget(const std::string& targetPath) const {
  return std::any_of(pending_.begin(), pending_.end(),
                     [&](const auto& unpack) { return unpack->targetPath == targetPath; });
}

void TRestoreRun::CommitOldest() {
  std::shared_ptr<PendingUnpack> unpack = pending_.front();
  pool_->Wait(*unpack, [this] { observer_.ProcessMessages(); });
  pending_.pop_front();
  ++committed_;
  observer_.ArchiveStarted(platform::JoinPath(unpack->job.destDir, unpack->archiveName));
  if (unpack->kept) unpack->kept();
  if (unpack->error) std::rethrow_exception(unpack->error);
  observer_.ProcessMessages();
  ReportUnpack(unpack->job.archivePath, unpack->archiveName, unpack->unpacked, unpack->failure);
  // A run with one worker has now made the directories the walk made after this archive;
  // had its log line failed, it would have stopped before them.
  while (!madeAhead_.empty() && madeAhead_.front().first <= committed_) madeAhead_.pop_front();
}

void TRestoreRun::CommitFinished() {
  while (!pending_.empty() && pool_->Done(*pending_.front())) CommitOldest();
}

void TRestoreRun::CommitAll() {
  while (!pending_.empty()) CommitOldest();
  catalogue_.FlushLog();
}

void TRestoreRun::AbandonPending() {
  // Archives not started are never unpacked; the running ones are waited for.
  if (!pool_) return;
  const auto dropped = pool_->DropQueued();
  std::unordered_set<std::string> madeAhead;
  for (const auto& made : madeAhead_) madeAhead.insert(made.second);
  for (const std::shared_ptr<PendingUnpack>& unpack : pending_) {
    if (std::find(dropped.begin(), dropped.end(), unpack) != dropped.end()) continue;
    pool_->Wait(*unpack, nullptr);
    // A file unpacked into a directory made ahead, under a name the run knew absent there:
    // a run with one worker would have made neither.
    const ArchiveJob& job = unpack->job;
    if (unpack->unpacked && job.targetAbsent && madeAhead.count(job.destDir) != 0) {
      platform::DeleteFile(platform::JoinPath(job.destDir, job.targetName));
    }
  }
  pending_.clear();
  committed_ = submitted_;
  // Made ahead of the archives now dropped: deepest first, and only what is empty now.
  for (auto made = madeAhead_.rbegin(); made != madeAhead_.rend(); ++made) {
    platform::RemoveDirectory(made->second);
  }
  madeAhead_.clear();
}

}  // namespace restore
