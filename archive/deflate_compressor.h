// The Deflate compressor of the archive writer: one source file in, one raw RFC 1951 stream
// out, for entries of method 8 at levels 1 to 9.
//
// The writer keeps one TDeflateCompressor for its lifetime: the constructor allocates every
// work buffer once (about 1 MB), and each Deflate() call reuses them, so memory does not
// grow with the number or size of files. Output for a given input and level
// is the same on every run and does not depend on earlier files compressed with the object.
//
// Source bytes are pulled and compressed bytes pushed through IDeflateIo; exceptions thrown
// there pass through Deflate() unchanged, and the object stays usable for the next file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/zip_errors.h"

namespace archive {

// The compressor's view of the writer.
class IDeflateIo {
 public:
  virtual ~IDeflateIo() = default;
  // Delivers up to size bytes of the source into buffer and returns how many. Fewer than
  // size only at the end of the source; 0 means the source is used up.
  virtual std::size_t ReadSource(std::uint8_t* buffer, std::size_t size) = 0;
  // Takes all size bytes of compressed data, in order.
  virtual void WriteOutput(const std::uint8_t* data, std::size_t size) = 0;
};

// The three header fields the compressor decides for the entry being written.
struct TDeflateEntryFields {
  // Bits 1 and 2 are set from the level: 4 for levels 1 and 2 (super fast), 2 for levels 8 and
  // 9 (maximum); levels 3 to 7 clear both. Other bits are left alone.
  std::uint16_t Flags = 0;
  // Left as given, except set to 0 (stored) when the whole file went out as its raw bytes.
  std::uint16_t Method = 8;
  // 2 = not yet decided: becomes 1 (text) or 0 (binary) from the first block's literals.
  // Any other value is left alone.
  std::uint16_t InternalAttributes = 2;
};

// A match about to be emitted does not repeat the bytes it claims to repeat: an internal
// fault of the matcher, never caused by input data.
class EInvalidMatch : public EZipError {
 public:
  using EZipError::EZipError;
};

// An internal consistency check of the compressor failed ("inconsistent bit
// counts-gencodes" and the like): a fault in this code, never caused by input data.
class EDeflateAssertion : public EZipError {
 public:
  using EZipError::EZipError;
};

namespace deflater {
class CompressorState;
}

class TDeflateCompressor {
 public:
  TDeflateCompressor();
  ~TDeflateCompressor();
  TDeflateCompressor(const TDeflateCompressor&) = delete;
  TDeflateCompressor& operator=(const TDeflateCompressor&) = delete;

  // Compresses the whole source at level (1 to 9) and returns the number of compressed bytes
  // written, which is the entry's compressed size. Updates entry as described above.
  std::uint64_t Deflate(int level, IDeflateIo& io, TDeflateEntryFields& entry);

 private:
  std::unique_ptr<deflater::CompressorState> state_;
};

}  // namespace archive
