// TZipReader: properties, opening and closing, accessors and comments. The directory loading
// and the header scan are in zip_reader_directory.cpp.
#include "archive/zip_reader.h"

#include "archive/decoder.h"
#include "archive/zip_constants.h"
#include "archive/zip_numbers.h"
#include "platform/directory.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace archive {

namespace {

// The file-open dialog's texts.
const char kChooseArchiveTitle[] = "Открытие файла архива";
const char kChooseArchiveFilter[] =
    "Файл архива (*.ZIP)|*.zip|Автономный архив (*.EXE)|*.exe|Jar файлы (*.JAR)|*.jar|"
    "Все файлы (*.*)|*.*";

bool IsValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
    } else {
      return false;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
      if (i + k >= text.size()) return false;
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

// Creates path and every missing parent.
bool CreateAllDirectories(const std::string& path) {
  if (path.empty() || platform::DirectoryExists(path)) return true;
  const std::string parent = platform::ParentPath(path);
  if (!parent.empty() && parent != path && !CreateAllDirectories(parent)) return false;
  return !platform::CreateDirectory(path) || platform::DirectoryExists(path);
}

}  // namespace

TZipReader::TZipReader() {
  OnGetNextDisk = [this](TZipReader& sender, int nextDisk, std::string& fileName) {
    DefaultGetNextDisk(sender, nextDisk, fileName);
  };
}

TZipReader::~TZipReader() { ResetArchive(); }

TZipReader::FileStamp TZipReader::StampOf(const std::string& path) {
  FileStamp stamp;
  platform::FileInfo info;
  if (!platform::GetFileInfo(path, info)) {
    stamp.lastWrite = info.times.lastWrite;
    stamp.size = info.size;
    stamp.valid = true;
  }
  return stamp;
}

TZipReader::FileStamp TZipReader::StreamStamp() {
  FileStamp stamp;
  if (zipStream_) {
    stamp.lastWrite = zipStream_->Handle().OpenedLastWrite();
    stamp.size = zipStream_->Handle().OpenedSize();
    stamp.valid = true;
  }
  return stamp;
}

void TZipReader::SetZipName(const std::string& name) {
  if (loading_) {
    zipName_ = name;
    return;
  }
  std::string newName = name;
  if (!newName.empty() && newName.back() == '?') {
    newName.pop_back();
    std::string start = platform::ParentPath(newName);
    if (start.empty() || !platform::DirectoryExists(start)) start = "/";
    std::string chosen;
    if (Interaction == nullptr ||
        !Interaction->ChooseFile(kChooseArchiveTitle, kChooseArchiveFilter, start, chosen) ||
        chosen.empty())
      throw EUserCanceled("User canceled setting zip file name.");
    newName = chosen;
  }
  // Byte equality: on Linux names differing in case are different files.
  if (newName == zipName_) return;
  FreeDirectory();
  endCentral_.Clear();
  archiveStamp_ = FileStamp{};
  CloseStream();
  scanned_ = false;
  zipName_ = newName;
}

void TZipReader::SetDestDir(const std::string& path) {
  std::string value = path;
  if (value == "?") {
    const std::string start = !destDir_.empty() && platform::DirectoryExists(destDir_)
                                  ? destDir_
                                  : platform::CurrentDirectory();
    std::string chosen;
    if (Interaction == nullptr || !Interaction->ChooseDirectory(start, chosen))
      throw EUserCanceled("User canceled Set Desination Directory");
    if (chosen.empty() || !CreateAllDirectories(chosen))
      throw EZipError("Unable to create directory");
    value = chosen;
  }
  if (!value.empty() && value.back() == '/') value.pop_back();
  destDir_ = value;
}

void TZipReader::SetRootDir(const std::string& text) {
  rootDir_ = text;
  if (!rootDir_.empty() && rootDir_.back() != '/') rootDir_ += '/';
}

void TZipReader::ReadZip() {
  cancelRequested_ = false;
  OpenArchive();
  CloseArchive();
}

void TZipReader::CloseStream() {
  if (zipStream_) zipStream_.reset();
}

void TZipReader::OpenArchive() {
  bool current = false;
  if (zipStream_) {
    // A stream kept open (KeepZipOpen) may belong to a file that has since been replaced
    // under the same name: the new file is read through a new stream.
    current = directory_ && archiveStamp_.valid && StampOf(zipName_) == archiveStamp_;
    if (!current) CloseStream();
  }
  if (!zipStream_) {
    if (ZipDirectory != nullptr && ZipDirectory->IsOpen() &&
        platform::ParentPath(zipName_) == ZipDirectory->Path()) {
      platform::File file;
      if (std::error_code ec = ZipDirectory->OpenFile(platform::BaseName(zipName_),
                                                      platform::File::Mode::Read, file)) {
        throw EFOpenError("Cannot open file \"" + zipName_ + "\". " + ec.message(), ec);
      }
      zipStream_ = std::make_unique<TLFNFileStream>(std::move(file), TLFNFileMode::OpenRead,
                                                    &streamBuffers_);
    } else {
      zipStream_ =
          std::make_unique<TLFNFileStream>(zipName_, TLFNFileMode::OpenRead, &streamBuffers_);
    }
    // The file just opened is the one under the name now; its own status tells whether the
    // loaded directory still describes it.
    current = directory_ && archiveStamp_.valid && StreamStamp() == archiveStamp_;
  }
  if (!current) ReadDirectory();
}

