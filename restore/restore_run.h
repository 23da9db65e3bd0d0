// The restore run: unpacks the per-file archives of a project's store folder back onto disk.
//
// Each source folder's backup folder (store/placement.h) mirrors the source tree, and every
// file F lies alone in the archive F.ZIP of its directory's mirror. The run walks a backup
// folder depth first in listing order, decides per archive by the chosen option, the file
// times and the user's answers whether to unpack it, unpacks it into the matching directory
// of the destination and gives the restored file the archive's times, which the backup run
// copied from the source file.
//
// Paths are explicit throughout: the run never changes the process's current directory. A
// relative folder path or destination is resolved against the current directory. The backup
// directory and the destination directory the walk is in are held open while their archives
// are unpacked, so that an archive a dozen directories deep does not resolve both whole
// paths again: a destination moved away meanwhile receives the rest of its files where it
// went; one removed is made again at its path.
//
// An archive fails alone: whatever the reader makes of it (a damaged entry, a cut or foreign
// file, a target that cannot be created) is logged "Error unpacking file ...", counted,
// reported with its reason, and the run goes on with the next archive. Only errors of the
// catalogue (the log) and a cancel end the run; the caller shows them.
//
// The reader writes each file under a temporary name beside its target first. A run that
// was killed leaves those behind; every directory the run restores into is cleared of them
// (see IsStaleUnpackTemporary) before anything is unpacked there.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/directory.h"
#include "platform/file_info.h"
#include "platform/file_time.h"
#include "store/worker_pool.h"

namespace restore {

// What to do with a file that the destination may already hold (the window's RadioGroup2).
enum class RestoreOption {
  RewriteAll = 0,    // "Rewrite all files": every archive, asking first when prompted
  AppendMissed = 1,  // "Append missed": only files the destination lacks, never asking
  Refresh = 2,       // "Refresh": files whose last-write time lies in another minute
};

// The answers of the overwrite question.
enum class ReplaceAnswer { Yes, No, Abort, All };

// Texts of the run, exactly as the user and the log see them. "complette" (in every existing
// log) and "Are you want to replace" stay as they are: users and their scripts know them.
inline constexpr std::string_view kLogStarting = "Starting restore process...";
inline constexpr std::string_view kLogComplete = "Restoring complette!";
inline constexpr std::string_view kNoDestinationMessage = "You must specify destination folder!";
inline constexpr std::string_view kNoBackupMessage =
    "Can't find backup for selected folder, restoring failed!";
std::string RestoringFolderLog(const std::string& destination);  // Restoring folder "<T>"...
std::string FolderRestoredLog(const std::string& destination);   // Folder "<T>" restored.
std::string FolderFailedLog(const std::string& destination);     // Unable to restore folder "<T>"!
std::string UnpackedLog(const std::string& archiveName);         // File "<A>" was unpacked.
std::string UnpackErrorLog(const std::string& archiveName);      // Error unpacking file "<A>"!
std::string ReplaceQuestion(const std::string& targetPath);  // Are you want to replace file ...?
// The line of standard error without a display for an archive not unpacked.
std::string UnpackFailureLine(const std::string& archivePath, const std::string& reason);

// How the run talks to the user.
//
// Threading contract: every call is made synchronously on the thread that called the run
// (the user-interface thread), in the order of the run, and the run waits for it to
// return. ProcessMessages may re-enter the caller's event loop; the caller must keep the
// user from starting anything that touches the run's catalogue, reader or observer until
// the run has returned (the restore window disables its controls). No call is made after
// the run has returned.
class RestoreObserver {
 public:
  virtual ~RestoreObserver() = default;
  // The progress range of the run: one step per folder, position back at 0.
  virtual void ProgressStarted(int folderCount) = 0;
  // A folder's source path, shown while it is restored.
  virtual void FolderStarted(const std::string& sourcePath) = 0;
  // The archive being unpacked, as destination directory + "/" + archive name; the caller
  // repaints what shows it at once.
  virtual void ArchiveStarted(const std::string& targetAndArchive) = 0;
  // One folder is done: step the progress by one.
  virtual void FolderFinished() = 0;
  // Let pending window messages be handled (repaints).
  virtual void ProcessMessages() = 0;
  // An error message in a box captioned "Error!" with an OK button.
  virtual void ShowError(const std::string& text) = 0;
  // The overwrite question: a box captioned "Confirm" with the question icon, the text and
  // the buttons Yes, No, Abort and All.
  virtual ReplaceAnswer AskReplace(const std::string& question) = 0;
  // The archive at archivePath was not unpacked, for reason (the reader's message or what
  // came out of the archive). The log already says "Error unpacking file ..."; a caller
  // without a window passes the reason on, the window shows nothing more.
  virtual void ArchiveFailed(const std::string& /*archivePath*/, const std::string& /*reason*/) {}
};

// One archive as the walk hands it out.
struct ArchiveJob {
  std::string archivePath;  // the archive: its directory's path, "/", its name
  std::string destDir;      // where its file goes
  std::string targetName;   // the file's name there: the archive's name without ".ZIP"
  // The archive's times (read before it was opened), for the restored file. When lastWrite
  // is 0 the walk did not read them: the unpacker takes them from the archive it opens,
  // before reading it, and reports them in ArchiveResult::times.
  platform::FileTimes times;
  // The archive's directory and destDir, held open by the walk while it is in them, so
  // that an archive does not resolve their whole paths again; either may be null.
  std::shared_ptr<const platform::OpenDirectory> archiveDirectory;
  std::shared_ptr<const platform::OpenDirectory> destination;
  // The walk made destDir itself and has put nothing named targetName there since.
  bool targetAbsent = false;
};

// What Restore did with an archive.
struct ArchiveResult {
  int count = 0;            // as Unpack returns it
  bool timesGiven = false;  // the restored file has the job's times already
  // The one file the archive held bears another name than the target: the target was not
  // written, and is not the run's to date.
  bool otherName = false;
  // The archive's times as the unpacker found them, for a job without times.
  platform::FileTimes times;
};

// The archive reader as the run uses it, one archive at a time.
class ArchiveUnpacker {
 public:
  virtual ~ArchiveUnpacker() = default;
  // Extracts every file entry of the archive at archivePath into destDir under its bare
  // name, replacing an existing file without asking, and returns the number of files
  // extracted with a good CRC. An entry that fails leaves any file of that name that was
  // there before intact. Errors of the reader (not a ZIP file, a file that cannot be
  // created) are raised as the archive layer's EZipError classes.
  virtual int Unpack(const std::string& archivePath, const std::string& destDir) = 0;
  // Unpack of the walk's job. An unpacker may use the held directories and give the
  // archive's only file the job's times (or the archive's own, for a job without them)
  // itself, when that file is destDir/targetName (then timesGiven); the run gives them by
  // path otherwise. By default: the archive's times are read when the job has none, then
  // Unpack; no times given.
  virtual ArchiveResult Restore(const ArchiveJob& job);
  // What the last Unpack kept for the window: an unpacker of a worker cannot show the
  // reader's boxes itself (the window belongs to the run thread), so it keeps them, and the
  // run calls this when it takes that archive's result, where the boxes would have come.
  // Called on the worker right after Unpack; empty when nothing was kept.
  virtual std::function<void()> TakeKept() { return nullptr; }
};

// What "Start!" restores.
struct RestoreRequest {
  std::string projectName;
  bool selectedFolderOnly = false;  // false: "All folders"; true: "Selected folder"
  std::string selectedFolder;       // the folder path of the selection (selected mode)
  std::string destination;          // "Restore to:" (selected mode); may be empty
  bool prompt = true;               // "Prompt to overwrite files"
  RestoreOption option = RestoreOption::AppendMissed;
};

// What one run did.
struct RestoreTotals {
  int unpacked = 0;        // archives unpacked
  int failed = 0;          // archives logged "Error unpacking file ..."
  int foldersMissing = 0;  // folders whose backup folder could not be entered
  int foldersSkipped = 0;  // folders not restored for want of a destination
  int staleRemoved = 0;    // temporary files of killed runs removed
  bool refused = false;    // the project was refused before any folder (see Run)

