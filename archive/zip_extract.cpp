// Extraction: UnZip, ExtractEntry and the driver through which every decoder reads the
// archive and writes the file.
//
// The driver (TExtractRun) owns the work buffers of one UnZip and the decode state of the
// current entry. Compressed bytes come in blocks of at most 16,000 bytes (decrypted as they
// are read); pending window messages and the cancel request are handled at each block. Plain
// bytes reach FlushOutput, which refuses more than the entry's uncompressed size, updates the
// CRC-32 and the progress events and writes the temporary file.
//
// Why a temporary file: the target is replaced only once the entry proved good (CRC and size
// match), with its attributes and date already set, by an atomic rename. A damaged entry, a
// cut archive or a cancel leave an existing target exactly as it was.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "archive/crc32.h"
#include "archive/decoder.h"
#include "archive/zip_constants.h"
#include "archive/zip_extract_crypt.h"
#include "archive/zip_pattern.h"
#include "archive/zip_reader.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/file_time.h"
#include "platform/text.h"

namespace archive {

namespace {

constexpr std::uint8_t kUnixHost = 3;  // "version made by" high byte of Unix tools
constexpr std::uint32_t kNewFileMode = 0644;

// done * 100 / total rounded half to even, at most 100; 0 for an empty total.
int Percent(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 0;
  const std::uint64_t scaled = done * 100;
  std::uint64_t quotient = scaled / total;
  const std::uint64_t twiceRest = (scaled % total) * 2;
  if (twiceRest > total || (twiceRest == total && (quotient & 1) != 0)) ++quotient;
  return quotient > 100 ? 100 : static_cast<int>(quotient);
}

// Creates path and every missing parent; failures show later, when the file is created.
void CreateDirectories(const std::string& path) {
  if (path.empty() || platform::DirectoryExists(path)) return;
  const std::string parent = platform::ParentPath(path);
  if (!parent.empty() && parent != path) CreateDirectories(parent);
  platform::CreateDirectory(path);
}

// True when a name component would not be taken literally by the file system: "." and ".."
// move within the tree, and a NUL byte ends the name where the system reads it, so that
// "..\0" becomes "..". Empty components ("a//b") are harmless and pass.
bool IsUnsafeComponent(std::string_view component) {
  return component == "." || component == ".." ||
         component.find('\0') != std::string_view::npos;
}

// True when any "/"-separated component of path is unsafe.
bool HasUnsafeComponent(std::string_view path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (IsUnsafeComponent(path.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

constexpr std::uint32_t kUnixFileTypeMask = 0170000;
constexpr std::uint32_t kUnixSymlink = 0120000;
// Longer link targets than the system's path limit cannot be created anyway.
constexpr std::uint64_t kMaxLinkTargetBytes = 4096;

bool IsSymlinkEntry(const TZipHeaderInfo& entry) {
  return (entry.VersionMadeBy >> 8) == kUnixHost &&
         ((entry.ExternalAttributes >> 16) & kUnixFileTypeMask) == kUnixSymlink;
}

// Number of directories a relative "/"-separated path goes down.
int Depth(std::string_view path) {
  int depth = 0;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) ++depth;
    start = end + 1;
  }
  return depth;
}

// True when a link at depth directories below the destination, pointing at target, stays
// inside it however the links around it resolve: the target is relative, holds no NUL, and
// its ".." components come first and climb no higher than the link's own directory. (A
// ".." after a name could climb out of wherever that name, itself perhaps a link, leads.)
bool LinkStaysInside(std::string_view target, int depth) {
  if (target.empty() || target[0] == '/' || target.find('\0') != std::string_view::npos)
    return false;
  bool leading = true;
  int up = 0;
  std::size_t start = 0;
  while (start <= target.size()) {
    std::size_t end = target.find('/', start);
    if (end == std::string_view::npos) end = target.size();
    const std::string_view part = target.substr(start, end - start);
    if (part == "..") {
      if (!leading || ++up > depth) return false;
    } else if (!part.empty() && part != ".") {
      leading = false;
    }
    start = end + 1;
  }
  return true;
}

[[noreturn]] void ThrowCreateError(const std::string& path, std::error_code ec) {
  throw EFOpenError("Cannot create file \"" + path + "\". " + ec.message(), ec);
}


// The mode SetFileAttributes gives a file of mode current for the read-only bit alone.
std::uint32_t ModeForAttributes(std::uint32_t current, std::uint32_t attributes) {
  if (attributes & platform::faReadOnly) return current & ~0222u;
  return current | 0200u;
}

}  // namespace

// The temporary file an entry is decoded into, removed unless it was renamed onto its
// target, and the mode the new file gets unless attributes are retained.
struct TZipReader::TTempFile {
  const platform::OpenDirectory* directory = nullptr;
  std::string name;
  std::uint32_t mode = kNewFileMode;
  TTempFile() = default;
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  ~TTempFile() {
    if (directory != nullptr && !name.empty()) directory->DeleteFile(name);
  }
};

struct TZipReader::TExtractRun : archive::TDecodeDriver {
  TExtractRun(TZipReader& owner, archive::TDecodeBuffers& buffersToUse, bool testMode)
      : reader(owner), work(buffersToUse), testOnly(testMode) {
    buffers = &work;
  }

