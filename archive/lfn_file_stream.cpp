#include "archive/lfn_file_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/zip_errors.h"

namespace archive {

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (Read(buffer, count) != count) throw EStreamError("Stream read error");
}

namespace {

// More spares than streams open at once are never needed.
constexpr std::size_t kMaxSpareBuffers = 4;

std::unique_ptr<std::uint8_t[]> NewBuffer() {
  return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[TLFNFileStream::kBufferSize]);
}

std::unique_ptr<std::uint8_t[]> NewBuffer(TStreamBufferPool* pool) {
  return pool != nullptr ? pool->Take() : NewBuffer();
}

}  // namespace

std::unique_ptr<std::uint8_t[]> TStreamBufferPool::Take() {
  if (spare_.empty()) return NewBuffer();
  std::unique_ptr<std::uint8_t[]> buffer = std::move(spare_.back());
  spare_.pop_back();
  return buffer;
}

void TStreamBufferPool::Give(std::unique_ptr<std::uint8_t[]> buffer) noexcept {
  if (!buffer || spare_.size() >= kMaxSpareBuffers) return;
  try {
    spare_.push_back(std::move(buffer));
  } catch (const std::bad_alloc&) {
    // The buffer is freed instead.
  }
}

TLFNFileStream::TLFNFileStream(const std::string& path, TLFNFileMode mode, TStreamBufferPool* pool)
    : path_(path), pool_(pool), buffer_(NewBuffer(pool)) {
  platform::File::Mode fileMode = platform::File::Mode::Read;
  if (mode == TLFNFileMode::Create) fileMode = platform::File::Mode::Create;
  if (mode == TLFNFileMode::CreateNew) fileMode = platform::File::Mode::CreateNew;
  if (mode == TLFNFileMode::OpenReadWrite) fileMode = platform::File::Mode::ReadWrite;
  if (std::error_code ec = file_.Open(path, fileMode)) {
    const char* verb =
        mode == TLFNFileMode::Create || mode == TLFNFileMode::CreateNew ? "Cannot create file \""
                                                                          : "Cannot open file \"";
    throw EFOpenError(verb + path + "\". " + ec.message(), ec);
  }
  filePosition_ = 0;
  readOnly_ = mode == TLFNFileMode::OpenRead;
}

TLFNFileStream::TLFNFileStream(platform::File&& file, TLFNFileMode mode, TStreamBufferPool* pool)
    : file_(std::move(file)),
      path_(file_.Path()),
      readOnly_(mode == TLFNFileMode::OpenRead),
      pool_(pool),
      buffer_(NewBuffer(pool)) {
  filePosition_ = 0;
}

TLFNFileStream::~TLFNFileStream() {
  try {
    FlushWrite();
  } catch (const EStreamError&) {
    // Nothing can report it here; Flush() is the way to see this failure.
  }
  if (pool_ != nullptr) pool_->Give(std::move(buffer_));
}

void TLFNFileStream::PositionFile(std::int64_t position) {
  if (filePosition_ == position) return;
  std::uint64_t newPosition = 0;
  if (std::error_code ec = file_.Seek(position, platform::File::Origin::Begin, newPosition)) {
    filePosition_ = -1;
    throw EStreamError("Seek error", ec);
  }
  filePosition_ = static_cast<std::int64_t>(newPosition);
}

void TLFNFileStream::FlushWrite() {
  if (state_ != State::Writing) return;
  const std::size_t pending = pendingEnd_;
  state_ = State::Empty;
  cursor_ = 0;
  pendingEnd_ = 0;
  if (pending == 0) return;
  PositionFile(bufferStart_);
  if (std::error_code ec = file_.Write(buffer_.get(), pending)) {
    filePosition_ = -1;
    throw EStreamError("Stream write error", ec);
  }
  filePosition_ += static_cast<std::int64_t>(pending);
}

void TLFNFileStream::Flush() { FlushWrite(); }

