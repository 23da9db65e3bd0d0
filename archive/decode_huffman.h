// Table-driven decoding of canonical prefix codes, shared by Inflate and Explode.
//
// A decode table is indexed by the next rootBits input bits (least significant first, the
// order Deflate sends code bits in). An entry covers every index whose low bits are its code;
// codes longer than rootBits lead through a subtable pointer to a second lookup, indexed by
// the following bits. Each entry is one 32-bit word:
//
//   bits 31..16  value: a literal byte, a length or distance base, a symbol, or (subtable
//                pointer) the index of the subtable's first entry
//   bit  15      kLiteral     the value is a literal byte
//   bit  14      kExceptional end of block, subtable pointer or invalid code: not a plain symbol
//   bit  13      kSubtable    a pointer: bits 11..8 give the subtable's index bits
//   bit  12      kEndOfBlock  Deflate's symbol 256
//   bits 11..8   the code's length in this table (or the subtable's index bits)
//   bits  7..0   bits to consume: code length plus extra bits (for a pointer: rootBits)
//
// An entry of kExceptional alone is an invalid code (a slot no code reaches, or a symbol the
// method forbids) and consumes nothing. Keeping length and length-plus-extra in one word lets
// the decoder take a base plus its extra bits with one mask and one shift:
//   value = (entry >> 16) + ((bits & mask(entry & 0xFF)) >> ((entry >> 8) & 0xF)).
#pragma once

#include <cstddef>
#include <cstdint>

namespace archive::huffman {

inline constexpr std::uint32_t kLiteral = 1u << 15;
inline constexpr std::uint32_t kExceptional = 1u << 14;
inline constexpr std::uint32_t kSubtable = 1u << 13;
inline constexpr std::uint32_t kEndOfBlock = 1u << 12;
inline constexpr std::uint32_t kInvalid = kExceptional;

inline constexpr unsigned kMaxCodeBits = 16;  // Implode's longest; Deflate's is 15

// What a symbol decodes to, before its code length is known: value, flags and extra bits.
constexpr std::uint32_t SymbolEntry(std::uint32_t value, std::uint32_t flags,
                                    std::uint32_t extraBits) {
  return (value << 16) | flags | extraBits;
}

inline unsigned EntryBits(std::uint32_t entry) { return entry & 0xFF; }
inline unsigned EntryCodeBits(std::uint32_t entry) { return (entry >> 8) & 0xF; }
inline unsigned EntryValue(std::uint32_t entry) { return entry >> 16; }

enum class TTableStatus {
  Complete,        // every code point is used (or a single code of length 1, or no code)
  Incomplete,      // code space is left and the longest code is longer than 1 bit
  OverSubscribed,  // more codes than the lengths allow: nothing was built
  TooLarge,        // the tables would not fit the capacity given: nothing usable was built
};

// Builds the decode table for lengths[0..symbolCount) (0 = symbol unused, at most
// kMaxCodeBits) into table[0..capacity). symbolEntries[s] is what symbol s decodes to (see
// SymbolEntry). Slots no code reaches are invalid, so an incomplete table is still safe to use.
// With no code at all the table is all invalid and the status is Complete.
TTableStatus BuildDecodeTable(std::uint32_t* table, std::size_t capacity, unsigned rootBits,
                              const std::uint8_t* lengths, unsigned symbolCount,
                              const std::uint32_t* symbolEntries);

}  // namespace archive::huffman