  // The directory the current entry is written to, held open while entries go there: the
  // caller's DestDirectory when it is that directory and still usable.
  const platform::OpenDirectory& TargetDirectory(const std::string& path) {
    if (held != nullptr && held->Path() == path) return *held;
    if (!targetDirectory || targetDirectory->Path() != path) {
      targetDirectory.reset();
      targetDirectory = std::make_unique<platform::OpenDirectory>(path);
    }
    return *targetDirectory;
  }

  // The caller's held destination was removed since it was opened (nothing can be created
  // in it): DestDir is created anew and used by its path from here on, as without it.
  // False when directory is not the held one or the error says something else.
  bool LeaveRemovedHeld(const platform::OpenDirectory& directory, std::error_code error) {
    if (&directory != held || error != std::errc::no_such_file_or_directory) return false;
    held = nullptr;
    targetDirectory.reset();
    CreateDirectories(reader.destDir_);
    return true;
  }

  TZipReader& reader;
  archive::TDecodeBuffers& work;
  const bool testOnly;
  const platform::OpenDirectory* held = nullptr;  // the caller's DestDirectory, while usable
  std::unique_ptr<platform::OpenDirectory> targetDirectory;
  bool giveTimes = false;  // the one file selected may get ExtractedFileTimes
  std::int64_t toRead = 0;  // compressed bytes of the entry not yet read from the archive
  std::uint64_t written = 0;
  std::unique_ptr<TLFNFileStream> target;
  std::unique_ptr<TZipDecrypter> decrypter;
  // A symbolic link entry: its data, the link's target, is collected here instead of going
  // to a file; linkDepth is how many directories below DestDir the link lies.
  bool collectLink = false;
  std::string linkTarget;
  int linkDepth = 0;

  void StartEntry(const TZipHeaderInfo& entry, std::int64_t compressedBytes) {
    inNext = inEnd = work.Input();
    toRead = compressedBytes;
    written = 0;
    compressedSize = static_cast<std::uint64_t>(compressedBytes);
    uncompressedSize = entry.UncompressedSize;
    flags = entry.Flags;
    method = entry.Method;
    reader.crc_ = 0xFFFFFFFF;
  }

  // Reads up to size bytes of the entry at the stream's position, going on to the next disk
  // of a split archive; a short read of a single file returns fewer.
  std::size_t ReadArchive(std::uint8_t* into, std::size_t size) {
    std::size_t got = reader.zipStream_->Read(into, size);
    while (got < size && reader.GetMultiMode() != TMultiMode::mmNone) {
      TStream& next = reader.RequestDisk(reader.currentDisk_ + 2);
      got += next.Read(into + got, size - got);
    }
    return got;
  }

  bool RefillInput() override {
    std::uint8_t* const input = work.Input();
    const std::size_t unread = static_cast<std::size_t>(inEnd - inNext);
    if (unread > archive::kInputKeepBytes) return true;  // the decoder still has bytes
    std::memmove(input, inNext, unread);
    inNext = input;
    inEnd = input + unread;
    if (toRead <= 0) return false;
    reader.ProcessMessages();
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(toRead, archive::kInputBlockBytes));
    const std::size_t got = ReadArchive(input + unread, want);
    if (got < want) throw EFatalUnzipError("Premature end of file reached");
    if (decrypter) decrypter->Decrypt(input + unread, got);
    toRead -= static_cast<std::int64_t>(got);
    inEnd += got;
    return got != 0;
  }

