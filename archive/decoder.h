// The decoders of the compressed ZIP methods and the driver interface they plug into.
//
// A decoder sees an entry only through TDecodeDriver: it takes compressed bytes from the
// driver's input buffer (refilled by RefillInput, one byte at a time by ReadInputByte), keeps
// its history and its pending output in the shared window of TDecodeBuffers, and hands every
// finished run of plain bytes to FlushOutput, where the CRC-32, the size check, the progress
// events and the file writing happen once for all methods.
//
// Contract for every decoder:
//  - invalid data never raises and never reads or writes outside the buffers: the decoder
//    stops and returns TDecodeStatus::BadData; the entry's CRC check then rejects the file;
//  - exceptions come only from the driver (RefillInput, FlushOutput) and pass through; the
//    decoder state lives in TDecodeBuffers, so nothing leaks when they do;
//  - a back reference to before the start of the entry's data yields zero bytes (the history
//    is cleared for every entry), so no stale bytes of an earlier entry can leak into a file.
//
// Single-threaded: a driver and its buffers serve one entry at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace archive {

// Longest back reference of any method: Deflate and Implode reach 32 KiB back.
inline constexpr std::size_t kHistoryBytes = 32768;
// New output collected after the history before it goes to FlushOutput in one piece. Large
// enough that sliding the history down (one 32 KiB move) costs little per byte; at least the
// longest string a single Shrink code can produce (8 KiB).
inline constexpr std::size_t kOutputChunkBytes = 128 * 1024;
// Room behind the chunk for the fast loops' whole-word match copies, which may store up to
// 7 bytes past the end of a match.
inline constexpr std::size_t kWindowSlackBytes = 512;
inline constexpr std::size_t kWindowBytes = kHistoryBytes + kOutputChunkBytes + kWindowSlackBytes;
// Per-entry state of the decoders (decode tables, Shrink dictionary, Reduce follower sets);
// each decoder checks at compile time that its state fits.
inline constexpr std::size_t kScratchBytes = 64 * 1024;
// Compressed bytes read from the archive per refill.
inline constexpr std::size_t kInputBlockBytes = 16000;
// Most unread bytes a refill keeps (moved to the front of the input buffer); decoders ask for
// a refill only when fewer than this many are left.
inline constexpr std::size_t kInputKeepBytes = 64;
inline constexpr std::size_t kInputBufferBytes = kInputBlockBytes + kInputKeepBytes;

enum class TDecodeStatus {
  Done,     // the method's end was reached (the CRC check still decides)
  BadData,  // invalid compressed data; the decoder stopped
};

// The work buffers of one UnZip, allocated once and shared by every entry and method.
class TDecodeBuffers {
 public:
  TDecodeBuffers();
  std::uint8_t* Window() { return window_.get(); }
  std::uint8_t* Input() { return input_.get(); }
  // Suitably aligned for the decoders' state structs.
  void* Scratch() { return scratch_.get(); }
  // True while the window's history part (its first kHistoryBytes) holds zeros only: an
  // entry that never slid its window leaves it so, and the next one need not clear it again.
  // Whoever writes there clears the flag.
  bool historyZero = false;

 private:
  std::unique_ptr<std::uint8_t[]> window_;
  std::unique_ptr<std::uint8_t[]> input_;
  std::unique_ptr<std::uint64_t[]> scratch_;
};

class TDecodeDriver {
 public:
  virtual ~TDecodeDriver() = default;

  // The unread compressed bytes of the current input block.
  const std::uint8_t* inNext = nullptr;
  const std::uint8_t* inEnd = nullptr;

  // The entry being decoded.
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;
  std::uint16_t flags = 0;   // general purpose flags (Implode reads bits 1 and 2)
  std::uint16_t method = 0;  // 2..5 tell Reduce its factor
  TDecodeBuffers* buffers = nullptr;

  // Moves the unread bytes (at most kInputKeepBytes) to the front of the input buffer and
  // appends the next block of the entry's compressed data. Returns false, adding nothing, once
  // the entry's compressed size is used up. May throw (a short archive, a cancel request).
  virtual bool RefillInput() = 0;
  // Takes the next size plain bytes of the entry. May throw (output larger than the entry's
  // uncompressed size, a write error).
  virtual void FlushOutput(const std::uint8_t* data, std::size_t size) = 0;

  // The next compressed byte: returns 8 with the byte, or 0 when the entry's data is used up.
  int ReadInputByte(std::uint8_t& byte) {
    if (inNext == inEnd && !RefillInput()) return 0;
    if (inNext == inEnd) return 0;
    byte = *inNext++;
    return 8;
  }
};

using TDecodeFunction = TDecodeStatus (*)(TDecodeDriver& driver);

TDecodeStatus Inflate(TDecodeDriver& driver);   // method 8
TDecodeStatus Unshrink(TDecodeDriver& driver);  // method 1
TDecodeStatus Unreduce(TDecodeDriver& driver);  // methods 2 to 5
TDecodeStatus Explode(TDecodeDriver& driver);   // method 6

struct TDecoderEntry {
  std::uint16_t firstMethod;
  std::uint16_t lastMethod;
  const char* name;
  TDecodeFunction decode;
};

// The decoder of a compression method; nullptr for stored (0, copied by the driver) and for
// every method this layer cannot decode.
const TDecoderEntry* FindDecoder(std::uint16_t method);

}  // namespace archive
