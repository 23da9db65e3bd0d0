// TZipReader: opens a ZIP archive, loads its central directory into the entry lists, gives
// access to the entries, and rebuilds a directory from the local headers when the central
// directory cannot be used.
//
// Lifecycle: no archive (no stream, no directory) -> directory loaded (after ReadZip, or an
// accessor that opens the archive). The directory stays loaded after the stream is closed
// and is reused while ZipName is unchanged and the archive file's modification time and
// size are unchanged. The stream stays open between operations only with KeepZipOpen.
//
// Everything runs synchronously on the caller's thread. Events are optional; their first
// argument is the component that raises them (a TZipWriter raises them as itself).
//
// For the classes built on this one:
//  - TZipWriter (zip_writer.h) derives from TZipReader. It overrides the virtual setters
//    (SetZipName, Set/GetCheckDiskLabels, Set/GetMultiMode) and uses the protected state and
//    operations below: the stream zipStream_, the owning directory directory_ and its view
//    view_, the end record endCentral_, the archive date, OpenArchive / CloseArchive /
//    ReadDirectory / FreeDirectory / BuildView, the comment readers, ProcessMessages and the
//    CRC-32 routine of crc32.h.
//  - Extraction (UnZip, ExtractEntry and their helpers) is implemented in
//    archive/zip_extract*.cpp as members of this class, declared in the marked block below.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/end_central.h"
#include "archive/lfn_file_stream.h"
#include "archive/sorted_zip.h"
#include "archive/zip_errors.h"
#include "archive/zip_header_info.h"
#include "archive/zip_interaction.h"
#include "platform/file_time.h"

namespace platform {
class OpenDirectory;
}

namespace archive {

class TDecodeBuffers;

enum class TUZOverwriteMode { Prompt, Always, Never };
enum class TIncompleteZipMode { izAssumeMulti, izAssumeBad };
enum class TMultiMode { mmNone, mmSpan, mmBlocks };

// Reasons given to OnSkippingFile.
// Extraction writes an entry under this prefix and six random letters or digits in the
// target's directory, mode 0600, and renames it onto the target when it is whole. A name no
// user file is likely to have: a restore removes such files that killed runs left behind.
inline constexpr char kExtractTemporaryPrefix[] = ".vrn-unz.";

inline constexpr int kSkipBadPassword = 0;  // the entry does not decrypt with the password
inline constexpr int kSkipFileExists = 1;   // the target exists and is not overwritten

class TZipReader {
 public:
  TZipReader();
  virtual ~TZipReader();
  TZipReader(const TZipReader&) = delete;
  TZipReader& operator=(const TZipReader&) = delete;

  // --- Published properties (values at construction) -------------------------------------
  int ThisVersion() const { return 217; }
  void SetThisVersion(int) {}  // stays 217

  const std::string& ZipName() const { return zipName_; }
  // Same text: nothing happens (the loaded directory stays, re-validated by the file date).
  // A name ending in "?" asks for the archive through the interaction ("User canceled setting
  // zip file name." when cancelled or without one). A new name frees the directory.
  virtual void SetZipName(const std::string& name);

  const std::string& DestDir() const { return destDir_; }
  // Kept without a trailing "/". "?" asks for a folder ("User canceled Set Desination
  // Directory" when cancelled or without an interaction).
  void SetDestDir(const std::string& path);

  const std::string& RootDir() const { return rootDir_; }
  // Empty clears it; otherwise kept with a trailing "/".
  void SetRootDir(const std::string& text);

  TZipSortMode SortMode() const { return sortMode_; }
  void SetSortMode(TZipSortMode mode) { Sort(mode); }

  bool RecreateDirs = false;
  TUZOverwriteMode OverwriteMode = TUZOverwriteMode::Prompt;
  std::vector<std::string> FilesList;  // patterns of the entries to extract
  bool DoAll = false;
  TIncompleteZipMode IncompleteZipMode = TIncompleteZipMode::izAssumeMulti;
  bool KeepZipOpen = false;
  bool DoProcessMessages = true;
  bool RetainAttributes = true;