  void FlushOutput(const std::uint8_t* data, std::size_t size) override {
    if (size == 0) return;
    const TZipHeaderInfo& entry = reader.workEntry_;
    if (written + size > entry.UncompressedSize) {
      throw EBiggerThanUncompressed("File is larger than uncompressed size!");
    }
    if (target) target->Write(data, size);
    if (collectLink) linkTarget.append(reinterpret_cast<const char*>(data), size);
    reader.crc_ = UpdateCrc32(reader.crc_, data, size);
    written += size;
    reader.bytesDone_ += static_cast<std::int64_t>(size);
    if (reader.OnFilePercentDone) {
      reader.OnFilePercentDone(reader, Percent(written, entry.UncompressedSize));
    }
    if (reader.OnTotalPercentDone) {
      reader.OnTotalPercentDone(reader,
                                Percent(static_cast<std::uint64_t>(reader.bytesDone_),
                                        static_cast<std::uint64_t>(reader.totalBytes_)));
    }
  }
};

int TZipReader::UnZip() { return RunExtraction(false); }

int TZipReader::TestZip() { return RunExtraction(true); }

int TZipReader::RunExtraction(bool testOnly) {
  cancelRequested_ = false;
  OpenArchive();
  struct TCloser {
    TZipReader& reader;
    TZipSortMode restoreMode;
    bool restore = false;
    ~TCloser() {
      if (restore) reader.Sort(restoreMode);
      reader.CloseArchive();
    }
  } closer{*this, sortMode_};

  if (ExtractedFileTimes && ExtractedFileTimes->ofArchive && zipStream_) {
    const platform::FileTimes& times = zipStream_->Handle().OpenedInfo().times;
    ExtractedFileTimes->lastAccess = times.lastAccess;
    ExtractedFileTimes->lastWrite = times.lastWrite;
  }
  if (!decodeBuffers_) decodeBuffers_ = std::make_unique<archive::TDecodeBuffers>();
  TExtractRun run(*this, *decodeBuffers_, testOnly);
  timesGiven_ = false;
  if (DestDirectory != nullptr && DestDirectory->IsOpen() && DestDirectory->Path() == destDir_) {
    run.held = DestDirectory;
  }
  // Opening the destination tells whether it exists; the handle then serves its entries.
  if (!testOnly && !destDir_.empty() && !run.TargetDirectory(destDir_).IsOpen()) {
    CreateDirectories(destDir_);
    run.targetDirectory.reset();
  }
  // Entries of a split archive are extracted in disk order.
  if (GetMultiMode() != TMultiMode::mmNone && sortMode_ != TZipSortMode::ByNone) {
    closer.restore = true;
    Sort(TZipSortMode::ByNone);
  }

  totalBytes_ = 0;
  bytesDone_ = 0;
  int count = Count();
  int selectedFiles = 0;
  for (int i = 0; i < Count(); ++i) {
    TZipHeaderInfo& entry = EntryAt(i);
    entry.Selected = DoAll;
    if (entry.FileName.empty() && !RecreateDirs) {
      entry.Selected = false;
      --count;
      continue;
    }
    if (!DoAll) {
      const std::string name = platform::LowerCase(entry.Directory + entry.FileName);
      for (const std::string& pattern : FilesList) {
        if (MatchPattern(platform::LowerCase(pattern), name)) {
          entry.Selected = true;
          break;
        }
      }
    }
    if (entry.Selected) {
      totalBytes_ += entry.UncompressedSize;
      if (!entry.FileName.empty()) ++selectedFiles;
    } else {
      --count;
    }
  }
  run.giveTimes = ExtractedFileTimes.has_value() && count == 1 && selectedFiles == 1 && !testOnly;

  bool stopNow = false;
  if (OnStartUnZipInfo) OnStartUnZipInfo(*this, count, totalBytes_, stopNow);
  if (stopNow) return count;  // none extracted, yet the count of the selection comes back
  if (count > 0) {
    for (int i = 0; i < Count(); ++i) {
      if (!DoAll && !EntryAt(i).Selected) continue;
      while (ExtractEntry(i, run, count)) {
      }
    }
  }
  return count;
}

void TZipReader::CopyStored(TExtractRun& run) {
  // The window's output part: the history in front stays as the decoders expect it.
  std::uint8_t* const buffer = run.work.Window() + archive::kHistoryBytes;
  static_assert(archive::kInputBlockBytes <= archive::kOutputChunkBytes);
  while (run.toRead > 0) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(run.toRead, archive::kInputBlockBytes));
    const std::size_t got = run.ReadArchive(buffer, want);
    if (run.decrypter) run.decrypter->Decrypt(buffer, got);
    run.toRead -= static_cast<std::int64_t>(want);
    run.FlushOutput(buffer, got);
    if (got < want) break;  // a cut archive: the CRC check rejects the file
  }
}

