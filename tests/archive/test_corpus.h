// Deterministic sample inputs shared by the compressor and writer tests: the same bytes on
// every run and machine (own generators, no std:: distributions whose output may vary); and
// the compressor run from memory to memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/deflate_compressor.h"

namespace testcorpus {

using Bytes = std::vector<std::uint8_t>;

// Uniformly random bytes from a fixed seed (xorshift64*).
Bytes RandomBytes(std::size_t size, std::uint64_t seed);
// English-like text: words from a small vocabulary, punctuation and line breaks.
Bytes Text(std::size_t size, std::uint64_t seed);
// The same byte repeated.
Bytes Run(std::size_t size, std::uint8_t value);
// Structured binary: records with counters, small integers and zero padding, as in
// executables and databases; compresses, but differently from text.
Bytes Binary(std::size_t size, std::uint64_t seed);

struct Sample {
  std::string name;
  Bytes data;
};
// The varied set every level is tested on: empty, one byte, text, random, a long run, a file
// just over 64 KB, mixed several-MB data (when big is set).
std::vector<Sample> VariedSet(bool big);

// Feeds a memory buffer to the compressor and collects what it writes. With failAfter set,
// writing fails ("disk full") once the output would pass that many bytes.
class MemoryIo : public archive::IDeflateIo {
 public:
  explicit MemoryIo(const Bytes& source) : source_(source) {}
  std::size_t ReadSource(std::uint8_t* buffer, std::size_t size) override;
  void WriteOutput(const std::uint8_t* data, std::size_t size) override;
  Bytes output;
  std::size_t failAfter = 0;
  // When set, each read delivers at most this many bytes, as a pipe or a slow disk may.
  std::size_t maxRead = 0;

 private:
  const Bytes& source_;
  std::size_t readPos_ = 0;
};

struct Compressed {
  Bytes output;
  std::uint64_t size = 0;  // what Deflate returned
  archive::TDeflateEntryFields entry;
};
Compressed Compress(archive::TDeflateCompressor& compressor, const Bytes& input, int level);
// With a fresh compressor.
Compressed Compress(const Bytes& input, int level);

}  // namespace testcorpus
