#include "backup/backup_run.h"

#include <exception>

#include "backup/placement.h"
#include "backup/selection.h"
#include "platform/file_system.h"
#include "platform/file_time.h"

namespace backup {
namespace {

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
  return "File \"" + filePath + "\" was succefully stored.";
}
std::string FileNotStoredText(const std::string& filePath) {
  return "Can't store file \"" + filePath + "\"!";
}
std::string FolderEndText(const std::string& path) { return "Folder \"" + path + "\" processed."; }
std::string UnableToProcessText(const std::string& targetPath) {
  return "Unable to process file \"" + targetPath + "\"";
}

BackupRun::BackupRun(catalogue::TCatalogue& catalogue, Archiver& archiver, BackupObserver& observer)
    : catalogue_(catalogue), archiver_(archiver), observer_(observer) {}

void BackupRun::ProcessProject(const std::string& project) {
  catalogue_.AddLogEntry(RunStartText(project));
  // An unknown project leaves the record empty; it has no folders either.
  catalogue::TProjectRecord projectRecord;
  catalogue_.GetProject(project, projectRecord);
  observer_.RunStarted(project, catalogue_.CountFolders(project));
  try {
    catalogue::TFolderRecord folder;
    for (bool found = catalogue_.FirstFolder(project, folder); found;
         found = catalogue_.NextFolder(project, folder)) {
      if (observer_.CancelRequested()) break;
      observer_.FolderStarted(folder.Path);
      catalogue_.AddLogEntry(FolderStartText(folder.Path));
      ProcessFolder(projectRecord.StoreFolder, folder.Path, folder.Masks, folder.Include,
                    projectRecord.RaiseErrors, folder.Level);
      // Every folder reached counts as stored, whatever happened to its files: their
      // failures are in the log, and failed files are selected again next run.
      catalogue_.MarkFolderStored(project, folder.Path);
      catalogue_.AddLogEntry(FolderEndText(folder.Path));
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

void BackupRun::ProcessAllProjects() {
  // The runs enumerate folders only, so the project cursor stays where this loop left it.
  catalogue::TProjectRecord project;
  for (bool found = catalogue_.FirstProject(project); found;
       found = catalogue_.NextProject(project)) {
    ProcessProject(project.Name);
  }
}

void BackupRun::ProcessFolder(const std::string& storeFolder, const std::string& path,
                              const std::string& masks, bool include, bool raiseErrors, int level) {
  // Without a store folder the placement rule would put every archive beside its source.
  if (storeFolder.empty()) return;
  const std::string sourceRoot = SourceFolderPath(path);
  const std::string backupFolder = BackupFolder(storeFolder, path);
  CreatePathFolders(backupFolder);

  FolderWalk walk;
  walk.masks = MaskList(masks);
  walk.include = include;
  // A store folder inside the walked tree would have its own archives walked and stored
  // again, one level deeper on every run; so would the mirror directories the walk creates
  // when the store folder is the source folder or one of its ancestors.
  const std::string store = platform::AbsolutePath(storeFolder);
  walk.leftOut.push_back(store);
  for (std::string dir = platform::AbsolutePath(backupFolder); IsBelow(dir, store);
       dir = platform::ParentPath(dir)) {
    walk.leftOut.push_back(dir);
  }
  walk.store = [&](const std::string& sourceDir, const std::string& name,
                   const std::string& targetDir) {
    const std::string targetPath = platform::JoinPath(targetDir, name);
    if (!StoreFile(sourceDir, name, targetPath, level) && raiseErrors) {
      observer_.ShowMessage(UnableToProcessText(targetPath));
    }
  };
  walk.afterEntry = [this] { observer_.PumpMessages(); };
  ProcessDirectory(sourceRoot, backupFolder, walk);
}

bool BackupRun::StoreFile(const std::string& sourceDir, const std::string& name,
                          const std::string& targetPath, int level) {
  const std::string filePath = platform::JoinPath(sourceDir, name);
  bool writerFailed = false;
  const bool stored =
      WriteArchive(filePath, targetPath + std::string(kArchiveExtension), level, writerFailed);
  if (!writerFailed) observer_.FileAttempted(filePath);
  observer_.PumpMessages();
  catalogue_.AddLogEntry(stored ? FileStoredText(filePath) : FileNotStoredText(filePath));
  ++(stored ? totals_.stored : totals_.failed);
  return stored;
}

bool BackupRun::WriteArchive(const std::string& sourcePath, const std::string& archivePath,
                             int level, bool& writerFailed) {
  const std::string temporary = archivePath + kTemporarySuffix;
  platform::DeleteFile(temporary);  // the leftover of an interrupted run, if any
  // The times are taken before the content: a file that changes while it is read then
  // carries an older time in its archive and is stored again next run.
  platform::FileTimes times;
  if (platform::ReadFileTimes(sourcePath, times)) return false;
  int count = 0;
  try {
    count = archiver_.StoreOne(temporary, sourcePath, level);
  } catch (const std::exception&) {
    writerFailed = true;
    platform::DeleteFile(temporary);
    return false;
  }
  const bool replaced = count == 1 &&
                        !platform::WriteFileTimes(temporary, times.lastAccess, times.lastWrite) &&
                        !platform::RenameFile(temporary, archivePath);
  if (!replaced) platform::DeleteFile(temporary);
  return replaced;
}

}  // namespace backup
