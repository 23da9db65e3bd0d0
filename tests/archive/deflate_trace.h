// A small, slow, independent Deflate decoder for tests: besides the bytes it records what the
// stream is made of (block types, matches), so tests can check the compressor's decisions.
// Its output is checked against zlib wherever it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testtrace {

struct Match {
  std::uint32_t position;  // offset in the output where the copy starts
  std::uint32_t length;
  std::uint32_t distance;
};

// One coded symbol: a literal (distance 0, length 1, the byte is data[position]) or a match.
struct Symbol {
  std::uint32_t position;
  std::uint32_t length;
  std::uint32_t distance;
  bool operator==(const Symbol&) const = default;
};

struct Block {
  int type;                // 0 stored, 1 fixed, 2 dynamic
  bool last;
  std::size_t bitStart;    // bit offset of the block header in the stream
  std::size_t bitEnd;      // bit offset just past the end-of-block code (or the stored bytes)
  std::size_t firstSymbol; // symbols[firstSymbol, endSymbol) are this block's (none if stored)
  std::size_t endSymbol;
  std::size_t dataStart;   // the block's output is data[dataStart, dataEnd)
  std::size_t dataEnd;
};

struct Trace {
  bool ok = false;  // the stream decoded completely and ended with a last block
  std::vector<std::uint8_t> data;
  std::vector<int> blockTypes;  // 0 stored, 1 fixed, 2 dynamic, in order
  std::vector<Match> matches;
  std::size_t literals = 0;
  std::vector<Symbol> symbols;  // of the coded blocks, in order
  std::vector<Block> blocks;
};

Trace Decode(const std::vector<std::uint8_t>& stream);

}  // namespace testtrace
