#include "restore/verify_run.h"

#include <algorithm>

#include "archive/zip_errors.h"
#include "archive/zip_reader.h"
#include "platform/directory.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "restore/restore_run.h"
#include "store/placement.h"
#include "store/selection.h"

namespace restore {

namespace {

std::string Quoted(const std::string& value) { return "\"" + value + "\""; }

// dir lies strictly below root (both absolute and folded).
bool IsBelow(const std::string& dir, const std::string& root) {
  if (root == "/") return dir.size() > 1 && dir[0] == '/';
  return dir.size() > root.size() && dir.compare(0, root.size(), root) == 0 &&
         dir[root.size()] == '/';
}

// The files below sourceDir that the next backup run would store, with the backup run's
// walk rules; nothing is created.
void CollectUnstored(const std::string& sourceDir, const std::string& targetDir,
                     const store::MaskList& masks, bool include,
                     const std::vector<store::DirectoryId>& leftOut, VerifyObserver& observer,
                     std::vector<std::string>& out) {
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(sourceDir, entries)) return;
  const platform::OpenDirectory target(targetDir);  // a missing one is reached by its path
  for (const platform::DirEntry& entry : entries) {
    if (entry.info.isRegular) {
      if (store::IsFileSelected(entry.info.times.lastWrite, target, entry.name, masks, include)) {
        out.push_back(platform::JoinPath(sourceDir, entry.name));
      }
    } else if (entry.info.isDirectory && !entry.info.isSymlink && entry.name[0] != '.') {
      const store::DirectoryId id{entry.info.device, entry.info.inode};
      if (std::find(leftOut.begin(), leftOut.end(), id) == leftOut.end()) {
        CollectUnstored(platform::JoinPath(sourceDir, entry.name),
                        store::SubTargetDirectory(targetDir, entry.name), masks, include,
                        leftOut, observer, out);
      }
    }
    observer.ProcessMessages();
  }
}

}  // namespace

ZipReaderTester::ZipReaderTester(archive::TZipReader& reader) : reader_(reader) {}

std::string ZipReaderTester::Test(const std::string& archivePath) {
  struct Closer {
    archive::TZipReader& reader;
    ~Closer() { reader.ResetArchive(); }
  } closer{reader_};
  try {
    reader_.SetZipName(archivePath);
    reader_.ReadZip();
    if (reader_.Count() != 1) {
      return "it holds " + std::to_string(reader_.Count()) + " entries, not one";
    }
    const std::string expected = TargetNameOf(platform::BaseName(archivePath));
    const std::string stored = reader_.Entry(0).StoredName();
    if (stored != expected) {
      return "its entry is named " + Quoted(stored) + ", not " + Quoted(expected);
    }
    if (reader_.TestZip() != 1) return "its data does not match the stored CRC-32 and size";
  } catch (const archive::EUserCanceled&) {
    throw;
  } catch (const archive::EZipError& error) {
    return error.what();
  }
  return {};
}

int VerifyResult::ArchivesTested() const {
  int n = 0;
  for (const FolderVerifyResult& folder : folders) n += folder.archivesTested;
  return n;
}
int VerifyResult::Damaged() const {
  int n = 0;
  for (const FolderVerifyResult& folder : folders) n += static_cast<int>(folder.damaged.size());
  return n;
}
int VerifyResult::NotBackedUp() const {
  int n = 0;
  for (const FolderVerifyResult& folder : folders) {
    n += static_cast<int>(folder.notBackedUpFiles.size());
  }
  return n;
}
int VerifyResult::BackupsMissing() const {
  return static_cast<int>(std::count_if(
      folders.begin(), folders.end(), [](const FolderVerifyResult& f) { return !f.backupFound; }));
}

std::string VerifyStartLog(const std::string& project) {
  return "Verifying project " + Quoted(project) + "...";
}
// The figures come first: the log keeps 100 characters, and a long path is cut, not them.
std::string VerifyFolderLog(const FolderVerifyResult& folder) {
  return std::to_string(folder.archivesTested) + " archives tested, " +
         std::to_string(folder.damaged.size()) + " damaged, " +
         std::to_string(folder.notBackedUpFiles.size()) +
         " files not backed up: " + Quoted(folder.path);
}
std::string DamagedArchiveLog(const std::string& archiveName) {
  return "Damaged archive " + Quoted(archiveName) + "!";
}
std::string NoBackupLog(const std::string& path) {
  return "No backup of folder " + Quoted(path) + " found!";
}
std::string VerifyEndLog(const VerifyResult& result) {
  return "Verifying complete: " + std::to_string(result.ArchivesTested()) + " archives tested, " +
         std::to_string(result.Damaged()) + " damaged, " + std::to_string(result.NotBackedUp()) +
         " files not backed up.";
}
std::string NoBackupLine(const FolderVerifyResult& folder) {
  return "No backup of folder " + Quoted(folder.path) + " found in " + Quoted(folder.backupFolder);
}
std::string DamagedArchiveLine(const DamagedArchive& damaged) {
  return "Damaged archive " + Quoted(damaged.path) + ": " + damaged.reason;
}

