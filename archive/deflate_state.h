// Internal to the compressor: its work buffers, matcher and block state. Only the
// deflate_*.cpp files include this.
//
// How the pieces fit (the classic hash-chain Deflate):
//   window   64 KB of source in two 32 KB halves. The matcher walks curPos through it; when
//            curPos passes 65273 the upper half is copied onto the lower one ("slide") and
//            every stored position drops by 32768.
//   head     for each 15-bit hash of three bytes, the latest position with that hash (0 =
//            none); prev chains each position to the previous one with the same hash. prev
//            has an entry per window position (not per position AND 0x7FFF), which takes the
//            mask off the chain walk's critical path; the links read are the same.
//   head4    the same positions again, chained by a 16-bit hash of their first four bytes
//            (prev4), and rank, which numbers the positions of each three-byte chain in
//            insertion order. A match longer than three bytes agrees in four, so the search
//            walks the short four-byte chain and reads from rank how far down the three-byte
//            chain each candidate sits: it meets the same candidates in the same order, stops
//            at the same chain limit, and finds the same match, while skipping the many
//            candidates that share only the three-byte hash. See FindMatch.
//   head6    at the levels that search far, the positions chained once more by a hash of
//            their first six bytes (prev6): once the search holds a match of six bytes or
//            more, only candidates on its six-byte chain can beat it.
//            Both extra chains only speed the search up, so they are kept where they pay:
//            dropped on data that does not repeat, started late (or again) by one sweep over
//            the window. See Checkpoint and StartChains.
//   symbols  literals and (length, distance) pairs are tallied into the literal, distance and
//            flag buffers with their frequencies; when a block ends (BlockCheck decides), trees
//            are built and the block is sent as raw, stored, fixed or dynamic, whichever is
//            smallest.
// Positions are 16-bit; the 0 of head/prev doubles as "no position", so a match can never
// start at window position 0. That is inherent in the format of these tables and costs
// nothing measurable.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "archive/deflate_compressor.h"
#include "archive/deflate_tables.h"

namespace archive {

namespace deflater {

inline constexpr std::uint32_t kWSize = 32768;       // half the window
inline constexpr std::uint32_t kWindowSize = 65536;  // both halves
inline constexpr std::uint32_t kMinMatch = 3;
inline constexpr std::uint32_t kMaxMatch = 258;
inline constexpr std::uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;  // 262
inline constexpr std::uint32_t kMaxDist = kWSize - kMinLookahead;          // 32506
// Slide once curPos passes this, so that curPos + kMaxMatch stays inside the window.
inline constexpr std::uint32_t kSlideAfter = kWSize + kMaxDist - 1;  // 65273
inline constexpr std::uint32_t kHashBits = 15;
inline constexpr std::uint32_t kHashSize = 1u << kHashBits;
inline constexpr std::uint32_t kHashMask = kHashSize - 1;
// Three bytes shifted in by 5 bits each fill the 15 bits, so a hash depends on exactly the
// last three bytes.
inline constexpr std::uint32_t kHashShift = 5;
inline constexpr std::uint32_t kHash4Bits = 16;
inline constexpr std::uint32_t kHash4Size = 1u << kHash4Bits;
inline constexpr std::uint32_t kHash6Bits = 16;
inline constexpr std::uint32_t kHash6Size = 1u << kHash6Bits;
// From a best length of this many bytes on, the search walks the six-byte chain. Not more:
// the last positions inside a match of 258 bytes enter the chains while only 6 bytes from
// the last of them are sure to have been read (the lookahead was 262 when it was found).
inline constexpr std::uint32_t kLongMatch = 6;
// The six-byte chain is kept at the levels that search at least this many candidates; at the
// others it costs more to keep than it saves (levels 4 and 5 lost 10-20% with it; level 6
// gains 3% on text, level 7 9%, levels 8 and 9 20-25%).
inline constexpr std::uint32_t kChain6From = 128;
// A file starts with the four-byte chain and looks at the data after this many positions:
// where few searches so far met a candidate of four bytes (random or compressed data), it
// goes on without (the same test as at a slide, made early for the many files that never
// slide; a file of random bytes of 1 to 20 KB is compressed about 20% faster). It looks again
// at kSecondCheck and kChain6After, and a lazy level builds the chain anew where it pays by
// then (a file that starts with a binary header).
inline constexpr std::uint32_t kEarlyCheck = 1024;
inline constexpr std::uint32_t kSecondCheck = 4096;
// The six-byte chain is built only once a file reaches this position: in a small file chains
// stay short and keeping it costs more than it saves (level 6 lost 5-7% on files of 1 to
// 24 KB). Not so at the levels that search this many candidates or more: there it pays from
// the first position (levels 8 and 9 were 10-25% slower on slices of executables of 1 to
// 24 KB with the late start).
inline constexpr std::uint32_t kChain6After = 32768;
inline constexpr std::uint32_t kChain6FromStart = 1024;
// The lazy levels insert every position into the chains, in order, so a chain not kept so far
// can be built for the positions in the window in one sweep, the same as if it had been kept
// from the start (StartChains). The fast levels skip positions inside long matches and never
// start a chain late.
inline constexpr int kFastLevels = 3;
inline constexpr std::uint32_t kTooFar = 4096;  // a lazy level drops length-3 matches farther back
inline constexpr std::uint32_t kLitBufSize = 32768;
inline constexpr std::uint32_t kDistBufSize = 32768;
inline constexpr std::uint32_t kFlagBufSize = kLitBufSize / 8;
inline constexpr std::uint32_t kOutBufSize = 1024;
// Slack behind the window: the match compare reads 8 bytes at a time up to 266 bytes past
// curPos. Nothing is ever read into it, so it holds zeros.
inline constexpr std::uint32_t kWindowSlack = 512;
inline constexpr int kHeapSize = 2 * kLCodes + 1;  // leaves and inner nodes of the largest tree

struct LevelParams {
  std::uint16_t good;   // previous match at least this long: search a quarter of the chain
  std::uint16_t lazy;   // lazy: look for better only below this; fast: insert only up to it
  std::uint16_t nice;   // stop searching at a match this long
  std::uint16_t chain;  // at most this many chain entries examined
};

inline constexpr std::array<LevelParams, 10> kLevels = {{
    {0, 0, 0, 0},  // level 0 stores; never reaches the compressor
    {4, 4, 8, 4},
    {4, 5, 16, 8},
    {4, 6, 32, 32},
    {4, 4, 16, 16},
    {8, 16, 32, 32},
    {8, 16, 128, 128},
    {8, 32, 128, 256},
    {32, 128, 258, 1024},
    {32, 258, 258, 4096},
}};

// One Huffman tree under construction: leaves first, inner nodes numbered after them.
struct HuffTree {
  std::array<std::uint32_t, kHeapSize> freq;
  std::array<std::uint16_t, kHeapSize> len;
  std::array<std::uint16_t, kHeapSize> dad;
  std::array<std::uint16_t, kHeapSize> code;  // bit-reversed, ready for LSB-first output
  int maxCode = 0;                            // highest leaf with a code
};

inline std::uint16_t Load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

class CompressorState {
 public:
  CompressorState();
  std::uint64_t Run(int level, IDeflateIo& io, TDeflateEntryFields& entry);

