// TZipWriter: applies a list of file names to a ZIP archive in one operation, Zip.
//
// A new archive is written in place; an existing one is rewritten into a temporary file
// ("ZQT" prefix) with its kept entries copied byte for byte, and only a complete result
// replaces it (an atomic rename, or a copy next to the archive and then a rename). Whatever
// goes wrong, Zip raises after removing its partial output: no half archive is ever left,
// and an existing archive is left as it was.
//
// The backup run's use: ZipName = the new archive, FilesList = { path of the file },
// PackLevel = 1..9, StorePaths = false (or RootDir = the file's folder with a bare name and
// RelativePaths = true), then Zip() returns 1 when the file was stored. See zip_writer.cpp
// for the step-by-step description of Zip.
//
// Sizes: Zip64 fields are written only where a value does not fit its fixed field (a file
// or compressed entry of 4 GiB - 1 or more, a local header past that offset, 65,535 entries
// or more, a central directory that starts or ends past 4 GiB). Every archive within the
// fixed fields comes out exactly as it would without Zip64 support. No record is ever
// written with a wrapped value.
//
// Entries get version made by 0x0314 (Unix host) with the Unix mode (file type and
// permission bits) in the high 16 bits of the external attributes, the DOS attribute bits
// in the low ones.
//
// Everything runs on the caller's thread; the writer raises its events as itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/deflate_compressor.h"
#include "archive/zip_reader.h"
#include "platform/file.h"
#include "platform/file_info.h"

namespace archive {

enum class TZipAction {
  zaUpdate,   // add new files; replace entries only by newer files
  zaReplace,  // add new files; replace entries whatever their date
  zaFreshen,  // only replace entries that are older than their files; add nothing new
};

// Reasons given to OnSkippingFile by the writer.
inline constexpr int kSkipDuplicateName = 1;  // an entry of the same stored name was written
inline constexpr int kSkipCannotOpen = 2;     // the file could not be opened for reading

// Settings for archives spread over several disks or block files. Only mmNone is written
// on this system; Zip refuses the other modes.
struct TMultiZipInfo {
  std::int64_t BlockSize = 1457600;
  std::int64_t FirstBlockSize = 1457600;
  TMultiMode MultiMode = TMultiMode::mmNone;
  bool CheckDiskLabels = true;
  bool WriteDiskLabels = true;
};

// The writer cannot go on: a format limit, a file that changed under it, an archive whose
// entries cannot be copied, or a failed commit. The text names the file and the numbers.
class EZipWriteError : public EZipError {
 public:
  using EZipError::EZipError;
};

class TZipWriter : public TZipReader, private IDeflateIo {
 public:
  TZipWriter();
  ~TZipWriter() override;

  // --- Published properties -----------------------------------------------------------------
  int PackLevel = 6;  // 0 = store; 1 to 9 = deflate level (values outside are clamped)
  bool Recurse = false;
  bool Dispose = false;
  TZipAction ZipAction = TZipAction::zaUpdate;
  TMultiZipInfo MultiZipInfo;
  bool Store83Names = false;  // no short names on Linux: the name is kept
  std::string TempPath;
  bool SkipIfArchiveBitNotSet = false;
  bool ResetArchiveBitOnZip = false;
  std::vector<std::string> ExcludeList;     // name patterns of files never added
  std::vector<std::string> NoCompressList;  // name patterns of files stored, not deflated

  // Coupled: false also clears StoreVolumes and RelativePaths.
  bool StorePaths() const { return storePaths_; }
  void SetStorePaths(bool value);
  // Coupled: true also sets StorePaths and Recurse.
  bool RelativePaths() const { return relativePaths_; }
  void SetRelativePaths(bool value);
  // Coupled: true also sets StorePaths. Linux paths have no volume part, so this keeps
  // nothing more; stored names never begin with "/".
  bool StoreVolumes() const { return storeVolumes_; }
  void SetStoreVolumes(bool value);

