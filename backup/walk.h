// The backup's walk of a source folder.
//
// The walk goes depth first through a source folder in the platform's listing order,
// mirrors every directory it enters into the store folder (store/placement.h), and hands
// every file the selection picks (store/selection.h) to the store action.
//
// Paths are explicit throughout: the walk never changes the process's current directory.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/directory.h"
#include "platform/status_lookups.h"
#include "store/selection.h"

namespace backup {

// A source directory and its mirror in the store, held open while files of it are stored:
// a store opens its file, creates, dates and renames its archive by bare names relative to
// them, so the kernel does not walk two long paths for every call. Shared, because stores
// in flight may outlive the walk's visit of the directory.
struct WalkLevel {
  WalkLevel(const std::string& sourceDir, const std::string& targetDir)
      : source(sourceDir), target(targetDir) {}
  platform::OpenDirectory source;
  platform::OpenDirectory target;
};

// One walk of a source folder.
struct FolderWalk {
  store::MaskList masks{""};
  bool include = true;
  // Directories never entered: the store folder and the directory chain from it to the
  // backup folder. Compared by device and inode, so a store reached through a link into
  // the tree (or a tree named through a link) is recognised as well.
  std::vector<store::DirectoryId> leftOut;
  // How the walk's looks at entries and archives go to the system: a directory's (or each
  // thread's share of them) together where the kernel takes them so, or one by one.
  platform::LookupMode looks = platform::LookupMode::Batched;
  // Given, runs both jobs at once (one of them on a worker) and returns when both are done:
  // the walk then splits the looks at the entries of a large directory, and at their
  // archives, between them.
  std::function<void(const std::function<void()>& first, const std::function<void()>& second)>
      runBoth;
  // Called for every selected file with its directories and its bare name.
  std::function<void(const std::shared_ptr<const WalkLevel>& level, const std::string& name)> store;
  // Called after every directory entry, so that the caller's window stays responsive.
  std::function<void()> afterEntry;
  // Called when the walk made a target directory that did not exist. A caller that stores
  // ahead of what it has committed notes it: should the run end before the stores walked
  // before it are committed, it removes the directory again, so that the store is left as
  // a run storing one file at a time leaves it.
  std::function<void(const std::string& targetDir)> madeDirectory;
  // Called for a directory that could not be listed, or whose entries could not all be
  // examined (read but not enter rights), with the system's reason.
  std::function<void(const std::string& dir, std::error_code reason)> unreadable;
};

// Walks sourceDir (absolute) and everything below it. Creates targetDir first (an existing
// one is fine) and removes the leftovers of cut-off stores from it (backup/temporary.h). A
// directory that cannot be listed ends its own level, reported through walk.unreadable.
// Directories whose names begin with "." and symbolic links to directories are not entered;
// entries that are neither regular files nor directories (pipes, sockets, devices) are never
// stored. False when sourceDir itself could not be listed.
bool ProcessDirectory(const std::string& sourceDir, const std::string& targetDir,
                      const FolderWalk& walk);

}  // namespace backup