 private:
  // --- Matcher (deflate_match.cpp) --------------------------------------------------------
  void InitMatcher();
  // Reads more source behind the lookahead, sliding the window when needed; returns how far
  // positions moved down (0 or 32768).
  std::uint32_t RefillWindow(std::uint32_t& curPos, std::uint32_t& lookahead);
  void SlideTable(std::uint16_t* to, const std::uint16_t* from, std::uint32_t size);
  void CompressFast();
  void CompressLazy();
  std::uint32_t FindMatch(std::uint32_t chainStart, std::uint32_t curPos, std::uint32_t prevLen,
                          std::int32_t& matchPos) const;
  void VerifyMatch(std::uint32_t start, std::int32_t matchPos, std::uint32_t length) const;

  // The hash tables by plain pointer: a copy held in a local lets the compiler keep them in
  // registers, where the members would be reloaded after every byte stored.
  struct Tables {
    std::uint8_t* window;
    std::uint16_t* prev;
    std::uint16_t* head;
    std::uint16_t* prev4;
    std::uint16_t* head4;
    std::uint16_t* rank;
    std::uint16_t* prev6;
    std::uint16_t* head6;
  };
  Tables HashTables() const {
    return {window_.get(), prev_.get(), head_.get(), prev4_.get(), head4_.get(), rank_.get(),
            prev6_.get(), head6_.get()};
  }
  static std::uint32_t Hash4(const std::uint8_t* p) {
    return (Load32(p) * 2654435761u) >> (32 - kHash4Bits);
  }
  // The first six bytes at p, in the high bits (little endian) or the low bits (big endian).
  static std::uint64_t Load6(const std::uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
      return Load64(p) << 16;
    } else {
      return Load64(p) >> 16;
    }
  }
  static std::uint32_t Hash6(const std::uint8_t* p) {
    return static_cast<std::uint32_t>((Load6(p) * 0x9E3779B97F4A7C15ull) >> (64 - kHash6Bits));
  }
  // insert_hash: enters pos into both chains and returns its three-byte chain start.
  std::uint32_t InsertHash(const Tables& t, std::uint32_t& hash, std::uint32_t pos) {
    hash = ((hash << kHashShift) ^ t.window[pos + 2]) & kHashMask;
    const std::uint32_t chainStart = t.head[hash];
    t.prev[pos] = static_cast<std::uint16_t>(chainStart);
    t.head[hash] = static_cast<std::uint16_t>(pos);
    if (!useChain4_) return chainStart;
    // Counted modulo 2^16: ranks are only compared within 32 KB of each other.
    t.rank[pos] = static_cast<std::uint16_t>(t.rank[chainStart] + 1);
    const std::uint32_t h4 = Hash4(t.window + pos);
    t.prev4[pos] = t.head4[h4];
    t.head4[h4] = static_cast<std::uint16_t>(pos);
    if (!useChain6_) return chainStart;
    const std::uint32_t h6 = Hash6(t.window + pos);
    t.prev6[pos] = t.head6[h6];
    t.head6[h6] = static_cast<std::uint16_t>(pos);
    return chainStart;
  }
  // At checkAt_: the early look at the data, then the start of the six-byte chain.
  void Checkpoint(std::uint32_t curPos);
  // Builds the four-byte chain (when not kept) and the six-byte chain (when the level wants
  // it) for the positions below end, which are all in the three-byte chain.
  void StartChains(std::uint32_t end);
  // Empties both hash heads before a new file: the entries the last file set when it was
  // small, the whole tables otherwise.
  void ClearHeads();