std::string VerifyReport(const std::string& project, const VerifyResult& result,
                         std::size_t maxListed, std::size_t maxFiles) {
  if (!result.refusal.empty()) return result.refusal + "\n";
  std::string text = "Project " + Quoted(project) + "\n";
  auto more = [&](std::size_t total, std::size_t shown) {
    if (total > shown) text += "  ... and " + std::to_string(total - shown) + " more\n";
  };
  for (const FolderVerifyResult& folder : result.folders) {
    text += "Folder " + Quoted(folder.path) + ": ";
    if (!folder.backupFound) {
      text += "no backup found" +
              (folder.backupFolder.empty() ? std::string() : " in " + Quoted(folder.backupFolder)) +
              ", ";
    }
    text += std::to_string(folder.archivesTested) + " archives tested, " +
            std::to_string(folder.damaged.size()) + " damaged, " +
            std::to_string(folder.notBackedUpFiles.size()) + " files not backed up\n";
    const std::size_t damagedShown = std::min(folder.damaged.size(), maxListed);
    for (std::size_t k = 0; k < damagedShown; ++k) {
      text += "  damaged: " + folder.damaged[k].path + " (" + folder.damaged[k].reason + ")\n";
    }
    more(folder.damaged.size(), damagedShown);
    const std::size_t filesShown = std::min(folder.notBackedUpFiles.size(), maxFiles);
    for (std::size_t k = 0; k < filesShown; ++k) {
      text += "  not backed up: " + folder.notBackedUpFiles[k] + "\n";
    }
    if (maxFiles > 0) more(folder.notBackedUpFiles.size(), filesShown);
  }
  text += "Total: " + std::to_string(result.ArchivesTested()) + " archives tested, " +
          std::to_string(result.Damaged()) + " damaged, " + std::to_string(result.NotBackedUp()) +
          " files not backed up\n";
  return text;
}

TVerifyRun::TVerifyRun(catalogue::TCatalogue& catalogue, ArchiveTester& tester,
                       VerifyObserver& observer)
    : catalogue_(catalogue), tester_(tester), observer_(observer) {}

VerifyResult TVerifyRun::Run(const std::string& project) {
  VerifyResult result;
  catalogue_.AddLogEntry(VerifyStartLog(project));
  catalogue::TProjectRecord record;
  result.projectFound = catalogue_.GetProject(project, record);
  const std::string storeFolder = record.StoreFolder;
  const store::StoreFolderProblem problem = store::CheckStoreFolder(storeFolder);
  if (!result.projectFound || problem != store::StoreFolderProblem::None) {
    // A root store folder would have the user's own "*.zip" files tested as archives.
    result.refusal = !result.projectFound
                         ? store::UnknownProjectText(project)
                         : store::StoreFolderRefusalText(project, storeFolder, problem);
    catalogue_.AddLogEntry(result.refusal);
    catalogue_.AddLogEntry("");
    return result;
  }
  catalogue::TFolderRecord folder;
  for (bool found = catalogue_.FirstFolder(project, folder); found;
       found = catalogue_.NextFolder(project, folder)) {
    FolderVerifyResult& folderResult = result.folders.emplace_back();
    folderResult.path = folder.Path;
    VerifyFolder(storeFolder, folder.Path, folder.Masks, folder.Include, folderResult);
    if (!folderResult.backupFound) catalogue_.AddLogEntry(NoBackupLog(folderResult.path));
    catalogue_.AddLogEntry(VerifyFolderLog(folderResult));
    for (const DamagedArchive& damaged : folderResult.damaged) {
      catalogue_.AddLogEntry(DamagedArchiveLog(platform::BaseName(damaged.path)));
    }
  }
  catalogue_.AddLogEntry(VerifyEndLog(result));
  catalogue_.AddLogEntry("");
  return result;
}

void TVerifyRun::VerifyFolder(const std::string& storeFolder, const std::string& path,
                              const std::string& masks, bool include, FolderVerifyResult& result) {
  observer_.FolderStarted(path);
  result.backupFolder = store::BackupFolder(storeFolder, path);
  result.backupFound = platform::DirectoryExists(result.backupFolder);
  if (result.backupFound) TestTree(result.backupFolder, result);

  const std::string sourceRoot = store::SourceFolderPath(path);
  // The store and the chain from it to the backup folder, known by device and inode as the
  // backup run knows them, so that a link on either side does not hide them.
  std::vector<store::DirectoryId> leftOut;
  const std::string storeRoot = platform::AbsolutePath(storeFolder);
  std::vector<std::string> chain = {storeRoot};
  for (std::string dir = platform::AbsolutePath(result.backupFolder); IsBelow(dir, storeRoot);
       dir = platform::ParentPath(dir)) {
    chain.push_back(dir);
  }
  for (const std::string& dir : chain) {
    store::DirectoryId id;
    if (store::GetDirectoryId(dir, id)) leftOut.push_back(id);
  }
  CollectUnstored(sourceRoot, result.backupFolder, store::MaskList(masks), include, leftOut,
                  observer_, result.notBackedUpFiles);
}

void TVerifyRun::TestTree(const std::string& backupDir, FolderVerifyResult& result) {
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(backupDir, entries)) {
    result.damaged.push_back({backupDir, "the directory cannot be listed"});
    return;
  }
  for (const platform::DirEntry& entry : entries) {
    if (entry.info.isDirectory) {
      if (entry.name[0] != '.' && !entry.info.isSymlink) {
        TestTree(store::SubTargetDirectory(backupDir, entry.name), result);
      }
    } else if (entry.info.isRegular && IsArchiveName(entry.name)) {
      const std::string archivePath = platform::JoinPath(backupDir, entry.name);
      ++result.archivesTested;
      const std::string reason = tester_.Test(archivePath);
      if (!reason.empty()) {
        result.damaged.push_back({archivePath, reason});
        observer_.ArchiveDamaged(archivePath, reason);
      }
    }
    observer_.ProcessMessages();
  }
}

}  // namespace restore