  // --- Events -----------------------------------------------------------------------------
  std::function<void(TZipReader& sender, int numFiles, std::int64_t totalBytes, bool& stopNow)>
      OnStartUnZipInfo;
  std::function<void(TZipReader& sender, int percent)> OnFilePercentDone;
  std::function<void(TZipReader& sender, int percent)> OnTotalPercentDone;
  std::function<void(TZipReader& sender, int fileIndex, const std::string& fileName, bool& skip)>
      OnStartUnZip;
  std::function<void(TZipReader& sender, int fileIndex, const std::string& fileName)> OnEndUnZip;
  std::function<void(TZipReader& sender, bool& overWriteIt, int fileIndex, std::string& fileName)>
      OnPromptForOverwrite;
  std::function<void(TZipReader& sender, int reason, const std::string& fileName, int fileIndex)>
      OnSkippingFile;
  std::function<void(TZipReader& sender, int fileIndex, std::string& newPassword)> OnBadPassword;
  std::function<void(TZipReader& sender, std::uint32_t calcCrc, std::uint32_t storedCrc,
                     int fileIndex)>
      OnBadCRC;
  std::function<void(TZipReader& sender, TIncompleteZipMode& mode)> OnInCompleteZip;
  // Installed at construction (DefaultGetNextDisk); a handler may replace it.
  std::function<void(TZipReader& sender, int nextDisk, std::string& fileName)> OnGetNextDisk;

  // --- Public state that is not published ---------------------------------------------------
  std::string Password;
  // Dialogs, message boxes, busy cursor and message pumping; not owned; may be null.
  TZipInteraction* Interaction = nullptr;

  // Directories the caller holds open while it works through many archives in them, so that
  // each archive does not resolve their whole paths again; not owned; may be null. Each is
  // used only where its Path() is the very text it stands for. ZipDirectory: the directory
  // ZipName lies in; the archive is opened through it by its bare name. DestDirectory: the
  // directory DestDir names, into which entries go unless RecreateDirs places them lower.
  // A held destination that was removed meanwhile is left for DestDir resolved (and
  // created) anew, as without it; one that was moved receives the entries where it is.
  const platform::OpenDirectory* ZipDirectory = nullptr;
  const platform::OpenDirectory* DestDirectory = nullptr;

  // Times for the one file of an extraction, in place of its stored date: when set and the
  // selection is exactly one entry, a file, which is written as DestDir/fileName, that file
  // gets these last-access and last-write times through its descriptor before it takes its
  // name. TimesGiven() tells whether the last UnZip did so. With ofArchive, UnZip first sets
  // both times to the archive file's own, as it was when opened (before any of it was read).
  struct TFileTimes {
    std::string fileName;
    platform::FileTime lastAccess = 0;
    platform::FileTime lastWrite = 0;
    bool ofArchive = false;
  };
  std::optional<TFileTimes> ExtractedFileTimes;
  bool TimesGiven() const { return timesGiven_; }
  // A name the caller knows DestDir does not hold (it made DestDir empty and put nothing of
  // that name there since): an entry written under it into DestDir is not first looked for
  // there. Empty: every target is looked for.
  std::string AbsentFileName;

  virtual bool GetCheckDiskLabels() const { return checkDiskLabels_; }
  virtual void SetCheckDiskLabels(bool value) { checkDiskLabels_ = value; }
  virtual TMultiMode GetMultiMode() const { return multiMode_; }
  virtual void SetMultiMode(TMultiMode value) { multiMode_ = value; }
  int NumberOfDisks() const { return numberOfDisks_; }
  int CurrentDisk() const { return currentDisk_; }

  // --- Operations -----------------------------------------------------------------------
  // Clears the cancel request, opens the archive (loading the directory when needed) and
  // closes it again.
  void ReadZip();
  // Closes the archive whatever KeepZipOpen says, frees the directory, clears the end
  // record, one disk, mmNone, and clears ZipName.
  void ResetArchive();
  // Rebuilds the entry view in the given order and keeps the mode.
  void Sort(TZipSortMode mode);
  // Asks a running header scan or extraction to stop ("User Aborted Operation").
  void Cancel() { cancelRequested_ = true; }

