// Explode: method 6, Implode's sliding dictionary with Shannon-Fano coded lengths and
// distances.
//
// General purpose flag bit 1 chooses the window: 8 KiB (7 raw low distance bits) or 4 KiB
// (6 bits). Bit 2 chooses three trees (literal, length, distance; shortest match 3) or two
// (length, distance; shortest match 2, literals as 8 raw bits). Each tree comes first in a
// compact form: a byte holding the number of following bytes minus one, each of which gives
// a run of (high nibble + 1) codes of (low nibble + 1) bits. The runs must give exactly 256
// (literal tree) or 64 lengths and the code must be complete. Codes are canonical, sent with
// their bits inverted.
//
// Then, until the entry's uncompressed size is produced: a 1 bit and a literal, or a 0 bit
// and a match: the low distance bits raw, the high distance bits from the distance tree, the
// length from the length tree (code 63 adds 8 more raw bits). A distance before the start of
// the data reads zero bytes (the history is cleared for every entry).
//
// The distance tree is looked up with 8 first-level bits when the entry's compressed data is
// larger than 200,000 bytes, else with 7; it changes only the table layout, not the result.
#include <new>

#include "archive/decode_bits.h"
#include "archive/decode_huffman.h"
#include "archive/decode_window.h"
#include "archive/decoder.h"

namespace archive {

namespace {

using namespace huffman;

constexpr unsigned kLiteralRootBits = 9;
constexpr unsigned kLengthRootBits = 7;
constexpr std::uint64_t kLargeEntryBytes = 200000;

// Capacities by the bound in inflate.cpp (a complete code with subtables of up to 2^k entries
// fills each with at least k + 1 codes): literals 256 codes, k <= 7: 256 * 128 / 8 = 4096;
// lengths and distances 64 codes, k <= 9: 64 * 512 / 10 < 3328.
constexpr std::size_t kLiteralCapacity = (1u << kLiteralRootBits) + 4096;
constexpr std::size_t kSmallTreeCapacity = 256 + 3328;

struct TExplodeState {
  std::uint32_t literal[kLiteralCapacity];
  std::uint32_t length[kSmallTreeCapacity];
  std::uint32_t distance[kSmallTreeCapacity];
  std::uint8_t codeLengths[256];
};
static_assert(sizeof(TExplodeState) <= kScratchBytes);

constexpr auto kSymbols = [] {
  struct {
    std::uint32_t entries[256];
  } t{};
  for (unsigned s = 0; s < 256; ++s) t.entries[s] = SymbolEntry(s, 0, 0);
  return t;
}();

bool ReadTree(TLegacyBitReader& bits, std::uint8_t* lengths, unsigned symbolCount,
              std::uint32_t* table, std::size_t capacity, unsigned rootBits) {
  const unsigned byteCount = bits.Get(8) + 1;
  unsigned filled = 0;
  for (unsigned i = 0; i < byteCount; ++i) {
    const unsigned byte = bits.Get(8);
    const unsigned codes = (byte >> 4) + 1;
    const unsigned length = (byte & 15) + 1;
    if (codes > symbolCount - filled) return false;
    for (unsigned j = 0; j < codes; ++j) lengths[filled++] = static_cast<std::uint8_t>(length);
  }
  if (filled != symbolCount || bits.phantomBits > 0) return false;
  return BuildDecodeTable(table, capacity, rootBits, lengths, symbolCount, kSymbols.entries) ==
         TTableStatus::Complete;
}

// One symbol of a complete tree; codes are at most 16 bits and arrive inverted.
unsigned DecodeSymbol(TLegacyBitReader& bits, const std::uint32_t* table, unsigned rootBits) {
  bits.Need(16);
  std::uint32_t entry = table[~bits.Peek(rootBits) & ((1u << rootBits) - 1)];
  if (entry & kSubtable) {
    bits.Drop(rootBits);
    const unsigned subBits = EntryCodeBits(entry);
    bits.Need(subBits);
    entry = table[EntryValue(entry) + (~bits.Peek(subBits) & ((1u << subBits) - 1))];
  }
  bits.Drop(EntryBits(entry));
  return EntryValue(entry);
}

}  // namespace

TDecodeStatus Explode(TDecodeDriver& driver) {
  const bool threeTrees = (driver.flags & 4) != 0;
  const unsigned lowDistanceBits = (driver.flags & 2) != 0 ? 7 : 6;
  const unsigned minimumMatch = threeTrees ? 3 : 2;
  const unsigned distanceRootBits = driver.compressedSize > kLargeEntryBytes ? 8 : 7;

  TOutputWindow window(driver);
  TLegacyBitReader bits(driver);
  TExplodeState& state = *new (driver.buffers->Scratch()) TExplodeState;

  if (threeTrees && !ReadTree(bits, state.codeLengths, 256, state.literal, kLiteralCapacity,
                              kLiteralRootBits)) {
    return TDecodeStatus::BadData;
  }
  if (!ReadTree(bits, state.codeLengths, 64, state.length, kSmallTreeCapacity, kLengthRootBits) ||
      !ReadTree(bits, state.codeLengths, 64, state.distance, kSmallTreeCapacity,
                distanceRootBits)) {
    return TDecodeStatus::BadData;
  }

  std::uint64_t produced = 0;
  while (produced < driver.uncompressedSize) {
    if (bits.phantomBits > kMaxPhantomBits) return TDecodeStatus::BadData;
    if (bits.Get(1) == 1) {
      const unsigned literal =
          threeTrees ? DecodeSymbol(bits, state.literal, kLiteralRootBits) : bits.Get(8);
      window.PutByte(static_cast<std::uint8_t>(literal));
      ++produced;
      continue;
    }
    const unsigned low = bits.Get(lowDistanceBits);
    const unsigned high = DecodeSymbol(bits, state.distance, distanceRootBits);
    const std::size_t distance = ((high << lowDistanceBits) | low) + 1;
    const unsigned lengthCode = DecodeSymbol(bits, state.length, kLengthRootBits);
    std::size_t length = lengthCode + minimumMatch;
    if (lengthCode == 63) length += bits.Get(8);
    window.CopyMatch(distance, length);
    produced += length;
  }
  window.Flush();
  return TDecodeStatus::Done;
}

}  // namespace archive