std::size_t TLFNFileStream::Read(void* buffer, std::size_t count) {
  if (state_ == State::Writing) FlushWrite();
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    if (state_ == State::Reading && cursor_ < readBytes_) {
      const std::size_t n = std::min(count - done, readBytes_ - cursor_);
      std::memcpy(out + done, buffer_.get() + cursor_, n);
      cursor_ += n;
      position_ += static_cast<std::int64_t>(n);
      done += n;
      continue;
    }
    // Buffer used up: refill it with one full-size read of the file. A stream opened for
    // reading ends where the file ended then, and needs no call to learn it.
    std::size_t want = kBufferSize;
    if (readOnly_) {
      const auto end = static_cast<std::int64_t>(file_.OpenedSize());
      if (position_ >= end) break;
      want = static_cast<std::size_t>(std::min<std::int64_t>(end - position_, kBufferSize));
    }
    PositionFile(position_);
    std::size_t got = 0;
    if (std::error_code ec = file_.ReadSome(buffer_.get(), want, got)) {
      filePosition_ = -1;
      state_ = State::Empty;
      throw EStreamError("Stream read error", ec);
    }
    filePosition_ += static_cast<std::int64_t>(got);
    state_ = State::Reading;
    bufferStart_ = position_;
    readBytes_ = got;
    cursor_ = 0;
    if (got == 0) break;
  }
  return done;
}

void TLFNFileStream::Write(const void* buffer, std::size_t count) {
  if (state_ == State::Reading) state_ = State::Empty;  // the file is positioned on flush
  if (state_ == State::Empty) {
    state_ = State::Writing;
    bufferStart_ = position_;
    cursor_ = 0;
    pendingEnd_ = 0;
  }
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  while (count > 0) {
    const std::size_t n = std::min(count, kBufferSize - cursor_);
    std::memcpy(buffer_.get() + cursor_, in, n);
    cursor_ += n;
    pendingEnd_ = std::max(pendingEnd_, cursor_);
    position_ += static_cast<std::int64_t>(n);
    in += n;
    count -= n;
    if (cursor_ == kBufferSize) {
      FlushWrite();
      state_ = State::Writing;
      bufferStart_ = position_;
    }
  }
}

std::int64_t TLFNFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t target = 0;
  switch (origin) {
    case TSeekOrigin::soBeginning:
      target = offset;
      break;
    case TSeekOrigin::soCurrent:
      // An offset taken from a hostile header may be near the type's limits.
      if (__builtin_add_overflow(position_, offset, &target)) throw EStreamError("Seek error");
      break;
    case TSeekOrigin::soEnd:
      if (__builtin_add_overflow(Size(), offset, &target)) throw EStreamError("Seek error");
      break;
    default:
      throw EStreamError("Invalid seek origin (" + std::to_string(static_cast<int>(origin)) + ")");
  }
  if (target == position_) return position_;
  if (target < 0) throw EStreamError("Seek error");
  // Inside the bytes still to be written (a header patched behind a small entry): the
  // buffer takes the new bytes and the file sees one write.
  if (state_ == State::Writing && target >= bufferStart_ &&
      target <= bufferStart_ + static_cast<std::int64_t>(pendingEnd_)) {
    cursor_ = static_cast<std::size_t>(target - bufferStart_);
    position_ = target;
    return position_;
  }
  if (state_ == State::Writing) {
    try {
      FlushWrite();
    } catch (const EStreamError& e) {
      throw EStreamError("Seek error", e.code());
    }
  }
  if (state_ == State::Reading && target >= bufferStart_ &&
      target <= bufferStart_ + static_cast<std::int64_t>(readBytes_)) {
    cursor_ = static_cast<std::size_t>(target - bufferStart_);
  } else {
    state_ = State::Empty;
  }
  position_ = target;
  return position_;
}

std::int64_t TLFNFileStream::Size() {
  if (readOnly_) return static_cast<std::int64_t>(file_.OpenedSize());
  std::uint64_t fileSize = 0;
  if (std::error_code ec = file_.Size(fileSize)) throw EStreamError("Stream read error", ec);
  std::int64_t size = static_cast<std::int64_t>(fileSize);
  if (state_ == State::Writing)
    size = std::max(size, bufferStart_ + static_cast<std::int64_t>(pendingEnd_));
  return size;
}

void TLFNFileStream::PutBack(std::size_t count) {
  if (state_ != State::Reading || count > cursor_) throw EStreamError("Putback overflow");
  cursor_ -= count;
  position_ -= static_cast<std::int64_t>(count);
}

}  // namespace archive
