// TLFNFileStream: a file stream with one 64 KiB buffer, used for reading or for writing.
//
// Every archive and source file the archive layer touches goes through it, so small record
// reads and writes cost a memory copy, not a system call. Most files a backup holds are
// smaller than the buffer: one read or one write then moves the whole file, and the header
// patched behind a small entry is rewritten in memory. Reads fill the buffer with full-size
// reads of the file; written bytes collect in the buffer and reach the file when it
// is full, before a seek elsewhere, on Flush and on destruction. Seeking inside the bytes of
// the current buffer (read, or still to be written) moves the cursor without touching the
// file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/stream.h"
#include "platform/file.h"

namespace archive {

enum class TLFNFileMode {
  Create,         // create the file, or truncate it; read and write
  CreateNew,      // create the file; fails when it exists; read and write
  OpenRead,       // existing file, read only (others may read and write it: no share modes)
  OpenReadWrite,  // existing file, read and write
};

// Stream buffers kept between the streams of one user (one thread): a stream made with the
// pool takes a spare buffer and gives it back when destroyed, so that a reader unpacking one
// small archive after another allocates its buffers once. The pool must outlive its streams.
class TStreamBufferPool {
 public:
  std::unique_ptr<std::uint8_t[]> Take();
  void Give(std::unique_ptr<std::uint8_t[]> buffer) noexcept;

 private:
  std::vector<std::unique_ptr<std::uint8_t[]>> spare_;
};

class TLFNFileStream : public TStream {
 public:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  // Raises EFOpenError "Cannot open file "<path>". <reason>" (or "Cannot create file ...").
  TLFNFileStream(const std::string& path, TLFNFileMode mode, TStreamBufferPool* pool = nullptr);
  // Takes over a file opened already (OpenRead for Mode::Read, else Create).
  TLFNFileStream(platform::File&& file, TLFNFileMode mode, TStreamBufferPool* pool = nullptr);
  // Writes pending bytes; a failure here cannot be reported and is lost: call Flush first
  // where it matters.
  ~TLFNFileStream() override;
  TLFNFileStream(const TLFNFileStream&) = delete;
  TLFNFileStream& operator=(const TLFNFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  void Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  // The larger of the file's size and the position after the bytes still buffered. A stream
  // opened for reading reads the file as it was when opened: its size is taken then.
  std::int64_t Size() override;

  // Writes pending bytes to the file (raises EStreamError "Stream write error").
  void Flush();
  // Steps back over count bytes just read from the buffer ("Putback overflow" when the
  // buffer does not hold that many bytes before the cursor).
  void PutBack(std::size_t count);
  const std::string& FileName() const { return path_; }
  // The file itself, for what the stream does not do (its mode, its times, its status when
  // opened). Flush first when bytes may be pending.
  platform::File& Handle() { return file_; }

 private:
  enum class State { Empty, Reading, Writing };

  void PositionFile(std::int64_t position);
  void FlushWrite();

  platform::File file_;
  std::string path_;
  bool readOnly_ = false;
  TStreamBufferPool* pool_ = nullptr;
  std::unique_ptr<std::uint8_t[]> buffer_;
  State state_ = State::Empty;
  std::int64_t bufferStart_ = 0;    // file offset of buffer_[0]
  std::size_t readBytes_ = 0;       // Reading: valid bytes in the buffer
  std::size_t cursor_ = 0;          // Reading: next byte to serve; Writing: next byte to fill
  std::size_t pendingEnd_ = 0;      // Writing: bytes of the buffer still to reach the file
  std::int64_t position_ = 0;       // logical position
  std::int64_t filePosition_ = -1;  // where the descriptor stands; -1 unknown
};

}  // namespace archive