// --- ExtractEntry, step by step ----------------------------------------------------------
// 1. LocateData: the local header, checked against the central record and against the
//    entries around it; the stream is left at the entry's data.
// 2. ResolveTarget: the target directory and path, checked on the texts the file system gets.
// 3. OpenDecryption: the encryption header of an encrypted entry.
// 4. PrepareTarget: the overwrite rule and the temporary file beside the target.
// 5. Decode: the method's decoder (or the stored copy) into the temporary file.
// 6. CommitEntry, or report why the entry failed.

bool TZipReader::Refuse(int index, int reason, const std::string& problem, int& count) {
  lastProblem_ = problem;
  if (OnSkippingFile) OnSkippingFile(*this, reason, workEntry_.StoredName(), index);
  --count;
  return false;
}

std::string TZipReader::LocateData(TExtractRun& run) {
  const TZipHeaderInfo& entry = workEntry_;
  if (GetMultiMode() != TMultiMode::mmNone && entry.DiskStart != currentDisk_) {
    RequestDisk(entry.DiskStart + 1);
  }
  zipStream_->Seek(static_cast<std::int64_t>(entry.LocalHeaderOffset), TSeekOrigin::soBeginning);
  TZipHeaderInfo local;
  if (!local.ReadLocalHeader(*zipStream_)) {
    if (zipStream_->Position() + static_cast<std::int64_t>(zip::kLocalHeaderSize) >
        zipStream_->Size())
      throw EFatalUnzipError("Premature end of file reached");
    return "no local header at offset " + std::to_string(entry.LocalHeaderOffset);
  }
  // The local header's own extra length, which may differ from the central one.
  zipStream_->Seek(local.ExtraLength, TSeekOrigin::soCurrent);
  const std::uint64_t dataStart = static_cast<std::uint64_t>(zipStream_->Position());

  // What the central directory says is what extraction trusts; a local header that says
  // otherwise marks an archive put together to fool one of the two readers.
  auto differs = [](const char* what, std::uint64_t central, std::uint64_t inLocal) {
    return std::string("local header disagrees with the central directory: ") + what + " " +
           std::to_string(central) + " in the central directory, " + std::to_string(inLocal) +
           " in the local header";
  };
  if (local.Method != entry.Method) return differs("method", entry.Method, local.Method);
  if (local.StoredName() != entry.StoredName())
    return "local header disagrees with the central directory: name \"" + entry.StoredName() +
           "\" in the central directory, \"" + local.StoredName() + "\" in the local header";
  // With a data descriptor the local header may carry zeros; the descriptor has the values.
  if (!local.HasDataDescriptor()) {
    if (local.Crc32 != entry.Crc32) {
      char text[128];
      std::snprintf(text, sizeof text,
                    "local header disagrees with the central directory: CRC %08x in the "
                    "central directory, %08x in the local header",
                    static_cast<unsigned>(entry.Crc32), static_cast<unsigned>(local.Crc32));
      return text;
    }
    if (local.CompressedSize != entry.CompressedSize)
      return differs("compressed size", entry.CompressedSize, local.CompressedSize);
    if (local.UncompressedSize != entry.UncompressedSize)
      return differs("size", entry.UncompressedSize, local.UncompressedSize);
  }

  // The data must end before the next entry's local header (or the central directory):
  // entries whose data runs over other entries are how a small archive claims gigabytes.
  std::uint64_t limit = 0;
  bool bounded = false;
  int at = 0;
  if (directory_ && directory_->Find(entry, at) && at + 1 < directory_->Count()) {
    const TZipHeaderInfo& next = *directory_->Item(at + 1);
    if (next.DiskStart == entry.DiskStart) {
      limit = next.LocalHeaderOffset;
      bounded = true;
    }
  } else if (endCentral_.CentralDirDisk == entry.DiskStart &&
             endCentral_.CentralDirOffset >= dataStart) {
    limit = endCentral_.CentralDirOffset;
    bounded = true;
  }
  if (bounded && (dataStart > limit || entry.CompressedSize > limit - dataStart))
    return "data overlaps the next entry or the central directory: " +
           std::to_string(entry.CompressedSize) + " bytes from offset " +
           std::to_string(dataStart) + ", next record at " + std::to_string(limit);
  (void)run;
  return {};
}