  // --- Events (all optional) ------------------------------------------------------------
  std::function<void(TZipWriter& sender, const std::string& fileName)> OnNoSuchFile;
  std::function<void(TZipWriter& sender, int numFiles, std::int64_t totalBytes,
                     TEndCentral& endCentralRecord, bool& stopNow)>
      OnStartZipInfo;
  std::function<void(TZipWriter& sender, const std::string& fileName, TZipHeaderInfo& header,
                     bool& skip)>
      OnStartZip;
  std::function<void(TZipWriter& sender, const std::string& fileName,
                     std::uint64_t uncompressedSize, std::uint64_t compressedSize,
                     std::int64_t currentZipSize)>
      OnEndZip;
  std::function<void(TZipWriter& sender, const std::string& fileName, bool& skip)> OnDisposeFile;
  // Belongs to the entry-deleting mode, which this writer does not have; never raised.
  std::function<void(TZipWriter& sender, const std::string& fileName, bool& skip)> OnDeleteEntry;
  // OnSkippingFile (reasons above), OnFilePercentDone and OnTotalPercentDone are the
  // reader's.

  // --- Overrides of the reader's virtual setters ---------------------------------------------
  // A different name while comments of the current archive were changed first rewrites the
  // current archive (FilesList is cleared for that) so the changes are kept.
  void SetZipName(const std::string& name) override;
  bool GetCheckDiskLabels() const override { return MultiZipInfo.CheckDiskLabels; }
  void SetCheckDiskLabels(bool value) override { MultiZipInfo.CheckDiskLabels = value; }
  TMultiMode GetMultiMode() const override { return MultiZipInfo.MultiMode; }
  void SetMultiMode(TMultiMode value) override { MultiZipInfo.MultiMode = value; }

  // --- Operation ------------------------------------------------------------------------------
  // Applies FilesList to the archive ZipName; returns the number of files added (new entries
  // and replaced ones). FilesList holds the expanded names afterwards.
  int Zip();
  // Writes a new archive of one entry into archive, a file the caller has just created
  // empty, from source, a file open for reading: the entry takes the source's name (by
  // StorePaths's rules) and the status it had when opened (File::OpenedInfo). No name is
  // looked up: a caller that opened both relative to directories it holds open (a backup,
  // one archive per file) pays for no path resolution here. ZipName becomes archive's
  // path; FilesList and its filters (ExcludeList, the archive bit) play no part. Returns 1,
  // or 0 when OnStartZip skipped the file; raises as Zip does, but leaves archive, the
  // caller's file, where it is.
  int ZipOpenedFile(platform::File&& archive, platform::File&& source);

 private:
  struct Operation;  // the working state of one Zip

  // Runs body as one operation: set up, and on any exception the output removed (when the
  // writer owns it) and the writer's state restored before it passes on.
  template <class Body>
  int RunOperation(Body body);
  void BeginOperation();
  void PrepareOutput();
  void AnnounceFiles(int count);
  void AbandonOperation();
  int EndOperation();

  void ExpandFileList();
  bool IsExcluded(const std::string& path) const;
  bool IsNoCompress(const std::string& fileName) const;
  // The Directory an entry for path gets; forMatch applies MatchesEntry's variant of the
  // relative-path rule.
  std::string StoredDirectory(const std::string& path, bool forMatch) const;
  bool MatchesEntry(const std::string& name, const TZipHeaderInfo& entry) const;
  bool InArchiveByName(const std::string& path) const;
  bool PassesArchiveBitFilter(const platform::FileInfo& info) const;

  void CopyExistingEntries();
  void CopyEntry(TZipHeaderInfo& entry);
  bool ZipOneFile(const std::string& name, TZipHeaderInfo& entry);
  bool ZipSource(const std::string& name, const platform::FileInfo& info,
                 std::unique_ptr<TLFNFileStream> source, TZipHeaderInfo& entry);
  void AddNewEntry(std::unique_ptr<TZipHeaderInfo> entry, const std::string& name);
  void KeepEntry(std::unique_ptr<TZipHeaderInfo> entry);
  void StoreFile(TZipHeaderInfo& entry);
  void WriteCentralDirectory();
  void Commit();
  void ReplaceArchive();
  void DisposeFiles();

  // IDeflateIo, for the compressor and the stored copy.
  std::size_t ReadSource(std::uint8_t* buffer, std::size_t size) override;
  void WriteOutput(const std::uint8_t* data, std::size_t size) override;

  bool storePaths_ = false;
  bool relativePaths_ = false;
  bool storeVolumes_ = false;
  bool zipping_ = false;

  std::unique_ptr<Operation> op_;
  // Kept across Zip calls; the compressor leaves no trace of one file in the next.
  std::unique_ptr<TDeflateCompressor> compressor_;
  std::vector<std::uint8_t> copyBuffer_;
  std::int64_t zipTotalBytes_ = 0;  // sizes of the files to add
  std::int64_t zipBytesRead_ = 0;   // bytes read of all files in this Zip
};

}  // namespace archive