  // --- Indexed accessors (the current view); "Index %d is out of range" -------------------
  int Count() const;
  const TZipHeaderInfo& Entry(int index) const;
  std::string Filename(int index) const;
  // The entry's date as an OLE date (local time); the current time when it names none.
  double DateTime(int index) const;
  // Read on demand from the central header; the archive is opened and closed for it.
  std::string FileComment(int index);
  void SetFileComment(int index, const std::string& text);
  std::string ZipComment();
  void SetZipComment(const std::string& text);
  const TEndCentral& EndCentral() const { return endCentral_; }
  // True when the directory was rebuilt from the local headers.
  bool DirectoryFromScan() const { return scanned_; }

  // The default disk request handler: for mmBlocks the name's extension becomes ".001",
  // ".002" ... (an empty name when that file does not exist); for mmSpan the user is asked
  // to insert the disk, Cancel emptying the name.
  void DefaultGetNextDisk(TZipReader& sender, int nextDisk, std::string& fileName);

  // --- Extraction (archive/zip_extract.cpp) ---
  // Extracts the selected entries into DestDir and returns the number of files extracted
  // with a good CRC. Selected: every entry with DoAll, else those whose stored path
  // (directory and name, lower-cased) matches a FilesList pattern; directory entries only
  // with RecreateDirs. Each file is decoded into a temporary file beside its target and takes
  // the target's place (attributes and date already applied) only after its CRC and size
  // matched, so a damaged entry never harms an existing file. An entry whose name the file
  // system would not take literally (a NUL byte, a "." or ".." component) or whose stored
  // directory is absolute while DestDir is set is skipped (OnSkippingFile, kSkipUnsafePath). Questions and messages go through Interaction:
  // "Replace existing file <name>?" ("File Exists Alert", Yes/No; No without an interaction)
  // and "Unknown Compression Method" ("Zip Error").
  // Raises: the platform's file-create error (EFOpenError) when a target cannot be written,
  // EFatalUnzipError "Premature end of file reached" for a cut archive, EUserCanceled.
  int UnZip();
  // Decodes the selected entries and checks their CRCs and sizes without writing anything
  // (vzip t); raises the same events as UnZip (OnEndUnZip for a good entry, OnBadCRC or
  // OnSkippingFile otherwise) and returns the number of entries that passed.
  int TestZip();
  // OnSkippingFile reasons of extraction and testing beyond kSkipBadPassword and
  // kSkipFileExists; LastProblem() says more, with the values involved.
  static constexpr int kSkipUnsafePath = 2;      // the name would leave DestDir
  static constexpr int kSkipBadLocalHeader = 3;  // the local header disagrees or is missing
  static constexpr int kSkipOverlap = 4;         // the data runs over another record
  static constexpr int kSkipBadData = 5;         // the decoder met invalid compressed data
  static constexpr int kSkipSizeMismatch = 6;    // decoded size differs from the declared one
  // A symbolic link entry (Unix host, file type 0120000) is restored as a link when its
  // target stays inside DestDir: relative, with ".." components only at its start and no
  // more of them than the link's directory lies below DestDir. Otherwise it is refused:
  static constexpr int kSkipUnsafeLink = 7;
  // Why the entry last refused or failed did so, with the conflicting values (for example
  // "local header disagrees with the central directory: CRC 1a2b3c4d in the central
  // directory, 00000000 in the local header"); empty after a good entry.
  const std::string& LastProblem() const { return lastProblem_; }

 private:
  struct TExtractRun;  // work buffers and per-entry decode state of one UnZip (zip_extract.cpp)
  struct TTempFile;    // the temporary file an entry is decoded into
  enum class TDecodeOutcome { Done, BadData, TooLarge, UnknownMethod };
  int RunExtraction(bool testOnly);
  // Extracts entry index of the view, lowering count when it is skipped or fails. Returns
  // true when the entry is to be run again (a new password after a CRC mismatch). The
  // steps below work on workEntry_; those returning bool return false when the entry was
  // refused (reported through Refuse, count lowered).
  bool ExtractEntry(int index, TExtractRun& run, int& count);
  // Reads the local header and leaves the stream at the data; returns why the entry cannot
  // be trusted (local and central records disagree, the data overlaps another record), or
  // an empty text.
  std::string LocateData(TExtractRun& run);
  bool ResolveTarget(int index, TExtractRun& run, std::string& directory,
                     std::string& targetPath, int& count);
  bool OpenDecryption(int index, TExtractRun& run, std::int64_t& compressedBytes, int& count);
  bool PrepareTarget(int index, TExtractRun& run, std::string& targetPath, TTempFile& temp,
                     int& count);
  TDecodeOutcome Decode(TExtractRun& run);
  // Mode and date onto the finished temporary file, then the rename onto the target.
  void CommitEntry(TExtractRun& run, const std::string& targetPath, TTempFile& temp);
  // Reports a refused or failed entry (OnSkippingFile with reason) and lowers count.
  bool Refuse(int index, int reason, const std::string& problem, int& count);
  void CopyStored(TExtractRun& run);

