// TZipReader: loading the directory from the central directory, the recovery scan over the
// local headers, and the disk requests of split archives.
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/zip_constants.h"
#include "archive/zip_reader.h"
#include "platform/file_info.h"
#include "platform/file_system.h"

namespace archive {

namespace {

// A self-extracting archive (.EXE) carries its program in front of the first entry; the
// scan starts behind the stub size of the self-extractors this format was used with.
constexpr std::int64_t kSelfExtractorStubBytes = 14000;
// The scan reads this many bytes between two looks at the window messages.
constexpr std::size_t kScanChunkBytes = 10240;
constexpr std::uint8_t kLocalSignatureBytes[4] = {0x50, 0x4b, 0x03, 0x04};

std::string Extension(const std::string& path) {
  const std::string base = platform::BaseName(path);
  const std::size_t dot = base.rfind('.');
  return dot == std::string::npos ? std::string() : base.substr(dot);
}

std::string ThreeDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%3.3d", value);
  return text;
}

// The busy cursor for the length of a scan.
class BusyScope {
 public:
  explicit BusyScope(TZipInteraction* interaction) : interaction_(interaction) {
    if (interaction_) interaction_->SetBusy(true);
  }
  ~BusyScope() {
    if (interaction_) interaction_->SetBusy(false);
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  TZipInteraction* interaction_;
};

}  // namespace

void TZipReader::ReadDirectory() {
  archiveStamp_ = StreamStamp();
  FreeDirectory();
  scanned_ = false;
  // A comment read from the file as it was before must not survive a reload.
  endCentral_.Clear();
  try {
    auto scanOrFail = [this] {
      BusyScope busy(Interaction);
      if (!ScanLocalHeaders()) {
        ResetArchive();
        throw EBadZipFile("Not a valid zip file!");
      }
    };
    if (endCentral_.FindEndCentral(*zipStream_)) {
      currentDisk_ = static_cast<int>(endCentral_.ThisDisk);
      // Linux has no removable-drive letters: a split archive is always a set of block files.
      multiMode_ = currentDisk_ != 0 ? TMultiMode::mmBlocks : TMultiMode::mmNone;
      // Without a Zip64 end record the count is 16 bits, and a writer that went past 65,535
      // entries let it wrap: a count of 0 is an empty archive only when no central header
      // lies where the directory should start.
      const bool wrappedCountPossible = !endCentral_.Zip64 && endCentral_.TotalEntries == 0 &&
                                        endCentral_.CentralDirSize != 0;
      if (endCentral_.TotalEntries != 0 || wrappedCountPossible) {
        if (multiMode_ != TMultiMode::mmNone &&
            static_cast<int>(endCentral_.CentralDirDisk) != currentDisk_)
          RequestDisk(static_cast<int>(endCentral_.CentralDirDisk) + 1);
        zipStream_->Seek(static_cast<std::int64_t>(endCentral_.CentralDirOffset),
                         TSeekOrigin::soBeginning);
        std::uint8_t signature[4];
        if (zipStream_->Read(signature, sizeof signature) == sizeof signature &&
            zip::LoadLe32(signature) == zip::kCentralHeaderSignature)
          zipStream_->Seek(-4, TSeekOrigin::soCurrent);
        else if (!wrappedCountPossible)
          scanOrFail();
      }
    } else {
      TIncompleteZipMode mode = IncompleteZipMode;
      if (OnInCompleteZip) {
        OnInCompleteZip(*this, mode);
        IncompleteZipMode = mode;
      }
      if (IncompleteZipMode == TIncompleteZipMode::izAssumeMulti) {
        ResetArchive();
        throw EIncompleteZip("Incomplete Zip File");
      }
      scanOrFail();
    }

    if (!scanned_) {
      directory_ = std::make_unique<TSortedZip>(true, TZipSortMode::ByNone);
      directory_->Duplicates = TDuplicates::dupError;
    }
    const bool multiDisk = multiMode_ != TMultiMode::mmNone;
    TNextDiskFn nextDisk;
    if (multiDisk) nextDisk = [this]() -> TStream& { return RequestDisk(currentDisk_ + 2); };
    // A 16-bit count may have wrapped: on a single-file archive without a Zip64 end record,
    // central headers that follow the counted ones are read too.
    const bool countIsExact = endCentral_.Zip64 || multiDisk;
    for (std::uint64_t i = 0; !countIsExact || i < endCentral_.TotalEntries; ++i) {
      auto entry = std::make_unique<TZipHeaderInfo>();
      // A central directory cut short keeps the entries read before the cut.
      if (!entry->ReadCentralHeader(*zipStream_, nextDisk)) break;
      // The disk holding the comment may be gone later.
      if (multiDisk && entry->HasComment()) LoadEntryComment(*entry);
      if (!scanned_) {
        directory_->Add(entry.get());
        entry.release();
        continue;
      }
      int index = 0;
      if (directory_->Find(*entry, index)) {
        TZipHeaderInfo& found = *directory_->Item(index);
        const std::uint64_t localOffset = found.LocalHeaderOffset;
        found.Assign(*entry);
        found.LocalHeaderOffset = localOffset;
      }
    }
    if (multiDisk && endCentral_.HasComment()) {
      if (currentDisk_ != static_cast<int>(endCentral_.ThisDisk))
        RequestDisk(static_cast<int>(endCentral_.ThisDisk) + 1);
      LoadZipComment();
    }
    numberOfDisks_ = static_cast<int>(endCentral_.ThisDisk) + 1;
    currentDisk_ = static_cast<int>(endCentral_.ThisDisk);
    BuildView();
  } catch (...) {
    // No half-loaded directory may be taken for the archive's.
    FreeDirectory();
    archiveStamp_ = FileStamp{};
    throw;
  }
}

bool TZipReader::ScanLocalHeaders() {
  scanned_ = true;
  FreeDirectory();
  TStream& in = *zipStream_;
  const std::int64_t start = Extension(zipName_) == ".EXE" ? kSelfExtractorStubBytes : 0;
  in.Seek(start, TSeekOrigin::soBeginning);

  // Look for "PK\3\4", keeping the last three bytes of each chunk for a signature cut in two.
  std::vector<std::uint8_t> chunk(kScanChunkBytes + 3);
  std::size_t carried = 0;
  std::int64_t chunkStart = start;
  std::int64_t hit = -1;
  for (;;) {
    const std::size_t got = in.Read(chunk.data() + carried, kScanChunkBytes);
    const std::size_t available = carried + got;
    for (std::size_t i = 0; i + 4 <= available; ++i) {
      if (chunk[i] == kLocalSignatureBytes[0] &&
          std::memcmp(&chunk[i], kLocalSignatureBytes, 4) == 0) {
        hit = chunkStart + static_cast<std::int64_t>(i);
        break;
      }
    }
    if (hit >= 0) break;
    if (got == 0) return false;
    ProcessMessages();
    const std::size_t keep = available < 3 ? available : 3;
    std::memmove(chunk.data(), chunk.data() + available - keep, keep);
    chunkStart += static_cast<std::int64_t>(available - keep);
    carried = keep;
  }

  in.Seek(hit, TSeekOrigin::soBeginning);
  auto list = std::make_unique<TSortedZip>(true, TZipSortMode::ByNone);
  list->Duplicates = TDuplicates::dupError;
  while (list->Count() < TSortedZip::kMaxItems) {
    auto entry = std::make_unique<TZipHeaderInfo>();
    if (!entry->ReadLocalHeader(in)) break;
    const std::uint64_t skip = entry->CompressedSize + entry->ExtraLength +
                               (entry->HasDataDescriptor() ? zip::kDataDescriptorSize : 0);
    // Each header lies behind the previous one, so offsets never repeat.
    list->Add(entry.get());
    entry.release();
    // A Zip64 size may be any 64-bit value: data said to run beyond any offset a file
    // can have leaves no room for another header.
    const std::int64_t position = in.Position();
    if (skip > static_cast<std::uint64_t>(INT64_MAX - position)) break;
    in.Seek(position + static_cast<std::int64_t>(skip), TSeekOrigin::soBeginning);
  }
  const std::int64_t stoppedAt = in.Position();
  endCentral_.ThisDisk = 0;
  currentDisk_ = 0;
  endCentral_.CentralDirOffset = static_cast<std::uint64_t>(stoppedAt);
  endCentral_.TotalEntries = static_cast<std::uint64_t>(list->Count());
  numberOfDisks_ = 1;
  directory_ = std::move(list);
  return true;
}

TStream& TZipReader::RequestDisk(int disk) {
  CloseStream();
  std::string name = zipName_;
  std::string previous;
  for (bool first = true;; first = false) {
    if (OnGetNextDisk) OnGetNextDisk(*this, disk, name);
    // Linux drives carry no volume labels to check, so the label test always passes.
    if (name.empty()) throw EUserCanceled("User canceled loading new disk.");
    if (platform::FileExists(name)) break;
    // The same missing name twice (or no handler to give another): asking again would
    // never end.
    if (!OnGetNextDisk || (!first && name == previous))
      throw EUserCanceled("User canceled loading new disk.");
    previous = name;
  }
  zipStream_ = std::make_unique<TLFNFileStream>(name, TLFNFileMode::OpenRead, &streamBuffers_);
  currentDisk_ = disk - 1;
  archiveStamp_ = StreamStamp();
  zipName_ = name;
  return *zipStream_;
}

void TZipReader::DefaultGetNextDisk(TZipReader& /*sender*/, int nextDisk, std::string& fileName) {
  if (GetMultiMode() == TMultiMode::mmSpan) {
    const std::string text =
        "Пожалуйста, вставьте диск " + std::to_string(nextDisk) + " из архивного набора.";
    if (Interaction == nullptr || !Interaction->ConfirmOkCancel(text, "Confirm")) fileName.clear();
    return;
  }
  const std::string base = platform::BaseName(fileName);
  const std::size_t dot = base.rfind('.');
  const std::string stem = dot == std::string::npos
                               ? fileName
                               : fileName.substr(0, fileName.size() - (base.size() - dot));
  fileName = stem + "." + ThreeDigits(nextDisk);
  if (!platform::FileExists(fileName)) fileName.clear();
}

}  // namespace archive