  // True when everything the run set out to restore was restored.
  bool AllRestored() const {
    return !refused && failed == 0 && foldersMissing == 0 && foldersSkipped == 0;
  }
};

// One restore engine; a run is one call of Run. Not thread-safe; see RestoreObserver for
// the threading contract.
class TRestoreRun {
 public:
  TRestoreRun(catalogue::TCatalogue& catalogue, ArchiveUnpacker& unpacker,
              RestoreObserver& observer);
  ~TRestoreRun();
  TRestoreRun(const TRestoreRun&) = delete;
  TRestoreRun& operator=(const TRestoreRun&) = delete;

  // Unpacks on count worker threads from the next run on, each with its own unpacker made
  // by make (on the calling thread). The walk, the questions and everything the observer
  // and the log see stay on the run thread in walk order: an archive is handed out only
  // once its question was answered, a question waits until every archive before it is
  // done and shown, and results are taken back in walk order. A count of 1 or less
  // unpacks on the run thread with the unpacker given at construction.
  void SetWorkers(int count, std::function<std::unique_ptr<ArchiveUnpacker>()> make);

  // The whole run of "Start!" after the user confirmed it: logs the start, clears the run
  // state, restores every folder of the project (or the selected one) and logs the end.
  // A project that is unknown, or whose store folder is missing or the root folder
  // (store::CheckStoreFolder), is refused before any folder: logged, shown through
  // ShowError, and false is returned. A store folder that is "/" would take the user's own
  // "*.zip" files for archives and unpack them over their namesakes.
  bool Run(const RestoreRequest& request);

  // Restores one source folder of the project whose store folder is storeFolder into
  // destination (the folder's own path for "All folders").
  void RestoreFolder(const std::string& storeFolder, const std::string& sourcePath,
                     const std::string& destination, bool prompt, RestoreOption option);