 public:
  // --- End of extraction ---

 protected:
  // Opens ZipName for reading when no stream is open, then loads the directory unless the
  // loaded one is still current (same file date and size).
  virtual void OpenArchive();
  // Closes the stream unless KeepZipOpen.
  virtual void CloseArchive();
  void CloseStream();
  void ReadDirectory();
  // Rebuilds the directory from local headers; false when no local header signature exists.
  bool ScanLocalHeaders();
  // Frees the view (when separate) and the directory.
  void FreeDirectory();
  // Rebuilds view_ for sortMode_ over directory_.
  void BuildView();
  // Closes the stream, asks for disk (1-based) through OnGetNextDisk, opens it and returns
  // the new stream. "User canceled loading new disk." when the name comes back empty.
  TStream& RequestDisk(int disk);
  // Reads (once) the comment of an entry / of the archive from the open stream.
  void LoadEntryComment(TZipHeaderInfo& entry);
  void LoadZipComment();
  // Handles pending window messages when DoProcessMessages, then raises EUserCanceled
  // "User Aborted Operation" (clearing the request) when a cancel was requested.
  void ProcessMessages();
  // Raises EListError "Index %d is out of range" unless 0 <= index < Count().
  void CheckIndex(int index) const;
  TZipHeaderInfo& EntryAt(int index) const;

  struct FileStamp {
    platform::FileTime lastWrite = 0;
    std::uint64_t size = 0;
    bool valid = false;
    bool operator==(const FileStamp&) const = default;
  };
  static FileStamp StampOf(const std::string& path);
  // The stamp of the file zipStream_ was opened on, as it was at that moment.
  FileStamp StreamStamp();

  std::string zipName_;
  std::string destDir_;
  std::string rootDir_;
  TZipSortMode sortMode_ = TZipSortMode::ByNone;
  bool checkDiskLabels_ = true;
  TMultiMode multiMode_ = TMultiMode::mmNone;
  int numberOfDisks_ = 1;
  int currentDisk_ = 0;
  bool loading_ = false;  // being set up from a stored form: ZipName is only stored

  // The buffers of the archive's stream and of the files extracted, kept for the next ones
  // (declared first: the streams below give their buffers back when they go).
  TStreamBufferPool streamBuffers_;
  std::unique_ptr<TLFNFileStream> zipStream_;
  // The directory in physical order (owning, duplicates are an error), and the view in
  // sortMode_ order: the same list for ByNone, else a non-owning list accepting duplicates.
  std::unique_ptr<TSortedZip> directory_;
  std::unique_ptr<TSortedZip> sortedView_;
  TSortedZip* view_ = nullptr;
  TEndCentral endCentral_;
  FileStamp archiveStamp_;  // the archive file when the directory was loaded
  bool scanned_ = false;    // the directory came from ScanLocalHeaders
  bool cancelRequested_ = false;

  // Extraction's working state. The decode buffers are made on the first extraction and
  // kept: a restore extracts one small archive after another.
  std::unique_ptr<archive::TDecodeBuffers> decodeBuffers_;
  TZipHeaderInfo workEntry_;
  std::uint32_t crc_ = 0xFFFFFFFF;
  std::string lastProblem_;
  bool timesGiven_ = false;  // the last UnZip gave ExtractedFileTimes to its file
  std::int64_t totalBytes_ = 0;  // uncompressed bytes selected in the current UnZip
  std::int64_t bytesDone_ = 0;   // bytes written so far in the current UnZip
};

}  // namespace archive
