// Protects the decode-table builder shared by Inflate and Explode: every code of a random
// prefix code, complete or not, with codes up to 16 bits (subtables behind the first-level
// table), decodes to its symbol, its extra bits and its length, whatever the table memory
// held before; the code points an incomplete code leaves unused are invalid. The expected
// codes come from the canonical assignment of RFC 1951, 3.2.2 (decode_support.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "archive/decode_huffman.h"
#include "tests/archive/decode_support.h"

namespace {

using namespace archive::huffman;

constexpr std::size_t kCapacity = 65536;

// Lengths of a complete code of count codes, none longer than maxBits, placed on random
// symbols of symbolCount: a random leaf is split in two until there are count leaves.
std::vector<std::uint8_t> RandomCompleteLengths(std::mt19937& rng, unsigned count,
                                                unsigned symbolCount, unsigned maxBits) {
  std::vector<std::uint8_t> leaves{1, 1};
  while (leaves.size() < count) {
    const std::size_t at = rng() % leaves.size();
    if (leaves[at] >= maxBits) continue;
    ++leaves[at];
    leaves.push_back(leaves[at]);
  }
  std::vector<std::uint8_t> lengths(symbolCount, 0);
  std::vector<unsigned> symbols(symbolCount);
  for (unsigned s = 0; s < symbolCount; ++s) symbols[s] = s;
  std::shuffle(symbols.begin(), symbols.end(), rng);
  for (std::size_t i = 0; i < leaves.size(); ++i) lengths[symbols[i]] = leaves[i];
  return lengths;
}

std::uint32_t Reversed(std::uint32_t code, unsigned bits) {
  std::uint32_t out = 0;
  for (unsigned i = 0; i < bits; ++i) out |= ((code >> i) & 1) << (bits - 1 - i);
  return out;
}

// The entry the table gives for the input bits, through a subtable when it points to one;
// codeBits receives the code length the lookups consumed.
std::uint32_t Lookup(const std::vector<std::uint32_t>& table, unsigned rootBits,
                     std::uint64_t bits, unsigned& codeBits) {
  std::uint32_t entry = table[bits & ((1u << rootBits) - 1)];
  codeBits = 0;
  if (entry & kSubtable) {
    codeBits = rootBits;
    const std::uint64_t rest = bits >> rootBits;
    entry = table[EntryValue(entry) + (rest & ((1u << EntryCodeBits(entry)) - 1))];
  }
  codeBits += EntryCodeBits(entry);
  return entry;
}

struct TShape {
  unsigned rootBits;
  unsigned maxBits;
  unsigned symbolCount;
};

class DecodeTableTest : public ::testing::TestWithParam<TShape> {};

TEST_P(DecodeTableTest, EveryCodeDecodesToItsSymbolWhateverTheTableHeldBefore) {
  const TShape shape = GetParam();
  std::mt19937 rng(shape.rootBits * 1000 + shape.maxBits * 10 + shape.symbolCount);
  std::vector<std::uint32_t> entries(shape.symbolCount);
  for (unsigned s = 0; s < shape.symbolCount; ++s) entries[s] = SymbolEntry(s, 0, s % 6);
  // Stale contents that look like good entries: a literal of 3 bits everywhere.
  std::vector<std::uint32_t> table(kCapacity, SymbolEntry(0x55, kLiteral, 0) | (3u << 8) | 3u);

  for (int round = 0; round < 40; ++round) {
    const unsigned count = 2 + rng() % (shape.symbolCount - 1);
    std::vector<std::uint8_t> lengths =
        RandomCompleteLengths(rng, count, shape.symbolCount, shape.maxBits);
    // Every third round drops one code of the longest length: the code is incomplete.
    const bool incomplete = round % 3 == 2;
    unsigned dropped = shape.symbolCount;
    if (incomplete) {
      const auto longest = std::max_element(lengths.begin(), lengths.end());
      if (*longest < 2) continue;  // a single code of length 1 counts as complete
      dropped = static_cast<unsigned>(longest - lengths.begin());
    }
    const std::uint8_t droppedLength = incomplete ? lengths[dropped] : 0;
    if (incomplete) lengths[dropped] = 0;
    const std::vector<std::uint32_t> codes = decode_test::CanonicalCodes(lengths);

    SCOPED_TRACE(testing::Message() << "round " << round << ", " << count << " codes");
    ASSERT_EQ(BuildDecodeTable(table.data(), kCapacity, shape.rootBits, lengths.data(),
                               shape.symbolCount, entries.data()),
              incomplete ? TTableStatus::Incomplete : TTableStatus::Complete);
    for (unsigned s = 0; s < shape.symbolCount; ++s) {
      if (lengths[s] == 0) continue;
      const std::uint32_t sent = Reversed(codes[s], lengths[s]);
      for (int fill = 0; fill < 3; ++fill) {
        const std::uint64_t bits = sent | (static_cast<std::uint64_t>(rng()) << lengths[s]);
        unsigned codeBits = 0;
        const std::uint32_t entry = Lookup(table, shape.rootBits, bits, codeBits);
        ASSERT_EQ(entry & (kExceptional | kLiteral), 0u) << "symbol " << s;
        EXPECT_EQ(EntryValue(entry), s);
        EXPECT_EQ(codeBits, lengths[s]) << "symbol " << s;
        EXPECT_EQ(EntryBits(entry) - EntryCodeBits(entry), s % 6) << "symbol " << s;
      }
    }
    if (incomplete) {
      // The code space left unused lies after the last code of the longest length (there
      // were two of them at least) and leads nowhere.
      std::uint32_t unused = 0;
      for (unsigned s = 0; s < shape.symbolCount; ++s) {
        if (lengths[s] == droppedLength) unused = std::max(unused, codes[s] + 1);
      }
      const std::uint32_t sent = Reversed(unused, droppedLength);
      unsigned codeBits = 0;
      EXPECT_EQ(Lookup(table, shape.rootBits, sent, codeBits), kInvalid);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, DecodeTableTest,
    ::testing::Values(TShape{11, 15, 288}, TShape{11, 15, 30}, TShape{8, 15, 30},
                      TShape{7, 7, 19}, TShape{9, 16, 256}, TShape{7, 13, 64},
                      TShape{11, 11, 288}, TShape{4, 15, 40}),
    [](const auto& info) {
      return "Root" + std::to_string(info.param.rootBits) + "Max" +
             std::to_string(info.param.maxBits) + "Symbols" +
             std::to_string(info.param.symbolCount);
    });

}  // namespace