  // --- Symbols and blocks (deflate_trees.cpp) ---------------------------------------------
  // Each returns true when the block should end here (BlockCheck's rules). curPos is the
  // matcher's position at the time, for the early-end estimate.
  bool TallyLiteral(std::uint32_t literal, std::uint32_t curPos) {
    litBuf_[symCount_] = static_cast<std::uint8_t>(literal);
    ++lTree_.freq[literal];
    ++symCount_;
    // Cheap filter for the two exact rules checked in BlockCheck: every 4096 symbols and at
    // 32767 symbols. It lets through a superset, never misses one.
    if (((symCount_ + 1) & 0xFFF) <= 1) return BlockCheck(curPos);
    return false;
  }
  bool TallyMatch(std::uint32_t distance, std::uint32_t lengthMinus3, std::uint32_t curPos) {
    std::uint32_t distMinus1 = distance - 1;
    unsigned dcode = DistCode(distMinus1);
#ifndef NDEBUG
    if (distMinus1 >= kMaxDist || lengthMinus3 > 255 || dcode >= kDCodes) {
      Fail("TallyMatch: bad match");
    }
#endif
    litBuf_[symCount_] = static_cast<std::uint8_t>(lengthMinus3);
    flagBuf_[symCount_ >> 3] |= static_cast<std::uint8_t>(1u << (symCount_ & 7));
    distBuf_[matchCount_++] = static_cast<std::uint16_t>(distMinus1);
    ++lTree_.freq[kLiterals + 1 + kTables.lengthCode[lengthMinus3]];
    ++dTree_.freq[dcode];
    ++symCount_;
    // matchCount_ never reaches kDistBufSize first: it is at most symCount_ < 32767.
    if (((symCount_ + 1) & 0xFFF) <= 1) return BlockCheck(curPos);
    return false;
  }
  bool BlockCheck(std::uint32_t curPos) const;
  void InitBlock();
  void EmitBlock(std::uint32_t curPos, bool last);
  void GuessText();
  void BuildTree(HuffTree& tree, int elems, int maxLength, const std::uint8_t* extra,
                 int extraBase, const std::uint16_t* staticLen);
  void GenBitLen(HuffTree& tree, int maxLength, const std::uint8_t* extra, int extraBase,
                 const std::uint16_t* staticLen);
  void GenCodes(HuffTree& tree);
  void ScanTree(const HuffTree& tree);
  int BuildBlTree();
  void SendTree(const HuffTree& tree);
  void SendAllTrees(int lcodes, int dcodes, int blcodes);
  void CompressBlock(const std::uint16_t* lCode, const std::uint16_t* lLen,
                     const std::uint16_t* dCode, const std::uint16_t* dLen);
  void CopyStored(const std::uint8_t* data, std::uint32_t length, bool header);

  // --- Bit output ---------------------------------------------------------------------------
  // Fields go into a 64-bit buffer from the least significant end; FlushBits moves whole
  // bytes out. Between flushes at most 56 bits are added (one match: 15 + 5 + 15 + 13).
  void SendBits(std::uint64_t value, unsigned bits) {
    bitBuf_ |= value << bitCount_;
    bitCount_ += bits;
  }
  // Writes all 8 bytes of bits at out, least significant first; the caller keeps the whole ones.
  static void StoreBits(std::uint8_t* out, std::uint64_t bits) {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out, &bits, sizeof bits);
    } else {
      for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
  }
  void FlushBits() {
    StoreBits(outBuf_.get() + outPos_, bitBuf_);
    unsigned bytes = bitCount_ >> 3;
    outPos_ += bytes;
    bitBuf_ >>= bytes * 8;
    bitCount_ &= 7;
    if (outPos_ >= kOutBufSize) FlushOutput();
  }
  void AlignByte();
  void FlushOutput();

