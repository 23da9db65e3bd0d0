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
// contract). A file that cannot be stored is logged, its reason reported
// (observer.ReportFailure), shown when the project raises errors, and never stops the run;
// so is a directory that cannot be read. A project that cannot run at all (unknown, no
// store folder, a store folder that is the root) is refused before any folder: logged and
// shown. Totals() counts all of it, and Complete() is false after any of it. An error
// raised by the catalogue or the log (catalogue::ECatalogueError) ends the run: the
// observer's RunFinished is called first (so the progress window goes), then the error is
// passed on to the caller, which shows it.
//
// A store never destroys the previous backup of a file: the new archive is written under a
// temporary name beside the old one (backup/temporary.h) and replaces it by an atomic rename
// only after the writer stored the file, the file was found unchanged by the read (size,
// last-write time to the nanosecond, identity), and the source's times were set on the new
// archive. On any failure the temporary file is removed and the old archive stays; a file
// that changed is stored by the next run, since its archive keeps the older time.
//
// Several files at once (SetWorkers): the walk stays on the run thread and hands each
// selected file to a worker, which writes the temporary archive with its own archiver and
// checks the file; the run thread takes the results back strictly in walk order, renames
// each archive into place and logs, reports and shows it there. At most 16 files per worker
// are in flight, also across subdirectories; every one is committed before the run logs a
// folder that could not be read and before a folder ends, so Cancel between folders, the
// log, the boxes and the archives are those of a run with one worker. A run ended by an
// error drops the results not yet committed with their temporary files, and removes the
// mirror directories the walk made ahead of them, as a run with one worker never wrote them.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "backup/archiver.h"
#include "backup/observer.h"
#include "backup/temporary.h"
#include "backup/walk.h"
#include "catalogue/catalogue.h"
#include "platform/file_info.h"
#include "store/worker_pool.h"

namespace backup {

// True when the file's state after it was read differs from the state before: another
// size, another last-write time (to the nanosecond) or another file under the name. A
// store of such a file may hold a mix of old and new content.
bool FileChangedWhileRead(const platform::FileInfo& before, const platform::FileInfo& after);

class BackupRun {
 public:
  struct RunTotals {
    int stored = 0;           // files stored
    int failed = 0;           // files logged as not stored (changed ones included)
    int foldersFailed = 0;    // directories that could not be read, source folders included
    int projectsRefused = 0;  // projects not run: unknown, or their store folder refused
    // Everything that should have been stored was.
    bool Complete() const { return failed == 0 && foldersFailed == 0 && projectsRefused == 0; }
  };

  BackupRun(catalogue::TCatalogue& catalogue, Archiver& archiver, BackupObserver& observer);
  ~BackupRun();
  BackupRun(const BackupRun&) = delete;
  BackupRun& operator=(const BackupRun&) = delete;

  // Stores files on count worker threads from the next folder on, each worker with its
  // own archiver made by make (on the calling thread). A count of 1 or less stores on the
  // run thread with the archiver given at construction, as before.
  void SetWorkers(int count, std::function<std::unique_ptr<Archiver>()> make);

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
  // False when the source folder could not be read (it is then logged and counted); an
  // empty store folder walks nothing and gives false as well.
  bool ProcessFolder(const std::string& storeFolder, const std::string& path,
                     const std::string& masks, bool include, bool raiseErrors, int level);
  // Stores the file name of dirs.source into its archive in dirs.target (name + ".ZIP")
  // and logs the outcome. True when stored.
  bool StoreFile(const WalkLevel& dirs, const std::string& name, int level);

  // What the runs since construction stored and failed to store.
  const RunTotals& Totals() const { return totals_; }

 private:
  struct StoreOutcome {
    bool stored = false;
    bool prepared = false;      // the temporary archive is complete, only the rename is left
    bool changed = false;       // the file changed while it was read
    bool writerFailed = false;  // the writer raised an error
    std::string reason;         // why not stored, in words
    std::string temporary;      // the prepared archive's bare name, in the target directory
  };
  struct PendingStore;
  struct SideJob;
  using Pool = store::WorkerPool<Archiver>;

  // The store itself, without logging: everything up to the rename (any thread), then
  // the rename (the run thread, in walk order).
  static StoreOutcome PrepareArchive(Archiver& archiver, const WalkLevel& dirs,
                                     const std::string& name, int level);
  static void FinishArchive(StoreOutcome& outcome, const platform::OpenDirectory& target,
                            const std::string& name, const std::string& archivePath);
  // Reports, logs and counts one store attempt; true when stored.
  bool ReportStore(const std::string& filePath, const StoreOutcome& outcome);
  // The worker side: hand a file out, commit finished results in order.
  void SubmitStore(const std::shared_ptr<const WalkLevel>& dirs, const std::string& name,
                   int level, bool raiseErrors);
  // Runs second on a worker while first runs here; returns when both ended.
  void RunBoth(const std::function<void()>& first, const std::function<void()>& second);
  void CommitOldest();
  void CommitFinished();
  void CommitAll();
  void AbandonPending();
  // Logs, shows and counts a project that cannot run.
  void RefuseProject(const std::string& text);

  catalogue::TCatalogue& catalogue_;
  Archiver& archiver_;
  BackupObserver& observer_;
  RunTotals totals_;
  int workers_ = 1;
  std::function<std::unique_ptr<Archiver>()> makeArchiver_;
  std::unique_ptr<Pool> pool_;
  std::deque<std::shared_ptr<PendingStore>> pending_;  // walk order
  std::uint64_t submitted_ = 0;  // stores handed to the workers, ever
  std::uint64_t committed_ = 0;  // of them, the ones taken back
  // Target directories the walk made while stores were pending, each with the number of
  // stores submitted before it: they go again when the run ends before those are committed.
  std::deque<std::pair<std::uint64_t, std::string>> madeAhead_;
};

// The log texts of a run, exactly as they are written. The misspellings ("succefully",
// "comleted") stay: existing logs hold them and users' scripts search the log for them.
std::string RunStartText(const std::string& project);
std::string FolderStartText(const std::string& path);
std::string FileStoredText(const std::string& filePath);
std::string FileNotStoredText(const std::string& filePath);
std::string FolderEndText(const std::string& path);
std::string FileChangedText(const std::string& filePath);
std::string FolderNotReadText(const std::string& path);
inline constexpr char kRunEndText[] = "Process comleted!";
// The box shown for a file that could not be stored when the project raises errors.
std::string UnableToProcessText(const std::string& targetPath);
// The box for a directory that could not be read when the project raises errors.
std::string UnableToProcessFolderText(const std::string& path);
// The lines of standard error without a display: what failed, and why.
std::string StoreFailureLine(const std::string& filePath, const std::string& reason);
std::string FolderFailureLine(const std::string& path, const std::string& reason);

}  // namespace backup