void TZipReader::CloseArchive() {
  if (!KeepZipOpen) CloseStream();
}

void TZipReader::ResetArchive() {
  CloseStream();
  FreeDirectory();
  endCentral_.Clear();
  archiveStamp_ = FileStamp{};
  numberOfDisks_ = 1;
  currentDisk_ = 0;
  multiMode_ = TMultiMode::mmNone;
  scanned_ = false;
  zipName_.clear();
}

void TZipReader::FreeDirectory() {
  view_ = nullptr;
  sortedView_.reset();
  directory_.reset();
}

void TZipReader::BuildView() {
  sortedView_.reset();
  view_ = directory_.get();
  if (!directory_ || sortMode_ == TZipSortMode::ByNone) return;
  sortedView_ = std::make_unique<TSortedZip>(false, sortMode_);
  sortedView_->Duplicates = TDuplicates::dupAccept;
  for (int i = 0; i < directory_->Count(); ++i) sortedView_->Add(directory_->Item(i));
  view_ = sortedView_.get();
}

void TZipReader::Sort(TZipSortMode mode) {
  sortMode_ = mode;
  BuildView();
}

int TZipReader::Count() const { return view_ ? view_->Count() : 0; }

void TZipReader::CheckIndex(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("Index " + std::to_string(index) + " is out of range");
}

TZipHeaderInfo& TZipReader::EntryAt(int index) const {
  CheckIndex(index);
  return *view_->Item(index);
}

const TZipHeaderInfo& TZipReader::Entry(int index) const { return EntryAt(index); }

std::string TZipReader::Filename(int index) const { return EntryAt(index).FileName; }

double TZipReader::DateTime(int index) const {
  return DosDateTimeToOleDate(EntryAt(index).DosDateTime);
}

void TZipReader::LoadEntryComment(TZipHeaderInfo& entry) {
  if (!entry.HasComment() || entry.FileComment) return;
  TStream& in = *zipStream_;
  std::uint8_t h[zip::kCentralHeaderSize];
  in.Seek(entry.CentralHeaderOffset, TSeekOrigin::soBeginning);
  std::string raw;
  if (in.Read(h, sizeof h) == sizeof h &&
      zip::LoadLe32(h + zip::central::kSignature) == zip::kCentralHeaderSignature) {
    in.Seek(static_cast<std::int64_t>(zip::LoadLe16(h + zip::central::kNameLength)) +
                zip::LoadLe16(h + zip::central::kExtraLength),
            TSeekOrigin::soCurrent);
    raw.resize(entry.CommentLength);
    raw.resize(in.Read(raw.data(), raw.size()));
  }
  entry.FileComment = TZipHeaderInfo::DecodeText(raw, entry.Flags);
}

void TZipReader::LoadZipComment() {
  if (!endCentral_.HasComment() || endCentral_.ZipComment) return;
  TStream& in = *zipStream_;
  std::string raw(endCentral_.CommentLength, '\0');
  in.Seek(endCentral_.CommentPosition, TSeekOrigin::soBeginning);
  raw.resize(in.Read(raw.data(), raw.size()));
  // The archive comment has no encoding flag: UTF-8 when it is valid UTF-8, else code page
  // 437 as old DOS tools wrote it.
  endCentral_.ZipComment = IsValidUtf8(raw) ? raw : platform::Cp437ToUtf8(raw);
}

std::string TZipReader::FileComment(int index) {
  TZipHeaderInfo* entry = &EntryAt(index);
  if (!entry->HasComment()) return {};
  if (entry->FileComment) return *entry->FileComment;
  OpenArchive();
  entry = &EntryAt(index);  // the directory may have been reloaded
  try {
    LoadEntryComment(*entry);
  } catch (...) {
    CloseArchive();
    throw;
  }
  CloseArchive();
  return entry->FileComment.value_or(std::string());
}

void TZipReader::SetFileComment(int index, const std::string& text) {
  if (FileComment(index) == text) return;
  EntryAt(index).SetFileComment(text);
  endCentral_.Modified = 1;
}

std::string TZipReader::ZipComment() {
  if (!endCentral_.HasComment()) return {};
  if (endCentral_.ZipComment) return *endCentral_.ZipComment;
  OpenArchive();
  try {
    LoadZipComment();
  } catch (...) {
    CloseArchive();
    throw;
  }
  CloseArchive();
  return endCentral_.ZipComment.value_or(std::string());
}

void TZipReader::SetZipComment(const std::string& text) {
  if (ZipComment() == text) return;
  endCentral_.ZipComment = text;
  endCentral_.CommentLength =
      static_cast<std::uint16_t>(text.size() > 0xFFFF ? 0xFFFF : text.size());
  endCentral_.Modified = 1;
}

void TZipReader::ProcessMessages() {
  if (DoProcessMessages && Interaction != nullptr) Interaction->ProcessMessages();
  if (cancelRequested_) {
    cancelRequested_ = false;
    throw EUserCanceled("User Aborted Operation");
  }
}

}  // namespace archive
