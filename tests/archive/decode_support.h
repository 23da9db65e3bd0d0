// Helpers for the decoder tests: an in-memory driver, an LSB-first bit writer for hand-made
// streams, zlib as the reference compressor, and test data.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/decoder.h"

namespace decode_test {

using Bytes = std::vector<std::uint8_t>;

struct TOutputTooLarge : std::runtime_error {
  TOutputTooLarge() : std::runtime_error("output larger than the entry") {}
};

// Feeds a memory buffer in blocks of blockBytes and collects the output, refusing more than
// uncompressedSize bytes the way the extraction driver does. Its work buffers are its own, or
// shared with the drivers before it (as one UnZip shares them between its entries).
class TMemoryDriver : public archive::TDecodeDriver {
 public:
  TMemoryDriver(const Bytes& data, std::size_t blockBytes = archive::kInputBlockBytes,
                archive::TDecodeBuffers* shared = nullptr)
      : data_(data), blockBytes_(blockBytes) {
    buffers = shared != nullptr ? shared : &buffers_;
    compressedSize = data.size();
    uncompressedSize = std::numeric_limits<std::uint64_t>::max();
  }

  bool RefillInput() override {
    std::uint8_t* input = buffers->Input();
    const std::size_t unread = static_cast<std::size_t>(inEnd - inNext);
    if (unread > archive::kInputKeepBytes) throw std::logic_error("refill with unread bytes");
    if (unread != 0) std::memmove(input, inNext, unread);
    const std::size_t step = std::min(blockBytes_, data_.size() - position_);
    if (step != 0) std::memcpy(input + unread, data_.data() + position_, step);
    position_ += step;
    inNext = input;
    inEnd = input + unread + step;
    return step != 0;
  }

  void FlushOutput(const std::uint8_t* data, std::size_t size) override {
    if (output.size() + size > uncompressedSize) throw TOutputTooLarge();
    output.insert(output.end(), data, data + size);
    ++flushCount;
  }

  Bytes output;
  int flushCount = 0;

 private:
  archive::TDecodeBuffers buffers_;
  const Bytes& data_;
  std::size_t blockBytes_;
  std::size_t position_ = 0;
};

struct TDecodeResult {
  archive::TDecodeStatus status;
  Bytes output;
};

inline TDecodeResult Decode(archive::TDecodeFunction decode, const Bytes& data,
                            std::size_t blockBytes = archive::kInputBlockBytes,
                            std::uint64_t uncompressedSize = std::numeric_limits<std::uint64_t>::max(),
                            std::uint16_t method = 8, std::uint16_t flags = 0,
                            archive::TDecodeBuffers* shared = nullptr) {
  TMemoryDriver driver(data, blockBytes, shared);
  driver.uncompressedSize = uncompressedSize;
  driver.method = method;
  driver.flags = flags;
  archive::TDecodeStatus status = decode(driver);
  return {status, std::move(driver.output)};
}

// LSB-first bit writer, the order of Deflate and of the legacy methods.
class TBitWriter {
 public:
  void Put(std::uint32_t value, unsigned bits) {
    for (unsigned i = 0; i < bits; ++i) PutBit(i < 32 ? (value >> i) & 1 : 0);
  }
  // A Huffman code as Deflate sends it: most significant code bit first.
  void PutCode(std::uint32_t code, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) PutBit((code >> i) & 1);
  }
  void PutBit(unsigned bit) {
    if (count_ == 0) bytes.push_back(0);
    bytes.back() |= static_cast<std::uint8_t>(bit << count_);
    count_ = (count_ + 1) & 7;
  }
  void AlignToByte() { count_ = 0; }
  Bytes bytes;

 private:
  unsigned count_ = 0;
};

// Canonical codes for a set of lengths (RFC 1951, 3.2.2): what an independent encoder sends.
inline std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths) {
  unsigned count[17] = {};
  for (auto l : lengths) ++count[l];
  count[0] = 0;
  std::uint32_t next[17] = {};
  std::uint32_t code = 0;
  for (unsigned bits = 1; bits <= 16; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<std::uint32_t> codes(lengths.size());
  for (std::size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
  }
  return codes;
}

// zlib raw deflate (no header), the reference encoder.
inline Bytes ZlibDeflate(const Bytes& input, int level, int strategy = Z_DEFAULT_STRATEGY,
                         int memLevel = 8) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, strategy) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  Bytes out(deflateBound(&z, input.size()) + 64);
  z.next_in = const_cast<Bytef*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

inline std::uint32_t Crc32(const Bytes& data) {
  return static_cast<std::uint32_t>(
      crc32(0L, data.data(), static_cast<uInt>(data.size())));
}

// Text-like data: words from a small vocabulary, so that matches of every length occur.
inline Bytes TextData(std::size_t size, unsigned seed) {
  static const char* const kWords[] = {
      "the ",    "archive ", "backup ", "of ",     "and ",     "folder ", "restore ", "file ",
      "zip ",    "entry ",   "\n",      "window ", "project ", "store ",  "Varnholt ", "data, ",
      "1998 ",   "level ",   "is ",     "a ",      "mask ",    "*.doc ",  "report ", "copy. "};
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(size);
  while (out.size() < size) {
    const char* w = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
    for (const char* p = w; *p && out.size() < size; ++p) out.push_back(static_cast<std::uint8_t>(*p));
  }
  return out;
}

inline Bytes RandomData(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

// Binary-like data: runs, small integers and repeated records, as in executables.
inline Bytes BinaryData(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(size);
  while (out.size() < size) {
    switch (rng() % 4) {
      case 0: out.insert(out.end(), rng() % 40, 0); break;
      case 1: for (int i = 0; i < 16; ++i) out.push_back(static_cast<std::uint8_t>(rng() % 8)); break;
      case 2: if (out.size() > 64) { std::size_t from = out.size() - 1 - rng() % std::min<std::size_t>(out.size() - 1, 30000); std::size_t n = 4 + rng() % 60; for (std::size_t i = 0; i < n; ++i) out.push_back(out[from + i]); } break;
      default: for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(rng())); break;
    }
  }
  out.resize(size);
  return out;
}

}  // namespace decode_test
