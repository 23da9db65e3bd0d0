// Deterministic sample inputs shared by the compressor and writer tests: the same bytes on
// every run and machine (own generators, no std:: distributions whose output may vary).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

}  // namespace testcorpus
