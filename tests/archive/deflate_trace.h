// A small, slow, independent Deflate decoder for tests: besides the bytes it records what the
// stream is made of (block types, matches), so tests can check the compressor's decisions.
// Its output is checked against zlib wherever it is used.
#pragma once

#include <cstdint>
#include <vector>

namespace testtrace {

struct Match {
  std::uint32_t position;  // offset in the output where the copy starts
  std::uint32_t length;
  std::uint32_t distance;
};

struct Trace {
  bool ok = false;  // the stream decoded completely and ended with a last block
  std::vector<std::uint8_t> data;
  std::vector<int> blockTypes;  // 0 stored, 1 fixed, 2 dynamic, in order
  std::vector<Match> matches;
  std::size_t literals = 0;
};

Trace Decode(const std::vector<std::uint8_t>& stream);

}  // namespace testtrace
