#include "store/placement.h"

#include "platform/file_info.h"
#include "platform/file_system.h"

namespace store {

std::string SourceFolderPath(const std::string& folderPath) {
  return platform::AbsolutePath(folderPath);
}

std::string BackupFolder(const std::string& storeFolder, const std::string& folderPath) {
  return storeFolder + SourceFolderPath(folderPath);
}

std::string SubTargetDirectory(const std::string& parentTarget, const std::string& dirName) {
  return platform::JoinPath(parentTarget, dirName);
}

std::string ArchivePath(const std::string& targetDir, const std::string& fileName) {
  return platform::JoinPath(targetDir, fileName) + std::string(kArchiveExtension);
}

StoreFolderProblem CheckStoreFolder(const std::string& storeFolder) {
  if (storeFolder.empty()) return StoreFolderProblem::Empty;
  if (platform::AbsolutePath(storeFolder) == "/") return StoreFolderProblem::Root;
  platform::FileInfo store;
  platform::FileInfo root;
  if (!platform::GetFileInfo(storeFolder, store) && !platform::GetFileInfo("/", root) &&
      platform::SameObject(store, root)) {
    return StoreFolderProblem::Root;
  }
  return StoreFolderProblem::None;
}

std::string StoreFolderRefusalText(const std::string& project, const std::string& storeFolder,
                                   StoreFolderProblem problem) {
  if (problem == StoreFolderProblem::Empty) {
    return "Project \"" + project + "\" has no folder to store!";
  }
  return "Folder to store \"" + storeFolder + "\" of project \"" + project +
         "\" is the root folder!";
}

std::string UnknownProjectText(const std::string& project) {
  return "Can't find project \"" + project + "\"!";
}

void CreatePathFolders(const std::string& path) {
  // An absolute path starts after its leading "/", which always exists; a relative one
  // (a store folder typed without the leading "/") is created from its first component.
  const std::size_t prefixLength = (!path.empty() && path[0] == '/') ? 1 : 0;
  std::size_t collected = 0;
  for (std::size_t k = prefixLength; k < path.size(); ++k) {
    if (path[k] == '/' && collected > 0) {
      platform::CreateDirectory(path.substr(0, k));  // an existing directory is fine
    }
    ++collected;
  }
}

}  // namespace store