  // Walks the backup directory backupDir and its subdirectories, unpacking into targetDir
  // and the matching subdirectories. False when backupDir is not a directory that can be
  // listed; targetDir is created (one level) in any case.
  bool RestoreTree(const std::string& backupDir, const std::string& targetDir, bool prompt,
                   RestoreOption option);

  // Whether the archive archiveName in backupDir is unpacked into targetDir.
  bool ShouldUnpack(const std::string& backupDir, const std::string& archiveName,
                    const std::string& targetDir, bool prompt, RestoreOption option);

  // Unpacks one archive into targetDir and, when exactly one file came out, gives the
  // restored file the archive's last-access and last-write times. True on success.
  bool UnpackArchive(const std::string& backupDir, const std::string& archiveName,
                     const std::string& targetDir);

  // The user answered Abort: the rest of the run's archives are skipped and no further
  // folder is started.
  bool Aborted() const { return aborted_; }
  // The user answered All: every later archive of the run is unpacked without a question.
  bool YesToAll() const { return yesToAll_; }
  // Clears both and the totals; Run does this at its start.
  void ResetRunState();
  // What the run did since ResetRunState.
  const RestoreTotals& Totals() const { return totals_; }

 private:
  // ShouldUnpack with the archive's times already known (from the directory listing);
  // target, when given, is targetDir held open.
  bool Decide(const platform::FileTimes& archiveTimes, const std::string& archiveName,
              const std::string& targetDir, const platform::OpenDirectory* target, bool prompt,
              RestoreOption option);
  // The unpack itself without the observer: the reader's errors of this archive become
  // failure; the user's cancel and other errors pass on. Any thread.
  static bool UnpackOne(ArchiveUnpacker& unpacker, const ArchiveJob& job, std::string& failure);
  // Counts, logs and reports one archive's outcome.
  void ReportUnpack(const std::string& archivePath, const std::string& archiveName, bool unpacked,
                    const std::string& failure);
  bool Unpack(const ArchiveJob& job, const std::string& archiveName, std::string& failure);
  // Removes the reader's temporaries of killed runs from targetDir (see
  // IsStaleUnpackTemporary), given the names the backup directory lists.
  void RemoveStaleTemporaries(const std::string& targetDir,
                              const std::vector<platform::ListedName>& backupNames);

  // The worker side: hand an archive out, take results back in walk order.
  struct PendingUnpack;
  using Pool = store::WorkerPool<ArchiveUnpacker>;
  void SubmitUnpack(ArchiveJob job, const std::string& archiveName);
  bool IsPendingTarget(const std::string& targetPath) const;
  void CommitOldest();
  void CommitFinished();
  void CommitAll();
  void AbandonPending();

  catalogue::TCatalogue& catalogue_;
  ArchiveUnpacker& unpacker_;
  RestoreObserver& observer_;
  bool aborted_ = false;
  bool yesToAll_ = false;
  RestoreTotals totals_;
  // Files written before this moment cannot be another run's work in progress.
  platform::FileTime runStart_ = 0;
  int workers_ = 1;
  std::function<std::unique_ptr<ArchiveUnpacker>()> makeUnpacker_;
  std::unique_ptr<Pool> pool_;
  std::deque<std::shared_ptr<PendingUnpack>> pending_;  // walk order
  std::size_t submitted_ = 0;  // archives handed to the workers
  std::size_t committed_ = 0;  // of them, taken back or dropped
  // Destination directories the walk made while archives before them were still in flight,
  // with the number handed out by then: a run with one worker would not have made them
  // before those archives were done. If the run ends first, they are removed again with
  // the files unpacked into them (AbandonPending).
  std::deque<std::pair<std::size_t, std::string>> madeAhead_;
};

// True when name ends in ".ZIP" in any letter case (the text from its last ".").
bool IsArchiveName(std::string_view name);
// The restored file's name of an archive name: the name without its last four characters.
std::string TargetNameOf(std::string_view archiveName);

// Whether a file found in a directory the run restores into is a temporary file that the
// archive reader left there when a restore was killed: named kExtractTemporaryPrefix
// (".vrn-unz.") and six letters or digits, a regular file readable and writable by its owner only (mode 0600, as the reader
// creates it), last written before the run began (so not the work of a run going on beside
// this one), and not the name of a file the backup directory holds an archive for (a
// user's own "unzipping" is restored, never removed).
bool IsStaleUnpackTemporary(const platform::DirEntry& entry, platform::FileTime runStart,
                            const std::vector<platform::DirEntry>& backupEntries);

// The pure decision of ShouldUnpack once the run state and the question are out of the way:
// whether option selects a file whose archive was last written at archiveLastWrite, given
// the target's last-write time (0 when the target is missing). needsQuestion tells that
// the answer is subject to the overwrite question when the prompt is on.
struct UnpackDecision {
  bool unpack = false;
  bool needsQuestion = false;
};
UnpackDecision DecideByOption(RestoreOption option, bool prompt,
                              platform::FileTime archiveLastWrite,
                              platform::FileTime targetLastWrite);

}  // namespace restore
