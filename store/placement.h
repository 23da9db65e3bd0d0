// Where a source file's archive lies in the store folder. The backup writes the archives
// and the restore and verify runs find them by these same functions, so the sides can
// never disagree.
//
//   backup folder   = store folder + absolute source folder, joined as they stand
//                     ("/srv/backup" + "/home/ann/Docs" -> "/srv/backup/home/ann/Docs")
//   target dir      = the backup folder for the source folder itself; for a subdirectory,
//                     its parent's target dir + "/" + the subdirectory's name
//   archive path    = target dir + "/" + the file's full name + ".ZIP"
//
// Each archive holds exactly one entry: the file under its bare name.
#pragma once

#include <string>
#include <string_view>

namespace store {

// The extension every archive gets, in upper case.
inline constexpr std::string_view kArchiveExtension = ".ZIP";

// The source folder as the run walks it: a relative path is made absolute against the
// current directory; "." and ".." components and doubled separators are folded away.
std::string SourceFolderPath(const std::string& folderPath);

// The backup folder of a source folder: the store folder text followed directly by
// SourceFolderPath(folderPath). No separator is inserted or removed, so a store folder
// ending in "/" gives a doubled separator, which the file system reads as one.
std::string BackupFolder(const std::string& storeFolder, const std::string& folderPath);

// The target directory of a subdirectory named dirName whose parent maps to parentTarget.
std::string SubTargetDirectory(const std::string& parentTarget, const std::string& dirName);

// The archive of the file fileName whose directory maps to targetDir.
std::string ArchivePath(const std::string& targetDir, const std::string& fileName);

// Projects that no run may start. The backup, the restore and the verify run each refuse
// them before they touch any folder, with the same texts.

// Why a project's store folder cannot take archives.
enum class StoreFolderProblem {
  None,
  Empty,  // no store folder: every archive would land beside its source file
  Root,   // it is "/" (as "/.", "/..", "//" or a link to "/" are): the same, and a restore
          // would unpack the user's own "*.zip" files over their namesakes
};
// Compares directories by device and inode, so links and spellings do not matter. A store
// folder that does not exist yet is not the root.
StoreFolderProblem CheckStoreFolder(const std::string& storeFolder);
// The message and log text of a refused project.
std::string StoreFolderRefusalText(const std::string& project, const std::string& storeFolder,
                                   StoreFolderProblem problem);
// The message and log text for a project name that no project has.
std::string UnknownProjectText(const std::string& project);

// Creates every intermediate directory of path, in order from the root; the last
// component (after the last "/") is not created. "/" is taken as existing. Failures, such
// as a directory that exists already, are ignored: a store into a missing directory
// reports itself later.
void CreatePathFolders(const std::string& path);

}  // namespace store
