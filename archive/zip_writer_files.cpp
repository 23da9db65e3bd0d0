// TZipWriter: expanding FilesList, the exclusion lists, and the names entries are stored
// under.
#include <algorithm>

#include "archive/dir_search.h"
#include "archive/zip_pattern.h"
#include "archive/zip_writer.h"
#include "platform/file_info.h"
#include "platform/file_system.h"

namespace archive {

namespace {

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Everything up to and including the last "/" ("" for a bare name).
std::string DirectoryPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool MatchesAny(const std::vector<std::string>& patterns, const std::string& path) {
  const std::string fileName = platform::BaseName(path);
  for (const std::string& pattern : patterns) {
    // A pattern with a directory part is matched against the whole path.
    const bool wholePath = pattern.find('/') != std::string::npos;
    if (MatchPattern(pattern, wholePath ? path : fileName)) return true;
  }
  return false;
}

// The name of a directory in an archive: relative, with "/" after each component, and
// without "." or ".." components (a stored "../" would let extraction write outside its
// target folder).
std::string ArchiveDirectory(const std::string& directory) {
  std::string result;
  std::size_t start = 0;
  while (start <= directory.size()) {
    std::size_t slash = directory.find('/', start);
    if (slash == std::string::npos) slash = directory.size();
    const std::string part = directory.substr(start, slash - start);
    if (!part.empty() && part != "." && part != "..") result += part + "/";
    start = slash + 1;
  }
  return result;
}

}  // namespace

bool TZipWriter::IsExcluded(const std::string& path) const {
  return MatchesAny(ExcludeList, path);
}

bool TZipWriter::IsNoCompress(const std::string& fileName) const {
  return MatchesAny(NoCompressList, fileName);
}

bool TZipWriter::PassesArchiveBitFilter(const platform::FileInfo& info) const {
  return !SkipIfArchiveBitNotSet || (info.attributes & platform::faArchive) != 0;
}

std::string TZipWriter::StoredDirectory(const std::string& path, bool forMatch) const {
  if (!storePaths_) return {};
  // The file's directory with exactly one "/" at its end ("/" for a bare name).
  std::string directory = DirectoryPart(path);
  while (directory.size() >= 2 && directory.ends_with("//")) directory.pop_back();
  if (directory.empty()) directory = "/";
  if (relativePaths_ && !rootDir_.empty()) {
    if (forMatch) {
      directory.erase(0, std::min(rootDir_.size(), directory.size()));
    } else if (directory.size() >= rootDir_.size() &&
               AsciiLower(directory.substr(0, rootDir_.size())) == AsciiLower(rootDir_)) {
      directory.erase(0, rootDir_.size());
    }
  }
  // Linux paths have no drive or share part to remove (or keep, with StoreVolumes); the
  // leading "/" goes in every case, so that no stored name is absolute.
  return ArchiveDirectory(directory);
}

bool TZipWriter::MatchesEntry(const std::string& name, const TZipHeaderInfo& entry) const {
  return AsciiLower(StoredDirectory(name, true) + platform::BaseName(name)) ==
         AsciiLower(entry.Directory + entry.FileName);
}

bool TZipWriter::InArchiveByName(const std::string& path) const {
  if (!view_ || view_->Count() == 0) return false;
  TZipHeaderInfo key;
  key.SetFileName(platform::BaseName(path));
  key.SetDirectory(StoredDirectory(path, true));
  int index = 0;
  return view_->Find(key, index);
}

void TZipWriter::ExpandFileList() {
  zipTotalBytes_ = 0;
  zipBytesRead_ = 0;
  const bool freshen = ZipAction == TZipAction::zaFreshen;
  // Freshening looks names up in the directory held now; none loaded means none pass.
  if (freshen) Sort(TZipSortMode::ByName);

  std::vector<std::string> expanded;
  std::vector<std::string> wildcards;
  for (const std::string& given : FilesList) {
    if (HasWildcards(given)) {
      wildcards.push_back(given);
      continue;
    }
    const std::string name = given.find('/') == std::string::npos ? rootDir_ + given : given;
    if (IsExcluded(name)) continue;
    platform::FileInfo info;
    if (platform::GetFileInfo(name, info) || !info.isRegular) {
      if (OnNoSuchFile) OnNoSuchFile(*this, name);
      continue;
    }
    if (!PassesArchiveBitFilter(info)) continue;
    if (freshen && !InArchiveByName(name)) continue;
    zipTotalBytes_ += static_cast<std::int64_t>(info.size);
    expanded.push_back(name);
  }

  // Only a wildcard could name the archive itself; a plain name needs no look at the current
  // directory (a call per stored file in a backup).
  const std::string archivePath =
      wildcards.empty() ? std::string() : AsciiLower(platform::AbsolutePath(zipName_));
  for (std::string wildcard : wildcards) {
    bool recurse = Recurse;
    if (!wildcard.empty() && (wildcard[0] == '|' || wildcard[0] == '>')) {
      recurse = wildcard[0] == '>';
      wildcard.erase(0, 1);
    }
    std::string directory = DirectoryPart(wildcard);
    const std::string mask = wildcard.substr(directory.size());
    if (directory.empty()) directory = rootDir_;
    if (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    if (directory.empty() || !platform::DirectoryExists(directory)) continue;
    TDirSearch search(directory, recurse, mask);
    for (;;) {
      platform::FileInfo info;
      const std::string path = search.NextFile(info);
      if (path.empty()) break;
      if (IsExcluded(path)) continue;
      if (AsciiLower(platform::AbsolutePath(path)) == archivePath) continue;
      if (!PassesArchiveBitFilter(info)) continue;
      if (freshen && !InArchiveByName(path)) continue;
      zipTotalBytes_ += static_cast<std::int64_t>(info.size);
      expanded.push_back(path);
    }
  }
  FilesList = std::move(expanded);
  if (freshen) Sort(TZipSortMode::ByNone);
}

}  // namespace archive