  [[noreturn]] static void Fail(const char* text);

  // --- Work buffers (allocated once) ---------------------------------------------------------
  std::unique_ptr<std::uint8_t[]> window_;
  std::unique_ptr<std::uint16_t[]> prev_;
  std::unique_ptr<std::uint16_t[]> head_;
  std::unique_ptr<std::uint16_t[]> prev4_;
  std::unique_ptr<std::uint16_t[]> head4_;
  std::unique_ptr<std::uint16_t[]> rank_;
  std::unique_ptr<std::uint16_t[]> prev6_;
  std::unique_ptr<std::uint16_t[]> head6_;
  std::unique_ptr<std::uint8_t[]> litBuf_;
  std::unique_ptr<std::uint16_t[]> distBuf_;
  std::unique_ptr<std::uint8_t[]> flagBuf_;
  std::unique_ptr<std::uint8_t[]> outBuf_;  // kOutBufSize + 8 bytes of slack for FlushBits

  HuffTree lTree_;
  HuffTree dTree_;
  HuffTree blTree_;
  std::array<int, kHeapSize> heap_;  // the nodes in the order BuildTree removed them
  std::array<std::uint64_t, kHeapSize> heapKeys_;  // BuildTree's heap
  std::array<std::uint16_t, kMaxBits + 1> blCount_;
  int heapMax_ = 0;

  // --- Per file --------------------------------------------------------------------------
  IDeflateIo* io_ = nullptr;
  TDeflateEntryFields* entry_ = nullptr;
  int level_ = 0;
  LevelParams params_{};
  std::uint32_t curPos_ = 0;
  std::uint32_t lookahead_ = 0;
  std::uint32_t hash_ = 0;
  std::int32_t blockPos_ = 0;  // negative once the window slid past the block's start
  bool eof_ = false;
  // Near the end of the input the matcher compares past the data into whatever the window
  // holds there: bytes of this file from before the last slide, as the window has them, and
  // zeros where this file never wrote. windowDirty_ is how far from the start the current
  // (or last) file wrote; the next file clears that much first, so that its output depends
  // on its own bytes only.
  std::uint32_t windowDirty_ = 0;
  // Positions below this were inserted into the heads by the last file, which never slid;
  // kHeadsDirty when that is not known (a slide, an exception, a fresh object).
  static constexpr std::uint32_t kHeadsDirty = 0xFFFFFFFF;
  std::uint32_t headsUsed_ = kHeadsDirty;
  bool slid_ = false;
  // Whether the four-byte chain is kept for this file. It pays where three-byte chains grow
  // long (text, executables); on data that does not repeat they stay short and keeping it
  // only costs. So at each slide, if few searches of the last 32 KB met a candidate that
  // agreed in four bytes, it is dropped for the rest of the file. The matches found are the same
  // either way.
  bool useChain4_ = true;
  // The six-byte chain, kept with the four-byte one where chains are searched far (see
  // kChain6From): there a search meets many candidates after it has a match of six bytes or
  // more, and only those that agree in six bytes can beat it.
  bool useChain6_ = true;
  // Whether the heads of the six-byte chain hold entries, which the next file clears.
  bool heads6Used_ = true;
  // The position of the next Checkpoint, and from where this file keeps the six-byte chain
  // (kChain6After or 0).
  std::uint32_t checkAt_ = 0;
  std::uint32_t chain6After_ = kChain6After;
  // Searches since the file's start or the last slide, and how many of them met a candidate
  // that agrees in four bytes (without the four-byte chain: found a match of four or more).
  std::uint32_t searches_ = 0;
  mutable std::uint32_t longSearches_ = 0;
  std::uint64_t compressedBits_ = 0;  // 64-bit: entries past 512 MB of output are counted right
  std::uint64_t inputLength_ = 0;
  std::uint64_t bytesWritten_ = 0;

  // --- Per block -------------------------------------------------------------------------
  std::uint32_t symCount_ = 0;
  std::uint32_t matchCount_ = 0;
  std::int64_t dynBits_ = 0;
  std::int64_t fixedBits_ = 0;

  // --- Output ----------------------------------------------------------------------------
  std::uint64_t bitBuf_ = 0;
  unsigned bitCount_ = 0;
  std::uint32_t outPos_ = 0;
};

}  // namespace deflater

}  // namespace archive