bool TZipReader::ResolveTarget(int index, TExtractRun& run, std::string& directory,
                               std::string& targetPath, int& count) {
  const TZipHeaderInfo& entry = workEntry_;
  const bool isDirectory = entry.FileName.empty();
  run.linkDepth = 0;
  // Checked on the very texts the file system gets: the stored directory as it is joined
  // below, and the file name.
  bool unsafe = !isDirectory && IsUnsafeComponent(entry.FileName);
  if (RecreateDirs && !entry.Directory.empty()) {
    std::string stored = entry.Directory;
    if (!rootDir_.empty() && stored.size() >= rootDir_.size() &&
        platform::SameText(stored.substr(0, rootDir_.size()), rootDir_)) {
      stored.erase(0, rootDir_.size());
    }
    const bool absolute = !stored.empty() && stored[0] == '/';
    // Links below an absolute directory (no DestDir) may not climb at all.
    run.linkDepth = absolute ? 0 : Depth(stored);
    if (HasUnsafeComponent(stored) || (absolute && !destDir_.empty())) {
      unsafe = true;
    } else if (absolute) {
      directory = stored;
    } else {
      directory = (destDir_.empty() ? std::string() : destDir_ + "/") + stored;
    }
    if (!unsafe && !run.testOnly) CreateDirectories(directory);
  } else if (!destDir_.empty()) {
    directory = destDir_ + "/";
  }
  if (unsafe) {
    return Refuse(index, kSkipUnsafePath,
                  "name leaves the destination: \"" + entry.StoredName() + "\"", count);
  }
  targetPath = directory + entry.FileName;
  return true;
}

bool TZipReader::OpenDecryption(int index, TExtractRun& run, std::int64_t& compressedBytes,
                                int& count) {
  const TZipHeaderInfo& entry = workEntry_;
  compressedBytes = static_cast<std::int64_t>(entry.CompressedSize);
  run.decrypter.reset();
  if (!entry.IsEncrypted()) return true;
  const std::uint8_t check = entry.HasDataDescriptor()
                                 ? static_cast<std::uint8_t>(entry.DosDateTime >> 8)
                                 : static_cast<std::uint8_t>(entry.Crc32 >> 24);
  for (;;) {
    std::uint8_t header[TZipDecrypter::kHeaderBytes];
    if (run.ReadArchive(header, sizeof header) != sizeof header) {
      throw EFatalUnzipError("Premature end of file reached");
    }
    run.decrypter = std::make_unique<TZipDecrypter>(Password);
    run.decrypter->Decrypt(header, sizeof header);
    if (header[sizeof header - 1] == check) break;
    std::string newPassword = Password;
    if (OnBadPassword) OnBadPassword(*this, index, newPassword);
    if (OnBadPassword && newPassword != Password) {
      Password = newPassword;
      zipStream_->Seek(-static_cast<std::int64_t>(sizeof header), TSeekOrigin::soCurrent);
      continue;
    }
    return Refuse(index, kSkipBadPassword, "incorrect password", count);
  }
  // The encryption header is part of the compressed size but not of the data.
  compressedBytes -= static_cast<std::int64_t>(TZipDecrypter::kHeaderBytes);
  if (compressedBytes < 0) compressedBytes = 0;
  return true;
}

