#include "archive/decode_huffman.h"

#include <algorithm>
#include <bit>

namespace archive::huffman {

namespace {

// Deflate's literal/length alphabet is the largest any method uses.
constexpr unsigned kMaxSymbols = 288;

// The canonical code after code (both length bits long, in reversed form): 1 added at the
// last-sent bit, carrying towards the first-sent. 0 after the last code of all ones.
inline std::uint32_t NextReversedCode(std::uint32_t code, unsigned length) {
  const std::uint32_t zeros = code ^ ((std::uint32_t{1} << length) - 1);
  if (zeros == 0) return 0;
  const std::uint32_t bit = std::uint32_t{1} << (std::bit_width(zeros) - 1);
  return (code & (bit - 1)) | bit;
}

}  // namespace

TTableStatus BuildDecodeTable(std::uint32_t* table, std::size_t capacity, unsigned rootBits,
                              const std::uint8_t* lengths, unsigned symbolCount,
                              const std::uint32_t* symbolEntries) {
  const std::size_t rootSize = std::size_t{1} << rootBits;
  if (symbolCount > kMaxSymbols || capacity < rootSize || capacity > 65536) {
    return TTableStatus::TooLarge;
  }

  unsigned count[kMaxCodeBits + 1] = {};
  for (unsigned s = 0; s < symbolCount; ++s) {
    if (lengths[s] > kMaxCodeBits) return TTableStatus::OverSubscribed;
    ++count[lengths[s]];
  }
  count[0] = 0;

  // Kraft sum: codeSpaceLeft counts unused codes of the current length.
  std::int32_t codeSpaceLeft = 1;
  unsigned maxLength = 0;
  for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
    codeSpaceLeft = codeSpaceLeft * 2 - static_cast<std::int32_t>(count[length]);
    if (codeSpaceLeft < 0) return TTableStatus::OverSubscribed;
    if (count[length] != 0) maxLength = length;
  }
  const TTableStatus status = (codeSpaceLeft > 0 && maxLength > 1) ? TTableStatus::Incomplete
                                                                   : TTableStatus::Complete;

  // A complete code writes every slot of the tables it reaches, so only an incomplete one
  // (or none at all) needs its slots made invalid first.
  const bool complete = codeSpaceLeft == 0;
  if (!complete) std::fill(table, table + rootSize, kInvalid);
  if (maxLength == 0) return status;

  // Symbols in canonical order: by code length, then by symbol.
  unsigned offsets[kMaxCodeBits + 2];
  offsets[1] = 0;
  for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
    offsets[length + 1] = offsets[length] + count[length];
  }
  const unsigned codeCount = offsets[kMaxCodeBits + 1];
  std::uint16_t sorted[kMaxSymbols];
  for (unsigned s = 0; s < symbolCount; ++s) {
    if (lengths[s] != 0) sorted[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);
  }

  unsigned remaining[kMaxCodeBits + 1];
  std::copy(count, count + kMaxCodeBits + 1, remaining);

  // code is the current canonical code with its bits reversed (first-sent bit lowest), which
  // is how it appears in the input and therefore the table index.
  std::uint32_t code = 0;
  unsigned i = 0;
  if (complete) {
    // The codes up to rootBits long, shortest first: while codes of one length are placed,
    // the table is 2^length slots long, each code taking one; doubling it (a copy of its
    // first half) then repeats every code placed so far over the next bit. The slots no code
    // of this length or shorter has taken yet are those of longer codes, which overwrite
    // every one of their copies in turn.
    unsigned shortest = 1;
    while (count[shortest] == 0) ++shortest;
    const unsigned lastShort = std::min(maxLength, rootBits);
    std::size_t filled = std::size_t{1} << std::min(shortest, rootBits);
    for (unsigned length = shortest; length <= lastShort; ++length) {
      if (length > shortest) {
        std::copy(table, table + filled, table + filled);
        filled *= 2;
      }
      for (unsigned n = count[length]; n > 0; --n, ++i) {
        const std::uint32_t base = symbolEntries[sorted[i]];
        table[code] = (base & 0xFFFFF000u) | (length << 8) | (length + (base & 0xFF));
        code = NextReversedCode(code, length);
      }
      remaining[length] = 0;
    }
    for (; filled < rootSize; filled *= 2) std::copy(table, table + filled, table + filled);
  }

  std::size_t nextFree = rootSize;
  std::size_t currentRoot = rootSize;  // none yet
  std::uint32_t* subtable = nullptr;
  unsigned subtableBits = 0;
  for (; i < codeCount; ++i) {
    const unsigned symbol = sorted[i];
    const unsigned length = lengths[symbol];
    const std::uint32_t base = symbolEntries[symbol];
    const std::uint32_t extraBits = base & 0xFF;
    if (length <= rootBits) {
      const std::uint32_t entry = (base & 0xFFFFF000u) | (length << 8) | (length + extraBits);
      for (std::size_t index = code; index < rootSize; index += std::size_t{1} << length) {
        table[index] = entry;
      }
    } else {
      const std::size_t root = code & (rootSize - 1);
      if (root != currentRoot) {
        // The smallest subtable that the remaining codes of this prefix fill (all of them
        // come next in canonical order); an incomplete code takes the longest length.
        unsigned bits = length - rootBits;
        std::int32_t room = std::int32_t{1} << bits;
        for (;;) {
          room -= static_cast<std::int32_t>(remaining[rootBits + bits]);
          if (room <= 0 || rootBits + bits >= maxLength) break;
          ++bits;
          room *= 2;
        }
        const std::size_t size = std::size_t{1} << bits;
        if (nextFree + size > capacity) return TTableStatus::TooLarge;
        table[root] = (static_cast<std::uint32_t>(nextFree) << 16) | kExceptional | kSubtable |
                      (bits << 8) | rootBits;
        subtable = table + nextFree;
        if (!complete) std::fill(subtable, subtable + size, kInvalid);
        subtableBits = bits;
        nextFree += size;
        currentRoot = root;
      }
      const unsigned subLength = length - rootBits;
      const std::uint32_t entry =
          (base & 0xFFFFF000u) | (subLength << 8) | (subLength + extraBits);
      for (std::size_t index = code >> rootBits; index < (std::size_t{1} << subtableBits);
           index += std::size_t{1} << subLength) {
        subtable[index] = entry;
      }
    }
    --remaining[length];
    code = NextReversedCode(code, length);
  }
  return status;
}

}  // namespace archive::huffman
