// The catalogue: projects, their source folders and the event log, kept in three files of
// fixed-size records (layouts in catalogue/records.h).
//
// Usage: the application owns one TCatalogue, calls OpenCatalogue once at start-up and
// CloseCatalogue at shutdown. Everything runs on the caller's thread; nothing is locked.
//
// Contract of every operation:
// - Deleted records (Live = false) are invisible; ids and record positions never change.
// - Names and paths match when platform::UpperCase of both is equal byte for byte ("docs"
//   matches "DOCS", "é" matches "É"); nothing is trimmed, so "/data" and "/data/" differ.
// - Texts are UTF-8 and are cut to their field's capacity in bytes, on a character
//   boundary (names 50, store folders and paths 255, masks and log texts 100). A name or
//   path is cut before it is compared, so a value always addresses what it was stored as,
//   and two values that share their first 50 (255) bytes are the same project (folder).
// - Refusals (duplicate, unknown project, empty path) come back as false / 0 / no effect,
//   without a message: the caller chooses one.
// - Every change is written to its file before the call returns (one write of exactly the
//   record size, no cache). Any file failure raises ECatalogueError (catalogue_error.h)
//   carrying the system's error code and the file name; whatever was written before the
//   failure stays written. A file whose length is not a whole number of records fails with
//   a read error as soon as a scan reaches its incomplete last record, before anything is
//   written.
// - Folder operations name their project; a name that no live project has makes them
//   return false / 0 / do nothing, without touching the folder file.
// - Enumerations (First/Next) keep one cursor per file, so any other operation, including
//   in-place updates such as MarkFolderStored, may run between First and Next; only a new
//   First of the same file restarts it. Projects and folders enumerate independently.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/catalogue_error.h"
#include "catalogue/record_file.h"
#include "catalogue/records.h"

namespace catalogue {

// The file names the program uses, relative to its working directory. "Rpoject.vrn" is
// misspelt and stays so: every existing catalogue is found under that name.
inline constexpr char kProjectFileName[] = "Rpoject.vrn";
inline constexpr char kFolderFileName[] = "Folder.vrn";
inline constexpr char kLogFileName[] = "Log.vrn";

class TCatalogue {
 public:
  // now gives the local time as an OLE date for Created, LastStored and log entries;
  // tests pass a fixed clock.
  explicit TCatalogue(std::function<double()> now = {});
  TCatalogue(const TCatalogue&) = delete;
  TCatalogue& operator=(const TCatalogue&) = delete;

  // Opens (creating when missing, never truncating) the three files, all three attempted
  // even after a failure. True only when all three are open. Resets both cursors to 0.
  bool OpenCatalogue(const std::string& projectFile, const std::string& folderFile,
                     const std::string& logFile);
  // Closes the project, folder and log files in that order; files that are not open are
  // passed over. Raises on a failed close.
  void CloseCatalogue();
  bool IsOpen() const;

  // --- Projects. Out records carry Name, StoreFolder, Created, RaiseErrors (and Id).
  // False when a live project of that name (after the cut to 50 bytes) exists.
  // The new project's Id is the last record's Id + 1 (1 in an empty file); Created = now.
  bool AddProject(const std::string& name, const std::string& storeFolder, bool raiseErrors);
  // Marks the first matching live project deleted. Its folders stay in the folder file,
  // unreachable. Nothing happens for an unknown name.
  void DeleteProject(const std::string& name);
  bool FirstProject(TProjectRecord& out);
  bool NextProject(TProjectRecord& out);
  bool GetProject(const std::string& name, TProjectRecord& out);
  // Renames and edits a project (Created = now); Id and folders stay. False when oldName
  // has no live project or newName belongs to another live project.
  bool UpdateProject(const std::string& oldName, const std::string& newName,
                     const std::string& storeFolder, bool raiseErrors);
  // The Id of the live project of that name, 0 if none.
  std::int32_t ProjectId(const std::string& name);
  // Empties the folder file, then the project file; ids restart at 1. The log stays.
  void ClearCatalogue();
  static std::string BoolToText(bool flag);  // "TRUE" / "FALSE"

  // --- Folders of a project. Out records carry Path, Masks, Include, LastStored, Level.
  // False for an unknown project, an empty path or a path the project already has.
  // LastStored starts at 0.0 (never). level is stored as one byte (callers give 1..9).
  bool AddFolder(const std::string& projectName, const std::string& path, const std::string& masks,
                 bool include, int level);
  void DeleteFolder(const std::string& projectName, const std::string& path);
  // False for an unknown project or oldPath, an empty newPath, or a newPath another folder
  // of the project has. A path that changes other than in letter case resets LastStored.
  bool UpdateFolder(const std::string& projectName, const std::string& oldPath,
                    const std::string& newPath, const std::string& masks, bool include, int level);
  bool GetFolder(const std::string& projectName, const std::string& path, TFolderRecord& out);
  // The project's live folders in the order they were added.
  bool FirstFolder(const std::string& projectName, TFolderRecord& out);
  bool NextFolder(const std::string& projectName, TFolderRecord& out);
  // Sets the folder's LastStored to now; false when the folder is not found.
  bool MarkFolderStored(const std::string& projectName, const std::string& path);
  int CountFolders(const std::string& projectName);
  void DeleteAllFolders(const std::string& projectName);

  // --- Event log.
  // Appends text (cut to 100 bytes) stamped now. A failed write raises and leaves the log
  // a whole number of records (TRecordFile::Append).
  void AddLogEntry(const std::string& text);
  // Keeps text, stamped now, for the log's next write, so that the lines of many files go
  // out in one write. Every other call on the log (and CloseCatalogue) writes what is kept
  // first, in order; FlushLog writes it now. A failed write raises, and what was kept is
  // gone with it.
  void KeepLogEntry(const std::string& text);
  void FlushLog();
  std::size_t KeptLogEntries() const { return keptLog_.size() / kLogRecordSize; }
  // Appends one line per entry, oldest first, to *lines (not cleared first):
  // platform::TimestampText(Time) + "   " + Text. Does nothing when lines is null.
  void LoadLog(std::vector<std::string>* lines);
  // Empties the log file; the project and folder files are untouched.
  void ClearLog();

 private:
  double Now() const;
  // Scans from record 0 for the first live project whose upper-cased name equals
  // upperName; on success out holds it and the file stands just after it.
  bool FindProject(const std::string& upperName, TProjectRecord& out);
  bool FindFolder(std::int32_t ownerId, const std::string& upperPath, TFolderRecord& out);
  bool NextProjectFrom(std::int32_t start, TProjectRecord& out);
  bool NextFolderFrom(std::int32_t ownerId, std::int32_t start, TFolderRecord& out);
  bool ReadProject(TProjectRecord& out);
  bool ReadFolder(TFolderRecord& out);
  void RewriteProject(const TProjectRecord& record);
  void RewriteFolder(const TFolderRecord& record);

  std::function<double()> now_;
  TRecordFile projectFile_{kProjectFileName, kProjectRecordSize};
  TRecordFile folderFile_{kFolderFileName, kFolderRecordSize};
  TRecordFile logFile_{kLogFileName, kLogRecordSize};
  std::vector<std::uint8_t> keptLog_;  // whole encoded records, oldest first
  std::int32_t projectCursor_ = 0;
  std::int32_t folderCursor_ = 0;
};

}  // namespace catalogue