bool TZipReader::PrepareTarget(int index, TExtractRun& run, std::string& targetPath,
                               TTempFile& temp, int& count) {
  const TZipHeaderInfo& entry = workEntry_;
  temp.mode = kNewFileMode;
  if (run.testOnly) return true;
  if (OverwriteMode != TUZOverwriteMode::Always && platform::FileExists(targetPath)) {
    bool overWriteIt = false;
    if (OverwriteMode == TUZOverwriteMode::Prompt) {
      if (OnPromptForOverwrite) {
        OnPromptForOverwrite(*this, overWriteIt, index, targetPath);
      } else if (Interaction != nullptr) {
        overWriteIt = Interaction->AskYesNo("Replace existing file " + entry.FileName + "?",
                                            "File Exists Alert");
      }
    }
    if (!overWriteIt) return Refuse(index, kSkipFileExists, "file exists", count);
  }
  std::string parent = platform::ParentPath(targetPath);
  if (parent.empty()) parent = targetPath[0] == '/' ? "/" : ".";
  const std::string targetName = platform::BaseName(targetPath);
  for (;;) {
    const platform::OpenDirectory& targetDirectory = run.TargetDirectory(parent);
    temp.directory = &targetDirectory;
    if (run.collectLink) return true;  // the link is made once its target is known
    // A target that exists but cannot be written keeps the error a direct create would give.
    temp.mode = kNewFileMode;
    const bool knownAbsent = !AbsentFileName.empty() && targetName == AbsentFileName &&
                             parent == destDir_;
    platform::FileInfo existing;
    if (!knownAbsent && !targetDirectory.GetFileInfo(targetName, existing)) {
      platform::File probe;
      if (std::error_code ec =
              targetDirectory.OpenFile(targetName, platform::File::Mode::ReadWrite, probe)) {
        ThrowCreateError(targetPath, ec);
      }
      temp.mode = existing.unixMode & 0777;
    }
    platform::File file;
    if (std::error_code ec =
            targetDirectory.CreateTempFile(kExtractTemporaryPrefix, file, temp.name)) {
      temp.name.clear();
      if (run.LeaveRemovedHeld(targetDirectory, ec)) continue;
      ThrowCreateError(targetPath, ec);
    }
    run.target = std::make_unique<TLFNFileStream>(std::move(file), TLFNFileMode::Create,
                                                  &streamBuffers_);
    return true;
  }
}

TZipReader::TDecodeOutcome TZipReader::Decode(TExtractRun& run) {
  const TZipHeaderInfo& entry = workEntry_;
  try {
    if (entry.Method == 0) {
      CopyStored(run);
    } else if (const archive::TDecoderEntry* decoder = archive::FindDecoder(entry.Method)) {
      if (decoder->decode(run) == archive::TDecodeStatus::BadData) return TDecodeOutcome::BadData;
    } else {
      if (Interaction != nullptr) {
        Interaction->ShowMessage("Unknown Compression Method", "Zip Error");
      }
      return TDecodeOutcome::UnknownMethod;
    }
  } catch (const EBiggerThanUncompressed&) {
    // Decoding ends here: nothing beyond the declared size is written.
    return TDecodeOutcome::TooLarge;
  }
  return TDecodeOutcome::Done;
}

void TZipReader::CommitEntry(TExtractRun& run, const std::string& targetPath, TTempFile& temp) {
  const TZipHeaderInfo& entry = workEntry_;
  std::uint32_t mode = temp.mode;
  // Mode and date go on through the open file, so that the target appears complete.
  if (RetainAttributes) {
    const std::uint32_t unixMode = entry.ExternalAttributes >> 16;
    if ((entry.VersionMadeBy >> 8) == kUnixHost && unixMode != 0) {
      mode = unixMode & 0777;
    } else {
      mode = ModeForAttributes(mode, entry.ExternalAttributes);
    }
  }
  platform::File& file = run.target->Handle();
  file.SetMode(mode);
  if (run.giveTimes && entry.FileName == ExtractedFileTimes->fileName &&
      targetPath == (destDir_.empty() ? entry.FileName : destDir_ + "/" + entry.FileName)) {
    const TFileTimes& times = *ExtractedFileTimes;
    timesGiven_ = !file.SetTimes(times.lastAccess, times.lastWrite);
  } else if (const auto lastWrite = platform::DosDateTimeToFileTime(entry.DosDateTime)) {
    file.SetLastWriteTime(*lastWrite);
  }
  run.target.reset();
  if (std::error_code ec = temp.directory->Rename(temp.name, platform::BaseName(targetPath))) {
    ThrowCreateError(targetPath, ec);
  }
  temp.name.clear();
}

