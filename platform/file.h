// An open file: a thin owner of a descriptor. Every call reports failure through its
// std::error_code result (errno values in std::generic_category); nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

#include "platform/file_info.h"
#include "platform/file_time.h"

namespace platform {

class File {
 public:
  enum class Mode {
    Read,          // existing file, read only
    ReadWrite,     // existing file, read and write
    OpenOrCreate,  // read and write; created empty when missing, never truncated
    Create,        // read and write; created, or truncated when it exists
    CreateNew,     // read and write; fails with EEXIST when the file exists
  };
  enum class Origin { Begin, Current, End };

  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  std::error_code Open(const std::string& path, Mode mode);
  std::error_code Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

  // Mode::Read: the status the file had when it was opened, taken by the open's own status
  // check (so a caller needs no lookup of its own). Empty in the other modes.
  const FileInfo& OpenedInfo() const { return openedInfo_; }
  std::uint64_t OpenedSize() const { return openedInfo_.size; }
  FileTime OpenedLastWrite() const { return openedInfo_.times.lastWrite; }

  // Reads up to size bytes; bytesRead < size only at the end of the file.
  std::error_code Read(void* buffer, std::size_t size, std::size_t& bytesRead);
  // One read: up to size bytes, fewer when the file holds fewer; 0 at its end. A buffered
  // reader refilling its buffer needs no second call to learn that a short file ended.
  std::error_code ReadSome(void* buffer, std::size_t size, std::size_t& bytesRead);
  // Writes all size bytes or fails.
  std::error_code Write(const void* buffer, std::size_t size);
  std::error_code Seek(std::int64_t offset, Origin origin, std::uint64_t& newPosition);
  std::error_code Position(std::uint64_t& position);
  std::error_code Size(std::uint64_t& size);
  std::error_code Truncate(std::uint64_t size);
  std::error_code Sync();
  // Sets the permission bits (mode & 0777).
  std::error_code SetMode(std::uint32_t mode);
  // Sets the last-write time; the access time stays as it is.
  std::error_code SetLastWriteTime(FileTime lastWrite);
  // Sets the last-access and last-write times, as WriteFileTimes does by path.
  std::error_code SetTimes(FileTime lastAccess, FileTime lastWrite);

 private:
  friend class OpenDirectory;
  // Opens name relative to the directory descriptor dirFd; path is what Path() reports.
  std::error_code OpenAt(int dirFd, const std::string& name, const std::string& path, Mode mode,
                         unsigned permissions);

  int fd_ = -1;
  std::string path_;
  FileInfo openedInfo_;
};

}  // namespace platform
