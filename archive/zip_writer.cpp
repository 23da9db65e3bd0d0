// TZipWriter: the Zip operation, adding one file, copying kept entries, and the commit.
// Expanding the name list and the stored-name rules are in zip_writer_files.cpp.
//
// Zip, step by step:
//  1. The view becomes the physical order and the archive is kept open for the operation.
//  2. FilesList is expanded (plain names, wildcard entries, exclusions).
//  3. A new archive is written directly under ZipName. For an existing archive the output
//     is a temporary "ZQT" file; the archive's end record (with its comment) is taken over
//     and every entry is copied unchanged, replaced in place by its file, or dropped.
//  4. OnStartZipInfo, then each remaining name is added at the end.
//  5. The central directory and the end record are written, and the result committed: for
//     an existing archive the temporary file replaces it in one rename. Only then are
//     disposed files deleted, and the writer's directory becomes the new one.
// Any exception removes the output (the new archive, or the temporary file) and passes on.
#include "archive/zip_writer.h"

#include <algorithm>
#include <cmath>

#include "archive/crc32.h"
#include "archive/zip_constants.h"
#include "archive/zip_numbers.h"
#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/file_time.h"

namespace archive {

namespace {

// File type bits of a regular file in a Unix mode (S_IFREG), stored with the permissions.
constexpr std::uint32_t kUnixRegularFile = 0100000;
constexpr std::size_t kStoredReadBytes = 4096;
constexpr std::size_t kCopyBufferBytes = 65536;
// An entry written with a data descriptor is followed by CRC and both sizes, optionally
// preceded by the descriptor signature.
constexpr std::size_t kDescriptorBytes = 12;
// The same after Zip64 data: 8-byte sizes.
constexpr std::size_t kZip64DescriptorBytes = 20;

// An extra field with its Zip64 blocks (ID 0x0001) left out; a block that runs past the end
// is kept as it is.
std::vector<std::uint8_t> WithoutZip64Block(const std::vector<std::uint8_t>& extra) {
  std::vector<std::uint8_t> kept;
  std::size_t at = 0;
  while (at + zip::kExtraBlockHeaderSize <= extra.size()) {
    const std::size_t end = at + zip::kExtraBlockHeaderSize + zip::LoadLe16(&extra[at + 2]);
    if (end > extra.size()) break;
    if (zip::LoadLe16(&extra[at]) != zip::kZip64ExtraId)
      kept.insert(kept.end(), extra.begin() + static_cast<std::ptrdiff_t>(at),
                  extra.begin() + static_cast<std::ptrdiff_t>(end));
    at = end;
  }
  kept.insert(kept.end(), extra.begin() + static_cast<std::ptrdiff_t>(at), extra.end());
  return kept;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

struct TZipWriter::Operation {
  std::string outputName;
  bool existing = false;
  bool ownsOutput = false;  // outputName is ours to delete on failure
  bool byCaller = false;    // the output is a file the caller opened (ZipOpenedFile)
  std::unique_ptr<TLFNFileStream> out;
  std::unique_ptr<TSortedZip> entries;  // owning, physical order: the new directory
  std::unique_ptr<TSortedZip> byName;   // the same entries by stored name
  TEndCentral endCentral;
  int added = 0;
  std::vector<std::string> disposeNames;
  TZipSortMode savedSortMode = TZipSortMode::ByNone;
  bool savedKeepZipOpen = false;

  // The file being added.
  std::unique_ptr<TLFNFileStream> source;
  std::string sourceName;
  std::uint64_t sourceSize = 0;  // as listed, for the percentage
  std::uint64_t sourceBytes = 0;
  std::uint32_t crc = 0xFFFFFFFF;
};

TZipWriter::TZipWriter() = default;

TZipWriter::~TZipWriter() = default;

void TZipWriter::SetStorePaths(bool value) {
  storePaths_ = value;
  if (!value) {
    storeVolumes_ = false;
    relativePaths_ = false;
  }
}

void TZipWriter::SetRelativePaths(bool value) {
  relativePaths_ = value;
  if (value) {
    storePaths_ = true;
    Recurse = true;
  }
}

void TZipWriter::SetStoreVolumes(bool value) {
  storeVolumes_ = value;
  if (value) storePaths_ = true;
}

void TZipWriter::SetZipName(const std::string& name) {
  if (endCentral_.Modified != 0 && !zipping_ && !zipName_.empty() && name != zipName_ &&
      directory_) {
    // Changed comments live only in memory: write them into the archive before leaving it.
    FilesList.clear();
    Zip();
    endCentral_.Modified = 0;
  }
  TZipReader::SetZipName(name);
}

void TZipWriter::BeginOperation() {
  if (zipping_) throw EZipWriteError("Zip is already running on this writer");
  if (MultiZipInfo.MultiMode != TMultiMode::mmNone)
    throw EZipWriteError("Archives spread over several disks or block files cannot be written");
  zipping_ = true;
  cancelRequested_ = false;
  zipTotalBytes_ = 0;
  zipBytesRead_ = 0;
  op_ = std::make_unique<Operation>();
  op_->savedSortMode = sortMode_;
  op_->savedKeepZipOpen = KeepZipOpen;
  KeepZipOpen = true;
  Sort(TZipSortMode::ByNone);
}

void TZipWriter::PrepareOutput() {
  if (copyBuffer_.empty()) copyBuffer_.resize(kCopyBufferBytes);
  op_->entries = std::make_unique<TSortedZip>(true, TZipSortMode::ByNone);
  op_->entries->Duplicates = TDuplicates::dupError;
  op_->byName = std::make_unique<TSortedZip>(false, TZipSortMode::ByName);
  op_->byName->Duplicates = TDuplicates::dupError;
}

void TZipWriter::AnnounceFiles(int count) {
  if (count == 0 || !OnStartZipInfo) return;
  bool stopNow = false;
  OnStartZipInfo(*this, count, zipTotalBytes_, op_->endCentral, stopNow);
  if (stopNow) throw EUserCanceled("User canceled Zip operation.");
}

void TZipWriter::AbandonOperation() {
  op_->source.reset();
  op_->out.reset();
  if (op_->ownsOutput) platform::DeleteFile(op_->outputName);
  const TZipSortMode sortMode = op_->savedSortMode;
  KeepZipOpen = op_->savedKeepZipOpen;
  op_.reset();
  zipping_ = false;
  Sort(sortMode);
  CloseArchive();
}

int TZipWriter::EndOperation() {
  const int added = op_->added;
  op_.reset();
  zipping_ = false;
  return added;
}

template <class Body>
int TZipWriter::RunOperation(Body body) {
  BeginOperation();
  try {
    body();
  } catch (...) {
    AbandonOperation();
    throw;
  }
  return EndOperation();
}

int TZipWriter::Zip() {
  return RunOperation([this] {
    if (!FilesList.empty()) ExpandFileList();
    PrepareOutput();
    op_->existing = platform::FileExists(zipName_);
    if (!op_->existing) {
      op_->outputName = zipName_;
      // A file that appears under the name after the check is not truncated: it is not ours.
      op_->out = std::make_unique<TLFNFileStream>(zipName_, TLFNFileMode::CreateNew);
      op_->ownsOutput = true;
    } else {
      const std::string tempDir = !TempPath.empty() && platform::DirectoryExists(TempPath)
                                      ? TempPath
                                      : platform::TempDirectory();
      if (std::error_code ec = platform::CreateTempFile(tempDir, "ZQT", op_->outputName))
        throw EZipWriteError("Cannot create a temporary file in " + Quoted(tempDir) + ": " +
                             ec.message());
      op_->ownsOutput = true;
      op_->out = std::make_unique<TLFNFileStream>(op_->outputName, TLFNFileMode::Create);
      OpenArchive();
      LoadZipComment();
      op_->endCentral.Assign(endCentral_);
      op_->endCentral.TotalEntries = 0;
      op_->endCentral.EntriesThisDisk = 0;
      CopyExistingEntries();
    }

    AnnounceFiles(static_cast<int>(FilesList.size()));
    const std::vector<std::string> names = FilesList;
    for (const std::string& name : names) {
      auto entry = std::make_unique<TZipHeaderInfo>();
      if (ZipOneFile(name, *entry)) AddNewEntry(std::move(entry), name);
    }
    WriteCentralDirectory();
    Commit();
  });
}

int TZipWriter::ZipOpenedFile(platform::File&& archive, platform::File&& source) {
  SetZipName(archive.Path());
  return RunOperation([&] {
    PrepareOutput();
    op_->outputName = zipName_;
    op_->out = std::make_unique<TLFNFileStream>(std::move(archive), TLFNFileMode::Create);
    op_->byCaller = true;
    const platform::FileInfo info = source.OpenedInfo();
    const std::string name = source.Path();
    zipTotalBytes_ = static_cast<std::int64_t>(info.size);
    AnnounceFiles(1);
    auto entry = std::make_unique<TZipHeaderInfo>();
    if (ZipSource(name, info,
                  std::make_unique<TLFNFileStream>(std::move(source), TLFNFileMode::OpenRead),
                  *entry)) {
      AddNewEntry(std::move(entry), name);
    }
    WriteCentralDirectory();
    Commit();
  });
}

void TZipWriter::CopyExistingEntries() {
  if (!directory_) return;
  for (int i = 0; i < directory_->Count(); ++i) {
    TZipHeaderInfo& old = *directory_->Item(i);
    if (old.EntryState == TZipHeaderInfo::kEntryDropped) continue;
    LoadEntryComment(old);
    auto copy = std::make_unique<TZipHeaderInfo>();
    copy->Assign(old);

    auto match = std::find_if(FilesList.begin(), FilesList.end(), [&](const std::string& name) {
      return MatchesEntry(name, *copy);
    });
    if (match != FilesList.end()) {
      const std::string name = *match;
      FilesList.erase(match);
      bool keepOld = false;
      if (ZipAction != TZipAction::zaReplace) {
        platform::FileInfo info;
        const double fileDate =
            platform::GetFileInfo(name, info)
                ? platform::NowOleDate()
                : DosDateTimeToOleDate(
                      NormalizeDosDateTime(platform::FileTimeToDosDateTime(info.times.lastWrite)));
        keepOld = DateTime(i) >= fileDate;
      }
      if (!keepOld) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        if (ZipOneFile(name, *entry)) {
          // The new data takes over the old entry's comment.
          if (copy->HasComment()) entry->SetFileComment(copy->FileComment);
          AddNewEntry(std::move(entry), name);
          continue;
        }
        // The file could not be added after all: the old entry stays rather than vanish.
      }
    }
    CopyEntry(*copy);
    KeepEntry(std::move(copy));
    ProcessMessages();
  }
}

void TZipWriter::CopyEntry(TZipHeaderInfo& entry) {
  TStream& in = *zipStream_;
  TLFNFileStream& out = *op_->out;
  in.Seek(entry.LocalHeaderOffset, TSeekOrigin::soBeginning);
  TZipHeaderInfo local;
  if (!local.ReadLocalHeader(in))
    throw EZipWriteError("The local header of " + Quoted(entry.StoredName()) +
                         " is missing at offset " + std::to_string(entry.LocalHeaderOffset) +
                         " of " + Quoted(zipName_));
  const bool descriptor = (entry.Flags & zip::kFlagDataDescriptor) != 0;

  // The old extra field without its Zip64 block: the new header gets a Zip64 block of its
  // own exactly when its sizes need one.
  std::vector<std::uint8_t> extra(local.ExtraLength);
  if (in.Read(extra.data(), extra.size()) != extra.size())
    throw EZipWriteError("The local header of " + Quoted(entry.StoredName()) + " in " +
                         Quoted(zipName_) + " ends early");
  extra = WithoutZip64Block(extra);

  // The new local header says what the central record says, with the old extra field.
  // An entry with a data descriptor keeps its descriptor and the values its old local
  // header had, so that it stays exactly as its writer made it.
  TZipHeaderInfo header;
  header.Assign(entry);
  header.ExtraLength = static_cast<std::uint16_t>(extra.size());
  if (descriptor) {
    header.Crc32 = local.Crc32;
    header.CompressedSize = local.CompressedSize;
    header.UncompressedSize = local.UncompressedSize;
  }
  // A descriptor after Zip64 data holds 8-byte sizes: its header keeps saying Zip64.
  header.LocalZip64 = (descriptor && local.LocalZip64) ||
                      header.CompressedSize >= zip::kZip64Marker32 ||
                      header.UncompressedSize >= zip::kZip64Marker32;
  header.WriteLocalHeader(out);
  out.Write(extra.data(), extra.size());
  entry.LocalHeaderOffset = header.LocalHeaderOffset;
  entry.Flags = header.Flags;
  entry.ExtraLength = 0;  // central records are written without extra field

  auto copyBytes = [&](std::uint64_t count) {
    while (count > 0) {
      const std::size_t chunk =
          static_cast<std::size_t>(std::min<std::uint64_t>(count, copyBuffer_.size()));
      if (in.Read(copyBuffer_.data(), chunk) != chunk)
        throw EZipWriteError("The data of " + Quoted(entry.StoredName()) + " in " +
                             Quoted(zipName_) + " ends early");
      out.Write(copyBuffer_.data(), chunk);
      count -= chunk;
    }
  };
  copyBytes(entry.CompressedSize);
  if (descriptor) {
    std::uint8_t first[4];
    const std::size_t got = in.Read(first, sizeof first);
    in.Seek(-static_cast<std::int64_t>(got), TSeekOrigin::soCurrent);
    const bool signature =
        got == sizeof first && zip::LoadLe32(first) == zip::kDataDescriptorSignature;
    copyBytes((local.LocalZip64 ? kZip64DescriptorBytes : kDescriptorBytes) + (signature ? 4 : 0));
  }
}

void TZipWriter::KeepEntry(std::unique_ptr<TZipHeaderInfo> entry) {
  if (op_->entries->Count() >= TSortedZip::kMaxItems)
    throw EZipWriteError("An archive holds at most " + std::to_string(TSortedZip::kMaxItems) +
                         " entries; " + Quoted(entry->StoredName()) + " would be one more");
  int index = 0;
  const bool nameTaken = op_->byName->Find(*entry, index);
  TZipHeaderInfo* item = entry.get();
  op_->entries->Add(entry.release());
  // An old archive may hold names that differ only in case: they are all kept.
  if (!nameTaken) op_->byName->Add(item);
  ++op_->endCentral.TotalEntries;
  ++op_->endCentral.EntriesThisDisk;
}

void TZipWriter::AddNewEntry(std::unique_ptr<TZipHeaderInfo> entry, const std::string& name) {
  KeepEntry(std::move(entry));
  ++op_->added;
  if (Dispose) op_->disposeNames.push_back(name);
}

bool TZipWriter::ZipOneFile(const std::string& name, TZipHeaderInfo& entry) {
  platform::FileInfo info;
  if (platform::GetFileInfo(name, info) || !info.isRegular) return false;
  std::unique_ptr<TLFNFileStream> source;
  try {
    source = std::make_unique<TLFNFileStream>(name, TLFNFileMode::OpenRead);
  } catch (const EFOpenError&) {
    if (OnSkippingFile) OnSkippingFile(*this, kSkipCannotOpen, name, -1);
    return false;
  }
  return ZipSource(name, info, std::move(source), entry);
}

bool TZipWriter::ZipSource(const std::string& name, const platform::FileInfo& info,
                           std::unique_ptr<TLFNFileStream> source, TZipHeaderInfo& entry) {
  entry.VersionMadeBy = zip::kVersionMadeByUnix;
  entry.VersionNeeded = zip::kVersion20;
  entry.ExternalAttributes = info.attributes | ((kUnixRegularFile | info.unixMode) << 16);
  entry.DosDateTime = platform::FileTimeToDosDateTime(info.times.lastWrite);
  entry.UncompressedSize = info.size;
  entry.SetFileName(platform::BaseName(name));
  entry.LocalHeaderOffset = static_cast<std::uint64_t>(op_->out->Position());
  entry.InternalAttributes = 2;  // the compressor decides
  entry.DiskStart = 0;
  entry.SetDirectory(StoredDirectory(name, false));

  int index = 0;
  if (op_->byName->Find(entry, index)) {
    if (OnSkippingFile) OnSkippingFile(*this, kSkipDuplicateName, name, -1);
    zipTotalBytes_ -= static_cast<std::int64_t>(info.size);
    return false;
  }
  if (OnStartZip) {
    bool skip = false;
    OnStartZip(*this, name, entry, skip);
    if (skip) {
      zipTotalBytes_ -= static_cast<std::int64_t>(info.size);
      return false;
    }
  }

  TLFNFileStream& out = *op_->out;
  const std::int64_t headerAt = out.Position();
  // A file that may not fit 32-bit sizes gets a Zip64 local header from the start. One that
  // turns out not to fit after all (it grew, or its compressed form came out larger than
  // the file) is written once more with one: the compressor's output depends only on the
  // input, so the second pass writes the same data 20 bytes further on.
  entry.LocalZip64 = info.size >= zip::kZip64Marker32;
  op_->source = std::move(source);
  op_->sourceName = name;
  op_->sourceSize = info.size;
  for (;;) {
    entry.Crc32 = 0xFFFFFFFF;
    entry.CompressedSize = 0;
    entry.Flags = 0;
    entry.Method = zip::kMethodDeflated;
    entry.VersionNeeded = entry.LocalZip64 ? zip::kVersionZip64 : zip::kVersion20;
    out.Seek(headerAt, TSeekOrigin::soBeginning);
    entry.WriteLocalHeader(out);

    op_->sourceBytes = 0;
    op_->crc = 0xFFFFFFFF;
    const std::int64_t readBefore = zipBytesRead_;
    StoreFile(entry);
    const bool fits = entry.CompressedSize < zip::kZip64Marker32 &&
                      entry.UncompressedSize < zip::kZip64Marker32;
    if (fits || entry.LocalZip64) break;
    entry.LocalZip64 = true;
    zipBytesRead_ = readBefore;
    op_->source->Seek(0, TSeekOrigin::soBeginning);
  }
  op_->source.reset();

  // The header goes out again with the final values; its length is unchanged.
  const std::int64_t end = out.Position();
  out.Seek(static_cast<std::int64_t>(entry.LocalHeaderOffset), TSeekOrigin::soBeginning);
  entry.WriteLocalHeader(out);
  out.Seek(end, TSeekOrigin::soBeginning);

  if (ResetArchiveBitOnZip)
    platform::SetFileAttributes(name, info.attributes & ~static_cast<std::uint32_t>(platform::faArchive));
  if (OnEndZip) OnEndZip(*this, name, entry.UncompressedSize, entry.CompressedSize, end);
  return true;
}

void TZipWriter::StoreFile(TZipHeaderInfo& entry) {
  const int level = std::clamp(PackLevel, 0, 9);
  std::uint64_t compressed = 0;
  if (level == 0 || IsNoCompress(entry.FileName)) {
    std::uint8_t* buffer = copyBuffer_.data();
    for (;;) {
      const std::size_t got = ReadSource(buffer, kStoredReadBytes);
      if (got == 0) break;
      WriteOutput(buffer, got);
      compressed += got;
    }
    entry.Method = zip::kMethodStored;
    entry.InternalAttributes = 0;
  } else {
    TDeflateEntryFields fields;
    fields.Flags = entry.Flags;
    fields.Method = entry.Method;
    fields.InternalAttributes = entry.InternalAttributes;
    // Built on first use and kept: its buffers are set up once for the writer's lifetime,
    // which matters when every file gets an archive of its own.
    if (!compressor_) compressor_ = std::make_unique<TDeflateCompressor>();
    compressed = compressor_->Deflate(level, *this, fields);
    entry.Flags = fields.Flags;
    entry.Method = fields.Method;
    entry.InternalAttributes = fields.InternalAttributes;
  }
  entry.CompressedSize = compressed;
  // What was read, not what was listed: a file that changed size meanwhile still gets a
  // consistent entry.
  entry.UncompressedSize = op_->sourceBytes;
  entry.Crc32 = ~op_->crc;
}

std::size_t TZipWriter::ReadSource(std::uint8_t* buffer, std::size_t size) {
  const std::size_t got = op_->source->Read(buffer, size);
  if (got == 0) return 0;
  op_->sourceBytes += got;
  zipBytesRead_ += static_cast<std::int64_t>(got);
  op_->crc = UpdateCrc32(op_->crc, buffer, got);
  if (OnFilePercentDone)
    OnFilePercentDone(*this, CompressionRate(static_cast<std::int64_t>(op_->sourceSize),
                                             static_cast<std::int64_t>(op_->sourceBytes)));
  if (OnTotalPercentDone) {
    int percent = 0;
    if (zipTotalBytes_ > 0) {
      const double exact = static_cast<double>(zipBytesRead_) * 100.0 /
                           static_cast<double>(zipTotalBytes_);
      percent = static_cast<int>(std::min(100.0, std::round(exact)));
    }
    OnTotalPercentDone(*this, percent);
  }
  return got;
}

void TZipWriter::WriteOutput(const std::uint8_t* data, std::size_t size) {
  op_->out->Write(data, size);
  ProcessMessages();
}

void TZipWriter::WriteCentralDirectory() {
  TLFNFileStream& out = *op_->out;
  TEndCentral& end = op_->endCentral;
  const std::int64_t start = out.Position();
  end.CentralDirOffset = static_cast<std::uint64_t>(start);
  end.CentralDirDisk = 0;
  for (int i = 0; i < op_->entries->Count(); ++i) {
    TZipHeaderInfo& entry = *op_->entries->Item(i);
    entry.CentralHeaderOffset = static_cast<std::uint64_t>(out.Position());
    entry.WriteCentralHeader(out);
  }
  end.CentralDirSize = static_cast<std::uint64_t>(out.Position() - start);
  end.ThisDisk = 0;
  end.WriteEndCentral(out);
  end.Zip64 = end.NeedsZip64();
  end.CommentPosition = static_cast<std::uint64_t>(out.Position()) - end.CommentLength;
}

void TZipWriter::Commit() {
  op_->out->Flush();
  op_->out.reset();
  if (op_->existing) ReplaceArchive();
  // The archive is complete under its name: from here on nothing deletes it.
  op_->ownsOutput = false;

  DisposeFiles();

  // The writer's directory is the one just written, without reading the file again.
  FreeDirectory();
  directory_ = std::move(op_->entries);
  endCentral_.Assign(op_->endCentral);
  endCentral_.Modified = 0;
  // A caller's file is not looked up by name again (ZipOpenedFile's promise): without a
  // stamp the directory is read anew if it is asked for.
  archiveStamp_ = op_->byCaller ? FileStamp{} : StampOf(zipName_);
  scanned_ = false;
  sortMode_ = op_->savedSortMode;
  // Not byName as the view: it holds only the first of names that differ only in case.
  op_->byName.reset();
  BuildView();
  KeepZipOpen = op_->savedKeepZipOpen;
  CloseArchive();
}

void TZipWriter::ReplaceArchive() {
  platform::FileInfo old;
  const bool haveOld = !platform::GetFileInfo(zipName_, old);
  CloseStream();
  FreeDirectory();
  endCentral_.Clear();
  archiveStamp_ = FileStamp{};
  const std::string& temp = op_->outputName;
  // The temporary file was made private (0600); the archive keeps its permissions.
  if (haveOld) platform::SetUnixMode(temp, old.unixMode);
  if (!platform::RenameFile(temp, zipName_)) return;

  // Another file system (the system's temporary directory): copy next to the archive first,
  // so that the archive is replaced only by a complete file.
  const std::string copyFailed = "Could not copy from " + temp + " to " + zipName_;
  std::string parent = platform::ParentPath(zipName_);
  if (parent.empty()) parent = ".";
  std::string nearby;
  if (platform::CreateTempFile(parent, "ZQT", nearby)) throw EZipWriteError(copyFailed);
  try {
    TLFNFileStream in(temp, TLFNFileMode::OpenRead);
    TLFNFileStream out(nearby, TLFNFileMode::Create);
    for (;;) {
      const std::size_t got = in.Read(copyBuffer_.data(), copyBuffer_.size());
      if (got == 0) break;
      out.Write(copyBuffer_.data(), got);
    }
    out.Flush();
  } catch (const EZipError&) {
    platform::DeleteFile(nearby);
    throw EZipWriteError(copyFailed);
  }
  if (haveOld) platform::SetUnixMode(nearby, old.unixMode);
  if (platform::RenameFile(nearby, zipName_)) {
    platform::DeleteFile(nearby);
    throw EZipWriteError(copyFailed);
  }
  platform::DeleteFile(temp);
}

void TZipWriter::DisposeFiles() {
  for (const std::string& name : op_->disposeNames) {
    bool skip = false;
    if (OnDisposeFile) OnDisposeFile(*this, name, skip);
    if (!skip) platform::DeleteFile(name);
  }
}

}  // namespace archive
