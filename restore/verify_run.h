// The verify run: checks a project's backup without writing anything anywhere.
//
// For every folder of the project, in catalogue order:
//   - every archive of its backup folder (walked as the restore run walks it) is opened and
//     tested: it must hold exactly one entry, named as the archive less ".ZIP", whose data
//     decodes to the stored CRC-32 and size. Anything else makes it damaged;
//   - every file of the source tree that the next backup run would store (selected by the
//     folder's masks, and without an archive or with one whose time lies in another minute)
//     is counted as not yet backed up. The walk follows the backup run's rules (no
//     dot-directories, no linked directories, the store folder left out by device and
//     inode) but creates nothing.
// The summary of each folder, the name of every damaged archive and the totals go to the
// event log and to the observer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"

namespace archive {
class TZipReader;
}  // namespace archive

namespace restore {

// Tests one archive. Returns an empty text when it is sound, else what is wrong with it.
class ArchiveTester {
 public:
  virtual ~ArchiveTester() = default;
  virtual std::string Test(const std::string& archivePath) = 0;
};

// The archive reader as the verify run's tester. The reader is configured as for the restore
// run (ConfigureReaderForRestore); TestZip writes nothing.
class ZipReaderTester : public ArchiveTester {
 public:
  explicit ZipReaderTester(archive::TZipReader& reader);
  std::string Test(const std::string& archivePath) override;

 private:
  archive::TZipReader& reader_;
};

struct DamagedArchive {
  std::string path;    // the archive (or a backup directory that cannot be listed)
  std::string reason;  // what is wrong with it
};

struct FolderVerifyResult {
  std::string path;          // the folder as the catalogue holds it
  std::string backupFolder;  // where its archives lie
  bool backupFound = false;  // the backup folder could be listed
  int archivesTested = 0;
  std::vector<DamagedArchive> damaged;
  std::vector<std::string> notBackedUpFiles;  // source files the next backup would store
};

struct VerifyResult {
  bool projectFound = false;
  // Why the project was refused before any folder (unknown, no store folder, a store folder
  // that is the root); empty when the run went through its folders.
  std::string refusal;
  std::vector<FolderVerifyResult> folders;

  int ArchivesTested() const;
  int Damaged() const;
  int NotBackedUp() const;
  int BackupsMissing() const;
  // Nothing damaged and every folder's backup found.
  bool Sound() const { return refusal.empty() && Damaged() == 0 && BackupsMissing() == 0; }
};

// How the run reports while it goes. Same threading contract as RestoreObserver: called on
// the caller's thread, in order, synchronously.
class VerifyObserver {
 public:
  virtual ~VerifyObserver() = default;
  virtual void FolderStarted(const std::string& /*path*/) {}
  // One archive was found damaged (reason says why).
  virtual void ArchiveDamaged(const std::string& /*archivePath*/, const std::string& /*reason*/) {}
  // Let pending window messages be handled.
  virtual void ProcessMessages() {}
};

// Texts of the run, exactly as the log holds them.
std::string VerifyStartLog(const std::string& project);  // Verifying project "<P>"...
std::string VerifyFolderLog(const FolderVerifyResult& folder);
std::string DamagedArchiveLog(const std::string& archiveName);  // Damaged archive "<A>"!
std::string VerifyEndLog(const VerifyResult& result);
std::string NoBackupLog(const std::string& path);  // No backup of folder "<path>" found!
// The lines of standard error without a display.
std::string NoBackupLine(const FolderVerifyResult& folder);
std::string DamagedArchiveLine(const DamagedArchive& damaged);

// The report of a run as the user reads it: a line per folder with its figures, then its
// damaged archives (at most maxListed, path and reason) and the files not yet backed up (at
// most maxFiles), and the totals. A list cut short ends in "... and N more".
std::string VerifyReport(const std::string& project, const VerifyResult& result,
                         std::size_t maxListed, std::size_t maxFiles);

class TVerifyRun {
 public:
  TVerifyRun(catalogue::TCatalogue& catalogue, ArchiveTester& tester, VerifyObserver& observer);
  // Verifies every folder of the project and logs the outcome. A project that is unknown,
  // or whose store folder is missing or the root (store::CheckStoreFolder), is refused
  // before any folder: logged, and the text given in refusal. Catalogue errors pass on.
  VerifyResult Run(const std::string& project);

 private:
  void VerifyFolder(const std::string& storeFolder, const std::string& path,
                    const std::string& masks, bool include, FolderVerifyResult& result);
  void TestTree(const std::string& backupDir, FolderVerifyResult& result);

  catalogue::TCatalogue& catalogue_;
  ArchiveTester& tester_;
  VerifyObserver& observer_;
};

}  // namespace restore
