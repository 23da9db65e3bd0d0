#include "restore/restore_run.h"

#include <cstdint>
#include <vector>

#include "archive/zip_errors.h"
#include "backup/backup_run.h"
#include "backup/placement.h"
#include "backup/selection.h"
#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace restore {

namespace {

constexpr std::size_t kArchiveExtensionLength = backup::kArchiveExtension.size();

// The reader's temporary files: this prefix and six characters of [A-Za-z0-9], mode 0600.
constexpr std::string_view kUnpackTemporaryPrefix = "unz";
constexpr std::size_t kUnpackTemporaryRandomLength = 6;
constexpr std::uint32_t kUnpackTemporaryMode = 0600;

bool IsAsciiAlphanumeric(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

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
         platform::UpperCase(name.substr(dot)) == backup::kArchiveExtension;
}

std::string TargetNameOf(std::string_view archiveName) {
  return std::string(archiveName.substr(0, archiveName.size() - kArchiveExtensionLength));
}

bool IsStaleUnpackTemporary(const platform::DirEntry& entry, platform::FileTime runStart,
                            const std::vector<platform::DirEntry>& backupEntries) {
  const std::string& name = entry.name;
  if (name.size() != kUnpackTemporaryPrefix.size() + kUnpackTemporaryRandomLength ||
      name.compare(0, kUnpackTemporaryPrefix.size(), kUnpackTemporaryPrefix) != 0) {
    return false;
  }
  for (std::size_t k = kUnpackTemporaryPrefix.size(); k < name.size(); ++k) {
    if (!IsAsciiAlphanumeric(name[k])) return false;
  }
  if (!entry.info.isRegular || entry.info.isSymlink ||
      (entry.info.unixMode & 0777) != kUnpackTemporaryMode ||
      entry.info.times.lastWrite >= runStart) {
    return false;
  }
  for (const platform::DirEntry& archive : backupEntries) {
    if (IsArchiveName(archive.name) && TargetNameOf(archive.name) == name) return false;
  }
  return true;
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
      if (backup::SameFileMinute(archiveLastWrite, targetLastWrite)) return {false, false};
      return {true, prompt};
  }
  return {false, false};
}

TRestoreRun::TRestoreRun(catalogue::TCatalogue& catalogue, ArchiveUnpacker& unpacker,
                         RestoreObserver& observer)
    : catalogue_(catalogue),
      unpacker_(unpacker),
      observer_(observer),
      runStart_(platform::NowFileTime()) {}

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
  const backup::StoreFolderProblem problem = backup::CheckStoreFolder(storeFolder);
  if (!known || problem != backup::StoreFolderProblem::None) {
    const std::string refusal =
        !known ? backup::UnknownProjectText(request.projectName)
               : backup::StoreFolderRefusalText(request.projectName, storeFolder, problem);
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
  backup::CreatePathFolders(target + platform::kPathSeparator);
  catalogue_.AddLogEntry(RestoringFolderLog(target));
  if (RestoreTree(backup::BackupFolder(storeFolder, sourcePath), target, prompt, option)) {
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
  if (!platform::DirectoryExists(backupDir)) return false;
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(backupDir, entries)) return false;
  if (!created) RemoveStaleTemporaries(targetDir, entries);

  for (const platform::DirEntry& entry : entries) {
    if (entry.info.isDirectory) {
      // Links to directories are not followed: one pointing up the tree would make the walk
      // endless. The backup run never creates them.
      if (entry.name[0] != '.' && !entry.info.isSymlink) {
        RestoreTree(backup::SubTargetDirectory(backupDir, entry.name),
                    platform::JoinPath(targetDir, entry.name), prompt, option);
      }
    } else if (entry.info.isRegular && IsArchiveName(entry.name)) {
      // The listing already holds the archive's times, read before the reader opens it.
      if (Decide(entry.info.times, entry.name, targetDir, prompt, option)) {
        std::string failure;
        if (Unpack(entry.info.times, backupDir, entry.name, targetDir, failure)) {
          ++totals_.unpacked;
          catalogue_.AddLogEntry(UnpackedLog(entry.name));
        } else {
          ++totals_.failed;
          catalogue_.AddLogEntry(UnpackErrorLog(entry.name));
          observer_.ArchiveFailed(platform::JoinPath(backupDir, entry.name), failure);
        }
      }
    }
    observer_.ProcessMessages();
  }
  return true;
}

bool TRestoreRun::ShouldUnpack(const std::string& backupDir, const std::string& archiveName,
                               const std::string& targetDir, bool prompt, RestoreOption option) {
  platform::FileTimes archiveTimes;
  platform::ReadFileTimes(platform::JoinPath(backupDir, archiveName), archiveTimes);
  return Decide(archiveTimes, archiveName, targetDir, prompt, option);
}

bool TRestoreRun::Decide(const platform::FileTimes& archiveTimes, const std::string& archiveName,
                         const std::string& targetDir, bool prompt, RestoreOption option) {
  if (aborted_) return false;
  if (yesToAll_) return true;

  const std::string targetPath = platform::JoinPath(targetDir, TargetNameOf(archiveName));
  // Any file that exists at the target counts with its time, read-only ones included, so
  // that "Append missed" never touches a file the destination already holds. "Rewrite all
  // files" does not look at it.
  platform::FileTimes targetTimes;
  if (option != RestoreOption::RewriteAll && platform::ReadFileTimes(targetPath, targetTimes)) {
    targetTimes = {};
  }

  const UnpackDecision decision =
      DecideByOption(option, prompt, archiveTimes.lastWrite, targetTimes.lastWrite);
  if (!decision.needsQuestion) return decision.unpack;

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
  std::string failure;
  return Unpack(archiveTimes, backupDir, archiveName, targetDir, failure);
}

bool TRestoreRun::Unpack(const platform::FileTimes& archiveTimes, const std::string& backupDir,
                         const std::string& archiveName, const std::string& targetDir,
                         std::string& failure) {
  observer_.ArchiveStarted(platform::JoinPath(targetDir, archiveName));
  int count = 0;
  try {
    count = unpacker_.Unpack(platform::JoinPath(backupDir, archiveName), targetDir);
  } catch (const EUserCanceled&) {
    throw;  // the user stopped the run, not this archive
  } catch (const EZipError& error) {
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
  observer_.ProcessMessages();
  // A failed extraction leaves the file that was there before; giving it the archive's
  // times would make it pass for the archived version in later refreshes and backups.
  if (unpacked && archiveTimes.lastWrite != 0) {
    platform::WriteFileTimes(platform::JoinPath(targetDir, TargetNameOf(archiveName)),
                             archiveTimes.lastAccess, archiveTimes.lastWrite);
  }
  return unpacked;
}

void TRestoreRun::RemoveStaleTemporaries(const std::string& targetDir,
                                         const std::vector<platform::DirEntry>& archives) {
  std::vector<platform::DirEntry> present;
  if (platform::ListDirectory(targetDir, present)) return;
  for (const platform::DirEntry& entry : present) {
    if (IsStaleUnpackTemporary(entry, runStart_, archives) &&
        !platform::DeleteFile(platform::JoinPath(targetDir, entry.name))) {
      ++totals_.staleRemoved;
    }
  }
}

}  // namespace restore