bool TZipReader::ExtractEntry(int index, TExtractRun& run, int& count) {
  workEntry_.Assign(EntryAt(index));
  const TZipHeaderInfo& entry = workEntry_;
  const bool isDirectory = entry.FileName.empty();
  lastProblem_.clear();

  if (!isDirectory) {
    const std::string problem = LocateData(run);
    if (!problem.empty()) {
      const bool overlap = problem.rfind("data overlaps", 0) == 0;
      return Refuse(index, overlap ? kSkipOverlap : kSkipBadLocalHeader, problem, count);
    }
  }

  std::string directory;
  std::string targetPath;
  if (!ResolveTarget(index, run, directory, targetPath, count)) return false;
  if (isDirectory) {
    if (RecreateDirs && OnStartUnZip) {
      bool skip = false;
      OnStartUnZip(*this, index, directory, skip);
    }
    return false;
  }

  std::int64_t compressedBytes = 0;
  if (!OpenDecryption(index, run, compressedBytes, count)) return false;

  run.collectLink = IsSymlinkEntry(entry);
  run.linkTarget.clear();
  if (run.collectLink && entry.UncompressedSize > kMaxLinkTargetBytes) {
    return Refuse(index, kSkipUnsafeLink,
                  "link target of " + std::to_string(entry.UncompressedSize) + " bytes", count);
  }
  TTempFile temp;
  if (!PrepareTarget(index, run, targetPath, temp, count)) return false;
  struct TStreamCloser {
    TExtractRun& run;
    ~TStreamCloser() { run.target.reset(); }
  } streamCloser{run};

  run.StartEntry(entry, compressedBytes);
  if (OnStartUnZip) {
    bool skip = false;
    OnStartUnZip(*this, index, targetPath, skip);
    if (skip) return false;  // the temporary file goes; the count stays as it was
  }

  const TDecodeOutcome outcome = Decode(run);
  if (run.target) run.target->Flush();

  const std::uint32_t crc = ~crc_;
  const bool good = outcome == TDecodeOutcome::Done && crc == entry.Crc32 &&
                    run.written == entry.UncompressedSize;
  if (good && run.collectLink) {
    if (!LinkStaysInside(run.linkTarget, run.linkDepth)) {
      return Refuse(index, kSkipUnsafeLink,
                    "link target leaves the destination: \"" + run.linkTarget + "\"", count);
    }
    if (!run.testOnly) {
      // Made under a temporary name and renamed, so that an existing file or link of that
      // name is replaced in one step.
      std::string linkName;
      std::error_code ec =
          temp.directory->CreateTempSymlink(run.linkTarget, kExtractTemporaryPrefix, linkName);
      if (ec && run.LeaveRemovedHeld(*temp.directory, ec)) {
        temp.directory = &run.TargetDirectory(platform::ParentPath(targetPath));
        ec = temp.directory->CreateTempSymlink(run.linkTarget, kExtractTemporaryPrefix, linkName);
      }
      if (ec) ThrowCreateError(targetPath, ec);
      if (std::error_code ec = temp.directory->Rename(linkName, platform::BaseName(targetPath))) {
        temp.directory->DeleteFile(linkName);
        ThrowCreateError(targetPath, ec);
      }
    }
    if (OnEndUnZip) OnEndUnZip(*this, index, targetPath);
    return false;
  }
  if (good) {
    if (!run.testOnly) CommitEntry(run, targetPath, temp);
    if (OnEndUnZip) OnEndUnZip(*this, index, targetPath);
    return false;
  }
  run.target.reset();

  const bool crcOrDataBad = outcome == TDecodeOutcome::BadData || crc != entry.Crc32;
  if (entry.IsEncrypted() && crcOrDataBad) {
    std::string newPassword = Password;
    if (OnBadPassword) OnBadPassword(*this, index, newPassword);
    if (OnBadPassword && newPassword != Password) {
      Password = newPassword;
      return true;
    }
    return Refuse(index, kSkipBadPassword, "incorrect password", count);
  }
  switch (outcome) {
    case TDecodeOutcome::BadData:
      return Refuse(index, kSkipBadData,
                    "invalid compressed data after " + std::to_string(run.written) + " bytes",
                    count);
    case TDecodeOutcome::TooLarge:
      return Refuse(index, kSkipSizeMismatch,
                    "size mismatch: more than the " + std::to_string(entry.UncompressedSize) +
                        " bytes the central directory declares",
                    count);
    default:
      break;
  }
  if (crc != entry.Crc32) {
    lastProblem_ = "bad CRC";
    if (OnBadCRC) OnBadCRC(*this, crc, entry.Crc32, index);
    --count;
    return false;
  }
  return Refuse(index, kSkipSizeMismatch,
                "size mismatch: " + std::to_string(run.written) + " bytes decoded, " +
                    std::to_string(entry.UncompressedSize) + " declared",
                count);
}

}  // namespace archive
