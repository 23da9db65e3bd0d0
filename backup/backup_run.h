// The backup run: processes one project, or every project, into one-entry archives in the
// store folder, logging every step.
//
// Usage (the main window's Start! and Start all projects, the command line, tests):
//
//   backup::BackupRun run(catalogue, archiver, observer);
//   run.ProcessProject("Docs");          // or run.ProcessAllProjects();
//   if (run.Totals().failed > 0) ...
//
// A run is synchronous and reports through the observer (observer.h states the threading
// contract). A file that cannot be stored is logged, optionally shown, and never stops the
// run. An error raised by the catalogue or the log (catalogue::ECatalogueError) ends the run:
// the observer's RunFinished is called first (so the progress window goes), then the error
// is passed on to the caller, which shows it.
//
// A store never destroys the previous backup of a file: the new archive is written under a
// temporary name beside the old one and replaces it by an atomic rename only after the
// writer stored the file and the source's times were set on it. On any failure the
// temporary file is removed and the old archive stays.
#pragma once

#include <string>

#include "backup/archiver.h"
#include "backup/observer.h"
#include "catalogue/catalogue.h"

namespace backup {

// The temporary archive of a store lies beside the archive, under the archive's name
// followed by this suffix (never ending in ".ZIP", so nothing else takes it for an archive).
inline constexpr char kTemporarySuffix[] = ".vrn-tmp";

class BackupRun {
 public:
  struct RunTotals {
    int stored = 0;  // files stored
    int failed = 0;  // files logged as not stored
  };

  BackupRun(catalogue::TCatalogue& catalogue, Archiver& archiver, BackupObserver& observer);

  // Start!: processes the project's folders in catalogue order until cancelled, marks every
  // folder reached as stored, and logs the run. An unknown name finds no folders. The
  // caller refuses an empty name (with a beep) before calling.
  void ProcessProject(const std::string& project);
  // Start all projects: ProcessProject for every live project in catalogue order. A cancel
  // ends only the project in progress.
  void ProcessAllProjects();

  // One folder record: forms and creates its backup folder and walks the source tree,
  // storing every selected file. The store folder (and the directories leading from it to
  // this folder's backup folder) are left out of the walk when they lie inside the tree.
  void ProcessFolder(const std::string& storeFolder, const std::string& path,
                     const std::string& masks, bool include, bool raiseErrors, int level);
  // Stores the file name of sourceDir into targetPath + ".ZIP" and logs the outcome.
  // True when stored.
  bool StoreFile(const std::string& sourceDir, const std::string& name,
                 const std::string& targetPath, int level);

  // What the runs since construction stored and failed to store.
  const RunTotals& Totals() const { return totals_; }

 private:
  // The store itself, without logging: true when the new archive replaced the old one.
  bool WriteArchive(const std::string& sourcePath, const std::string& archivePath, int level,
                    bool& writerFailed);

  catalogue::TCatalogue& catalogue_;
  Archiver& archiver_;
  BackupObserver& observer_;
  RunTotals totals_;
};

// The log texts of a run, exactly as they are written.
std::string RunStartText(const std::string& project);
std::string FolderStartText(const std::string& path);
std::string FileStoredText(const std::string& filePath);
std::string FileNotStoredText(const std::string& filePath);
std::string FolderEndText(const std::string& path);
inline constexpr char kRunEndText[] = "Process comleted!";
// The box shown for a file that could not be stored when the project raises errors.
std::string UnableToProcessText(const std::string& targetPath);

}  // namespace backup
