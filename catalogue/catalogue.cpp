#include "catalogue/catalogue.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <string_view>
#include <utility>

#include "platform/clock.h"
#include "platform/text.h"

namespace catalogue {

namespace {

// The form a name or path is compared in: cut to the field's capacity as it would be
// stored, then upper-cased.
std::string MatchKey(const std::string& text, std::size_t capacity) {
  return platform::UpperCase(platform::TruncateUtf8(text, capacity));
}

bool Matches(const std::string& storedText, const std::string& key) {
  return platform::UpperCase(storedText) == key;
}

std::string Cut(const std::string& text, std::size_t capacity) {
  return std::string(platform::TruncateUtf8(text, capacity));
}

std::uint8_t LevelByte(int level) { return static_cast<std::uint8_t>(std::clamp(level, 0, 255)); }

}  // namespace

TCatalogue::TCatalogue(std::function<double()> now) : now_(std::move(now)) {}

double TCatalogue::Now() const { return now_ ? now_() : platform::NowOleDate(); }

bool TCatalogue::OpenCatalogue(const std::string& projectFile, const std::string& folderFile,
                               const std::string& logFile) {
  const bool projectOk = !projectFile_.Open(projectFile);
  const bool folderOk = !folderFile_.Open(folderFile);
  const bool logOk = !logFile_.Open(logFile);
  keptLog_.clear();
  projectCursor_ = 0;
  folderCursor_ = 0;
  return projectOk && folderOk && logOk;
}

void TCatalogue::CloseCatalogue() {
  // The files close even when the kept log entries cannot be written; that error is the
  // one reported.
  std::exception_ptr flushError;
  try {
    if (logFile_.IsOpen()) FlushLog();
  } catch (...) {
    flushError = std::current_exception();
  }
  keptLog_.clear();
  projectFile_.Close();
  folderFile_.Close();
  logFile_.Close();
  if (flushError) std::rethrow_exception(flushError);
}

bool TCatalogue::IsOpen() const {
  return projectFile_.IsOpen() && folderFile_.IsOpen() && logFile_.IsOpen();
}

// ---- record primitives

bool TCatalogue::ReadProject(TProjectRecord& out) {
  ProjectRecordBytes bytes;
  if (!projectFile_.Read(bytes.data())) return false;
  out = DecodeProjectRecord(bytes);
  return true;
}

bool TCatalogue::ReadFolder(TFolderRecord& out) {
  FolderRecordBytes bytes;
  if (!folderFile_.Read(bytes.data())) return false;
  out = DecodeFolderRecord(bytes);
  return true;
}

// The record just read is written back over itself.
void TCatalogue::RewriteProject(const TProjectRecord& record) {
  projectFile_.Seek(projectFile_.Index() - 1);
  const ProjectRecordBytes bytes = EncodeProjectRecord(record);
  projectFile_.Write(bytes.data());
}

void TCatalogue::RewriteFolder(const TFolderRecord& record) {
  folderFile_.Seek(folderFile_.Index() - 1);
  const FolderRecordBytes bytes = EncodeFolderRecord(record);
  folderFile_.Write(bytes.data());
}

bool TCatalogue::FindProject(const std::string& upperName, TProjectRecord& out) {
  projectFile_.Seek(0);
  TProjectRecord record;
  while (ReadProject(record)) {
    if (record.Live && Matches(record.Name, upperName)) {
      out = std::move(record);
      return true;
    }
  }
  return false;
}

bool TCatalogue::FindFolder(std::int32_t ownerId, const std::string& upperPath,
                            TFolderRecord& out) {
  folderFile_.Seek(0);
  TFolderRecord record;
  while (ReadFolder(record)) {
    if (record.Live && record.OwnerId == ownerId && Matches(record.Path, upperPath)) {
      out = std::move(record);
      return true;
    }
  }
  return false;
}

// ---- projects

bool TCatalogue::AddProject(const std::string& name, const std::string& storeFolder,
                            bool raiseErrors) {
  const std::string key = MatchKey(name, kProjectNameCapacity);
  projectFile_.Seek(0);
  bool duplicate = false;
  std::int64_t lastId = 0;
  TProjectRecord record;
  // The whole file is read: the last record, live or not, gives the next id.
  while (ReadProject(record)) {
    lastId = record.Id;
    if (record.Live && Matches(record.Name, key)) duplicate = true;
  }
  if (duplicate) return false;

  const std::int64_t newId = lastId + 1;
  if (newId < 1 || newId > std::numeric_limits<std::int32_t>::max()) {
    // Only a damaged file gets here; an id of 0 or below would make the project unreachable.
    throw ECatalogueError(
        projectFile_.Name(), "Write", std::make_error_code(std::errc::value_too_large),
        "the last project record has id " + std::to_string(lastId) + ", so no valid id follows it");
  }
  TProjectRecord added;
  added.Id = static_cast<std::int32_t>(newId);
  added.Live = true;
  added.Name = Cut(name, kProjectNameCapacity);
  added.StoreFolder = Cut(storeFolder, kStoreFolderCapacity);
  added.Created = Now();
  added.RaiseErrors = raiseErrors;
  // The scan left the position at the end of the file.
  const ProjectRecordBytes bytes = EncodeProjectRecord(added);
  projectFile_.Write(bytes.data());
  return true;
}

void TCatalogue::DeleteProject(const std::string& name) {
  TProjectRecord record;
  if (!FindProject(MatchKey(name, kProjectNameCapacity), record)) return;
  record.Live = false;
  RewriteProject(record);
}

bool TCatalogue::NextProjectFrom(std::int32_t start, TProjectRecord& out) {
  projectFile_.Seek(start);
  TProjectRecord record;
  while (ReadProject(record)) {
    if (record.Live) {
      projectCursor_ = static_cast<std::int32_t>(projectFile_.Index());
      out = std::move(record);
      return true;
    }
  }
  return false;
}

bool TCatalogue::FirstProject(TProjectRecord& out) { return NextProjectFrom(0, out); }

bool TCatalogue::NextProject(TProjectRecord& out) { return NextProjectFrom(projectCursor_, out); }

bool TCatalogue::GetProject(const std::string& name, TProjectRecord& out) {
  return FindProject(MatchKey(name, kProjectNameCapacity), out);
}

bool TCatalogue::UpdateProject(const std::string& oldName, const std::string& newName,
                               const std::string& storeFolder, bool raiseErrors) {
  const std::string oldKey = MatchKey(oldName, kProjectNameCapacity);
  const std::string newKey = MatchKey(newName, kProjectNameCapacity);
  projectFile_.Seek(0);
  TProjectRecord record;
  while (ReadProject(record)) {
    if (!record.Live || Matches(record.Name, oldKey)) continue;
    if (Matches(record.Name, newKey)) return false;
  }
  if (!FindProject(oldKey, record)) return false;
  record.Name = Cut(newName, kProjectNameCapacity);
  record.StoreFolder = Cut(storeFolder, kStoreFolderCapacity);
  record.Created = Now();
  record.RaiseErrors = raiseErrors;
  RewriteProject(record);
  return true;
}

std::int32_t TCatalogue::ProjectId(const std::string& name) {
  TProjectRecord record;
  return FindProject(MatchKey(name, kProjectNameCapacity), record) ? record.Id : 0;
}

void TCatalogue::ClearCatalogue() {
  folderFile_.Truncate();
  projectFile_.Truncate();
}

std::string TCatalogue::BoolToText(bool flag) { return flag ? "TRUE" : "FALSE"; }

// ---- folders

bool TCatalogue::AddFolder(const std::string& projectName, const std::string& path,
                           const std::string& masks, bool include, int level) {
  const std::int32_t id = ProjectId(projectName);
  if (id == 0 || path.empty()) return false;
  const std::string key = MatchKey(path, kFolderPathCapacity);
  folderFile_.Seek(0);
  bool duplicate = false;
  TFolderRecord record;
  while (ReadFolder(record)) {
    if (record.Live && record.OwnerId == id && Matches(record.Path, key)) duplicate = true;
  }
  if (duplicate) return false;

  TFolderRecord added;
  added.Live = true;
  added.OwnerId = id;
  added.Path = Cut(path, kFolderPathCapacity);
  added.Masks = Cut(masks, kMasksCapacity);
  added.Include = include;
  added.Level = LevelByte(level);
  added.LastStored = 0.0;
  // The scan left the position at the end of the file.
  const FolderRecordBytes bytes = EncodeFolderRecord(added);
  folderFile_.Write(bytes.data());
  return true;
}

void TCatalogue::DeleteFolder(const std::string& projectName, const std::string& path) {
  const std::int32_t id = ProjectId(projectName);
  if (id == 0) return;
  TFolderRecord record;
  if (!FindFolder(id, MatchKey(path, kFolderPathCapacity), record)) return;
  record.Live = false;
  RewriteFolder(record);
}

bool TCatalogue::UpdateFolder(const std::string& projectName, const std::string& oldPath,
                              const std::string& newPath, const std::string& masks, bool include,
                              int level) {
  const std::int32_t id = ProjectId(projectName);
  if (id == 0 || newPath.empty()) return false;
  const std::string oldKey = MatchKey(oldPath, kFolderPathCapacity);
  const std::string newKey = MatchKey(newPath, kFolderPathCapacity);
  folderFile_.Seek(0);
  TFolderRecord record;
  while (ReadFolder(record)) {
    if (!record.Live || record.OwnerId != id || Matches(record.Path, oldKey)) continue;
    if (Matches(record.Path, newKey)) return false;
  }
  if (!FindFolder(id, oldKey, record)) return false;
  record.Path = Cut(newPath, kFolderPathCapacity);
  record.Masks = Cut(masks, kMasksCapacity);
  record.Include = include;
  record.Level = LevelByte(level);
  // Another folder has never been stored; a change of letter case only is the same folder.
  if (oldKey != newKey) record.LastStored = 0.0;
  RewriteFolder(record);
  return true;
}

bool TCatalogue::GetFolder(const std::string& projectName, const std::string& path,
                           TFolderRecord& out) {
  const std::int32_t id = ProjectId(projectName);
  if (id == 0) return false;
  return FindFolder(id, MatchKey(path, kFolderPathCapacity), out);
}

bool TCatalogue::NextFolderFrom(std::int32_t ownerId, std::int32_t start, TFolderRecord& out) {
  folderFile_.Seek(start);
  TFolderRecord record;
  while (ReadFolder(record)) {
    if (record.Live && record.OwnerId == ownerId) {
      folderCursor_ = static_cast<std::int32_t>(folderFile_.Index());
      out = std::move(record);
      return true;
    }
  }
  return false;
}

bool TCatalogue::FirstFolder(const std::string& projectName, TFolderRecord& out) {
  const std::int32_t id = ProjectId(projectName);
  if (id == 0) return false;
  return NextFolderFrom(id, 0, out);
}

bool TCatalogue::NextFolder(const std::string& projectName, TFolderRecord& out) {
  const std::int32_t id = ProjectId(projectName);
  if (id == 0) return false;
  return NextFolderFrom(id, folderCursor_, out);
}

bool TCatalogue::MarkFolderStored(const std::string& projectName, const std::string& path) {
  const std::int32_t id = ProjectId(projectName);
  if (id == 0) return false;
  TFolderRecord record;
  if (!FindFolder(id, MatchKey(path, kFolderPathCapacity), record)) return false;
  record.LastStored = Now();
  RewriteFolder(record);
  return true;
}

int TCatalogue::CountFolders(const std::string& projectName) {
  const std::int32_t id = ProjectId(projectName);
  if (id == 0) return 0;
  folderFile_.Seek(0);
  int count = 0;
  TFolderRecord record;
  while (ReadFolder(record)) {
    if (record.Live && record.OwnerId == id) ++count;
  }
  return count;
}

void TCatalogue::DeleteAllFolders(const std::string& projectName) {
  const std::int32_t id = ProjectId(projectName);
  if (id == 0) return;
  folderFile_.Seek(0);
  TFolderRecord record;
  while (ReadFolder(record)) {
    if (record.Live && record.OwnerId == id) {
      record.Live = false;
      RewriteFolder(record);  // leaves the position after this record again
    }
  }
}

// ---- log

void TCatalogue::AddLogEntry(const std::string& text) {
  KeepLogEntry(text);
  FlushLog();
}

void TCatalogue::KeepLogEntry(const std::string& text) {
  TLogRecord record;
  record.Time = Now();
  record.Text = Cut(text, kLogTextCapacity);
  const LogRecordBytes bytes = EncodeLogRecord(record);
  keptLog_.insert(keptLog_.end(), bytes.begin(), bytes.end());
}

void TCatalogue::FlushLog() {
  if (keptLog_.empty()) return;
  const std::size_t count = KeptLogEntries();
  // Gone whether the write succeeds or not: a log that refused them is not asked again.
  const std::vector<std::uint8_t> records = std::move(keptLog_);
  keptLog_.clear();
  logFile_.Append(records.data(), count);
}

void TCatalogue::LoadLog(std::vector<std::string>* lines) {
  if (lines == nullptr) return;
  FlushLog();
  logFile_.Seek(0);
  LogRecordBytes bytes;
  while (logFile_.Read(bytes.data())) {
    const TLogRecord record = DecodeLogRecord(bytes);
    lines->push_back(platform::TimestampText(record.Time) + "   " + record.Text);
  }
}

void TCatalogue::ClearLog() {
  FlushLog();
  logFile_.Truncate();
}

}  // namespace catalogue
