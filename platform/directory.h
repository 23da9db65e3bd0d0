// A directory held open, so that names inside it are used without resolving the directory's
// whole path again: a backup checks one archive per file and a restore creates, renames and
// dates one file per archive, each a dozen directories deep.
//
// Every call answers exactly as the same call on JoinPath(path, name) would. A directory
// that could not be opened (missing when the handle was made) is reached by its path.
#pragma once

#include <string>
#include <system_error>

#include "platform/file.h"
#include "platform/file_info.h"

namespace platform {

class OpenDirectory;

namespace detail {
// The descriptor of an open directory, -1 when it goes by its path.
int DescriptorOf(const OpenDirectory& dir);
}  // namespace detail

class OpenDirectory {
 public:
  explicit OpenDirectory(const std::string& path);
  ~OpenDirectory();
  OpenDirectory(const OpenDirectory&) = delete;
  OpenDirectory& operator=(const OpenDirectory&) = delete;

  const std::string& Path() const { return path_; }
  // True when the directory existed (and could be opened) when the handle was made.
  bool IsOpen() const { return fd_ >= 0; }

  // GetFileInfo of the name.
  std::error_code GetFileInfo(const std::string& name, FileInfo& out) const;
  // Opens the file name into file; Path() of the file is the joined path.
  std::error_code OpenFile(const std::string& name, File::Mode mode, File& file) const;
  // Creates a new file prefix + six random characters with the permission bits given (less
  // the umask; by default readable and writable by the owner only), opens it into file and
  // returns its bare name.
  std::error_code CreateTempFile(const std::string& prefix, File& file, std::string& name,
                                 unsigned permissions = 0600) const;
  // Creates a symbolic link to target under a new unique name beginning with prefix, which
  // is returned in name.
  std::error_code CreateTempSymlink(const std::string& target, const std::string& prefix,
                                    std::string& name) const;
  // Renames from onto to, both inside this directory; an existing to is replaced.
  std::error_code Rename(const std::string& from, const std::string& to) const;
  std::error_code DeleteFile(const std::string& name) const;
  // WriteFileTimes of the name.
  std::error_code WriteFileTimes(const std::string& name, FileTime lastAccess,
                                 FileTime lastWrite) const;

 private:
  std::string Join(const std::string& name) const;
  int Fd() const;  // the descriptor, or AT_FDCWD when names go by their joined path
  // The name as the system call takes it: bare with the descriptor, else the joined path.
  std::string At(const std::string& name) const;

  friend int detail::DescriptorOf(const OpenDirectory& dir);

  std::string path_;
  int fd_ = -1;
};

}  // namespace platform
