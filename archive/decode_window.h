// The output side shared by the decoders: history and pending output in one buffer.
//
//   Window(): [ history, kHistoryBytes | new output ... chunkEnd | slack ]
//                                        ^flushed      ^out
//
// A decoder writes plain bytes at out and copies matches from out - distance; the history in
// front always holds at least kHistoryBytes bytes, so no distance of any method (at most
// 32 KiB) can reach outside the buffer. The history is all zeros at the start of every entry,
// which makes a reference to before the start of the data yield zero bytes (it is cleared
// only when an earlier entry slid output into it). When the chunk is full, Slide() hands the
// new bytes to the driver in one piece and moves the last kHistoryBytes down to the front.
// Writes past chunkEnd (into the slack) are allowed only for the fast loops' word copies.
#pragma once

#include <cstring>

#include "archive/decoder.h"

namespace archive {

class TOutputWindow {
 public:
  explicit TOutputWindow(TDecodeDriver& driver)
      : driver_(driver), base_(driver.buffers->Window()) {
    if (!driver.buffers->historyZero) {
      std::memset(base_, 0, kHistoryBytes);
      driver.buffers->historyZero = true;
    }
    out = base_ + kHistoryBytes;
    flushed_ = out;
    chunkEnd = out + kOutputChunkBytes;
  }

  std::uint8_t* out;
  std::uint8_t* chunkEnd;

  std::size_t Room() const { return static_cast<std::size_t>(chunkEnd - out); }

  // Makes room for at least bytes (at most kOutputChunkBytes) at out.
  void Reserve(std::size_t bytes) {
    if (Room() < bytes) Slide();
  }

  void PutByte(std::uint8_t byte) {
    if (out == chunkEnd) Slide();
    *out++ = byte;
  }

  // Copies length bytes from distance bytes back (1 <= distance <= kHistoryBytes), byte by
  // byte so that an overlapping copy repeats the pattern; slides as often as needed.
  void CopyMatch(std::size_t distance, std::size_t length) {
    while (length > 0) {
      if (out == chunkEnd) Slide();
      std::size_t step = Room() < length ? Room() : length;
      const std::uint8_t* from = out - distance;
      for (std::size_t i = 0; i < step; ++i) out[i] = from[i];
      out += step;
      length -= step;
    }
  }

  // Hands the new bytes to the driver and keeps the last kHistoryBytes as history.
  void Slide() {
    driver_.buffers->historyZero = false;
    Flush();
    std::memmove(base_, out - kHistoryBytes, kHistoryBytes);
    out = base_ + kHistoryBytes;
    flushed_ = out;
  }

  // Hands the bytes written since the last flush to the driver.
  void Flush() {
    if (out > flushed_) {
      std::uint8_t* from = flushed_;
      flushed_ = out;
      driver_.FlushOutput(from, static_cast<std::size_t>(out - from));
    }
  }

 private:
  TDecodeDriver& driver_;
  std::uint8_t* base_;
  std::uint8_t* flushed_;
};

}  // namespace archive
