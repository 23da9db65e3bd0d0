// The fixed tables of the Deflate format (RFC 1951, sections 3.2.5 and 3.2.6), generated at
// compile time by MakeDeflateTables() below, so nothing is built at run time and every writer
// shares one read-only copy. The static_asserts at the end are the generator's self-checks.
#pragma once

#include <array>
#include <cstdint>

namespace archive {

namespace deflater {

inline constexpr int kLengthCodes = 29;  // length codes 257..285
inline constexpr int kLiterals = 256;
inline constexpr int kEndBlock = 256;
inline constexpr int kLCodes = kLiterals + 1 + kLengthCodes;  // 286 literal/length codes
inline constexpr int kDCodes = 30;                            // distance codes
inline constexpr int kBlCodes = 19;                           // code-length codes
inline constexpr int kMaxBits = 15;                           // longest literal/distance code
inline constexpr int kMaxBlBits = 7;                          // longest code-length code
inline constexpr int kRep3To6 = 16;       // repeat the previous length 3..6 times (2 bits)
inline constexpr int kRepZero3To10 = 17;  // 3..10 zero lengths (3 bits)
inline constexpr int kRepZero11To138 = 18;  // 11..138 zero lengths (7 bits)

inline constexpr std::array<std::uint8_t, kLengthCodes> kExtraLBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::array<std::uint8_t, kDCodes> kExtraDBits = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
inline constexpr std::array<std::uint8_t, kBlCodes> kExtraBlBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
// The order in which code-length code lengths are sent.
inline constexpr std::array<std::uint8_t, kBlCodes> kBlOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct DeflateTables {
  // (match length - 3) -> length code 0..28; 255 (length 258) maps to 28, not 27.
  std::array<std::uint8_t, 256> lengthCode{};
  std::array<std::uint16_t, kLengthCodes> baseLength{};  // first (length - 3) of each code
  // (distance - 1) -> distance code: entries 0..255 for distances up to 256, entries
  // 256..511 indexed by (distance - 1) >> 7 for the rest.
  std::array<std::uint8_t, 512> distCode{};
  std::array<std::uint16_t, kDCodes> baseDist{};  // first (distance - 1) of each code
  // Fixed literal/length code (288 symbols, bit-reversed for LSB-first output) and lengths.
  std::array<std::uint16_t, 288> staticLCode{};
  std::array<std::uint16_t, 288> staticLLen{};
  std::array<std::uint16_t, kDCodes> staticDCode{};  // 5-bit codes, bit-reversed
  std::array<std::uint16_t, kDCodes> staticDLen{};
  int lengthTotal = 0;  // self-checks of the generator
  int distTotal = 0;
  int farDistTotal = 0;
};

constexpr std::uint16_t ReverseBits(unsigned code, int length) {
  unsigned result = 0;
  for (int i = 0; i < length; ++i) {
    result = (result << 1) | (code & 1);
    code >>= 1;
  }
  return static_cast<std::uint16_t>(result);
}

// ReverseBits without the loop, for the codes of every block: the 16 bits swapped in halves,
// bytes, nibbles, pairs and single bits, then shifted down to length.
constexpr std::uint16_t ReverseCode(unsigned code, int length) {
  unsigned x = code & 0xFFFF;
  x = (x >> 8) | ((x & 0xFF) << 8);
  x = ((x >> 4) & 0x0F0F) | ((x & 0x0F0F) << 4);
  x = ((x >> 2) & 0x3333) | ((x & 0x3333) << 2);
  x = ((x >> 1) & 0x5555) | ((x & 0x5555) << 1);
  return static_cast<std::uint16_t>(x >> (16 - length));
}

// Both only move bits, so they agree on every code when they agree on each single bit.
constexpr bool ReverseCodeAgrees() {
  for (int length = 1; length <= 15; ++length) {
    for (int bit = 0; bit < length; ++bit) {
      if (ReverseCode(1u << bit, length) != ReverseBits(1u << bit, length)) return false;
    }
  }
  return true;
}
static_assert(ReverseCodeAgrees());

constexpr DeflateTables MakeDeflateTables() {
  DeflateTables t;
  int length = 0;
  int code = 0;
  for (code = 0; code < kLengthCodes - 1; ++code) {
    t.baseLength[code] = static_cast<std::uint16_t>(length);
    for (int n = 0; n < (1 << kExtraLBits[code]); ++n) {
      t.lengthCode[length++] = static_cast<std::uint8_t>(code);
    }
  }
  t.lengthTotal = length;
  // Length 258 could be coded as 284 with all extra bits set; RFC 1951 gives it code 285.
  t.lengthCode[255] = static_cast<std::uint8_t>(code);
  t.baseLength[kLengthCodes - 1] = 255;

  int dist = 0;
  for (code = 0; code < 16; ++code) {
    t.baseDist[code] = static_cast<std::uint16_t>(dist);
    for (int n = 0; n < (1 << kExtraDBits[code]); ++n) {
      t.distCode[dist++] = static_cast<std::uint8_t>(code);
    }
  }
  t.distTotal = dist;
  dist >>= 7;  // from here on the table is indexed by distance >> 7
  for (; code < kDCodes; ++code) {
    t.baseDist[code] = static_cast<std::uint16_t>(dist << 7);
    for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n) {
      t.distCode[256 + dist++] = static_cast<std::uint8_t>(code);
    }
  }
  t.farDistTotal = 256 + dist;

  std::array<int, kMaxBits + 2> count{};
  for (int n = 0; n < 288; ++n) {
    int len = n <= 143 ? 8 : n <= 255 ? 9 : n <= 279 ? 7 : 8;
    t.staticLLen[n] = static_cast<std::uint16_t>(len);
    ++count[len];
  }
  std::array<unsigned, kMaxBits + 2> next{};
  unsigned c = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    c = (c + count[bits - 1]) << 1;
    next[bits] = c;
  }
  for (int n = 0; n < 288; ++n) {
    int len = t.staticLLen[n];
    t.staticLCode[n] = ReverseBits(next[len]++, len);
  }
  for (int n = 0; n < kDCodes; ++n) {
    t.staticDLen[n] = 5;
    t.staticDCode[n] = ReverseBits(static_cast<unsigned>(n), 5);
  }
  return t;
}

inline constexpr DeflateTables kTables = MakeDeflateTables();

static_assert(kTables.lengthTotal == 256, "ct_init: length <> 256");
static_assert(kTables.distTotal == 256, "ct_init: dist <> 256");
static_assert(kTables.farDistTotal == 512, "ct_init: 256+dist <> 512");
static_assert(kTables.distCode[511] == 29 && kTables.baseDist[29] == 24576);
static_assert(kTables.lengthCode[255] == 28 && kTables.lengthCode[254] == 27);

// Distance code of (distance - 1), which is below 32768. The table index is worked out
// without a branch: near and far distances mix unpredictably.
constexpr unsigned DistCode(unsigned distMinus1) {
  const unsigned far = (255 - distMinus1) >> 31;  // 1 from 256 on
  return kTables.distCode[(distMinus1 >> (7 * far)) + (far << 8)];
}

}  // namespace deflater

}  // namespace archive
