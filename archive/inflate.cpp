// Inflate: method 8, the Deflate format of RFC 1951.
//
// This is the decoder every restore runs, so it is built for speed while accepting and
// rejecting the same streams as the plain block-by-block algorithm:
//
//  - A 64-bit bit buffer, refilled with one unaligned 8-byte load: after a refill it holds at
//    least 56 bits, enough for up to three literals, or a length (code plus extra bits, at
//    most 20 bits) without another refill; the distance (at most 28 bits) refills only when
//    fewer bits are left.
//  - The table entry of the next symbol is fetched as soon as its bits are there, before the
//    current match is copied, so the lookup overlaps the copy.
//    The refill may load bytes beyond those it counts; they are the very next input bytes,
//    so loading them again later ORs the same bits.
//  - Decode tables with 11 first-level bits for literals/lengths and 8 for distances (see
//    decode_huffman.h), so nearly every code resolves with one lookup and the entry carries
//    base and extra-bit count together.
//  - Output goes straight into the shared window (decode_window.h), which always holds
//    32 KiB of history in front of the output, zeroed at the start of the entry: any distance
//    Deflate can express is safe to copy from without a check.
//  - The fast loop runs while at least kFastInputBytes of input and kFastOutputBytes of
//    output room remain, so it tests its bounds once per iteration in the loop condition and
//    copies matches in whole 8-byte words (overshooting into the window's slack). Near the
//    end of the input or of the output chunk a plain loop decodes one symbol at a time with
//    exact bounds.
//
// What the stream may do and what it may not:
//  - Block type 3, LEN/NLEN mismatch, more than 286 literal/length or 30 distance codes, a
//    repeat code running past the code count, an incomplete or over-subscribed table (a
//    single code of length 1 counts as complete; no distance code at all is allowed), codes
//    286/287 and distance codes 30/31 all stop the decoder with BadData.
//  - Code 16 at the very start repeats length 0.
//  - Past the end of the entry's compressed data the decoder sees zero bits; once more than
//    kMaxOverreadBytes such bytes were needed the stream is taken as cut off.
#include <bit>
#include <cstring>
#include <iterator>
#include <new>

#include "archive/decode_huffman.h"
#include "archive/decode_window.h"
#include "archive/decoder.h"

namespace archive {

namespace {

using namespace huffman;

constexpr unsigned kLitlenRootBits = 11;
constexpr unsigned kDistRootBits = 8;
constexpr unsigned kPrecodeRootBits = 7;

// Table capacities. A complete code whose longest length is root + k fills each subtable of
// 2^j entries (j <= k) with at least j + 1 codes, so the subtables of n codes hold at most
// about n * 2^k / (k + 1) entries: 288 * 16 / 5 < 1024 for literals/lengths (k = 4) and
// 30 * 128 / 8 = 480 for distances (k = 7). The builder checks the capacity anyway.
constexpr std::size_t kLitlenCapacity = (1u << kLitlenRootBits) + 1024;
constexpr std::size_t kDistCapacity = (1u << kDistRootBits) + 512;
constexpr std::size_t kPrecodeCapacity = 1u << kPrecodeRootBits;

constexpr unsigned kMaxLitlenCodes = 288;
constexpr unsigned kMaxDistCodes = 32;

struct TInflateState {
  std::uint32_t litlen[kLitlenCapacity];
  std::uint32_t dist[kDistCapacity];
  std::uint32_t precode[kPrecodeCapacity];
  std::uint8_t lengths[kMaxLitlenCodes + kMaxDistCodes];
};
static_assert(sizeof(TInflateState) <= kScratchBytes);

// What each literal/length symbol decodes to (RFC 1951, 3.2.5); 286 and 287 are invalid.
constexpr auto kLitlenSymbols = [] {
  struct {
    std::uint32_t entries[kMaxLitlenCodes];
  } t{};
  constexpr std::uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  constexpr std::uint8_t extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  for (unsigned s = 0; s < 256; ++s) t.entries[s] = SymbolEntry(s, kLiteral, 0);
  t.entries[256] = SymbolEntry(0, kExceptional | kEndOfBlock, 0);
  for (unsigned s = 257; s < 286; ++s) t.entries[s] = SymbolEntry(base[s - 257], 0, extra[s - 257]);
  t.entries[286] = kInvalid;
  t.entries[287] = kInvalid;
  return t;
}();

// Distance symbols 0..29 (RFC 1951, 3.2.5); 30 and 31 are invalid.
constexpr auto kDistSymbols = [] {
  struct {
    std::uint32_t entries[kMaxDistCodes];
  } t{};
  constexpr std::uint16_t base[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                      33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                      1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  for (unsigned s = 0; s < 30; ++s) {
    t.entries[s] = SymbolEntry(base[s], 0, s < 4 ? 0 : s / 2 - 1);
  }
  t.entries[30] = kInvalid;
  t.entries[31] = kInvalid;
  return t;
}();

constexpr auto kPrecodeSymbols = [] {
  struct {
    std::uint32_t entries[19];
  } t{};
  for (unsigned s = 0; s < 19; ++s) t.entries[s] = SymbolEntry(s, 0, 0);
  return t;
}();

constexpr std::uint8_t kPrecodeOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                            11, 4,  12, 3, 13, 2, 14, 1, 15};

// The tables of the fixed codes (RFC 1951, 3.2.6), built once and shared by every entry and
// thread: many small files are a single fixed block, and building these tables took about as
// long as decoding such a file.
struct TFixedTables {
  std::uint32_t litlen[1u << kLitlenRootBits];  // no code is longer than 9 bits
  std::uint32_t dist[1u << kDistRootBits];

  TFixedTables() {
    std::uint8_t lengths[kMaxLitlenCodes];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    // 30 distance codes of 5 bits: the two unused codes stay invalid, and that is accepted.
    std::uint8_t distLengths[30];
    std::memset(distLengths, 5, sizeof distLengths);
    BuildDecodeTable(litlen, std::size(litlen), kLitlenRootBits, lengths, kMaxLitlenCodes,
                     kLitlenSymbols.entries);
    BuildDecodeTable(dist, std::size(dist), kDistRootBits, distLengths, 30,
                     kDistSymbols.entries);
  }
};
const TFixedTables kFixedTables;

// Bytes of input the fast loop may consume in one iteration (three refills of at most 7
// bytes), plus the 8-byte load.
constexpr std::ptrdiff_t kFastInputBytes = 32;
// Output one fast iteration may write: a match of 258 plus 7 bytes of word overshoot, or
// three literals.
constexpr std::ptrdiff_t kFastOutputBytes = 258 + 8;
static_assert(kFastInputBytes < static_cast<std::ptrdiff_t>(kInputKeepBytes));
static_assert(kFastOutputBytes < static_cast<std::ptrdiff_t>(kWindowSlackBytes));

// Zero bytes past the end of the data a stream may need before it counts as cut off. A
// valid stream never consumes them; they are only looked at ahead of the last code.
constexpr unsigned kMaxOverreadBytes = 8;

inline std::uint64_t LoadLe64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

inline std::uint64_t Mask(unsigned bits) { return (std::uint64_t{1} << bits) - 1; }

// EntryBits for the fast loop: the count is at most 28, and masking with 63 lets a 64-bit
// shift take the entry as it is.
inline unsigned FastBits(std::uint32_t entry) { return entry & 63; }

class TInflater {
 public:
  explicit TInflater(TDecodeDriver& driver)
      : driver_(driver),
        window_(driver),
        state_(*new (driver.buffers->Scratch()) TInflateState),
        in_(driver.inNext),
        inEnd_(driver.inEnd) {}

  ~TInflater() { driver_.inNext = in_; }

  TDecodeStatus Run() {
    bool finalBlock = false;
    do {
      if (!NeedBits(3)) return TDecodeStatus::BadData;
      finalBlock = (bitBuffer_ & 1) != 0;
      const unsigned type = (bitBuffer_ >> 1) & 3;
      Consume(3);
      bool ok = false;
      switch (type) {
        case 0:
          ok = StoredBlock();
          break;
        case 1:
          ok = FixedTables() && CodedBlock();
          break;
        case 2:
          ok = DynamicTables() && CodedBlock();
          break;
        default:
          ok = false;
      }
      if (!ok) return TDecodeStatus::BadData;
    } while (!finalBlock);
    window_.Flush();
    return TDecodeStatus::Done;
  }

 private:
  void Consume(unsigned bits) {
    bitBuffer_ >>= bits;
    bitCount_ -= bits;
  }

  // The branch-free refill: needs 8 readable bytes at in_.
  void RefillFast() {
    bitBuffer_ |= LoadLe64(in_) << bitCount_;
    in_ += (63 - bitCount_) >> 3;
    bitCount_ |= 56;
  }

  // Asks the driver for the next block when fewer than kFastInputBytes are left.
  void TopUpInput() {
    if (inputDone_ || inEnd_ - in_ >= kFastInputBytes) return;
    driver_.inNext = in_;
    inputDone_ = !driver_.RefillInput();
    in_ = driver_.inNext;
    inEnd_ = driver_.inEnd;
  }

  // Makes at least bits (at most 32) bits available; false when the stream is cut off.
  bool NeedBits(unsigned bits) {
    if (bitCount_ >= bits) return true;
    TopUpInput();
    if (inEnd_ - in_ >= 8) {
      RefillFast();
      return true;
    }
    while (bitCount_ < bits) {
      std::uint64_t byte = 0;
      if (in_ == inEnd_) TopUpInput();
      if (in_ < inEnd_) {
        byte = *in_++;
      } else if (++overreadBytes_ > kMaxOverreadBytes) {
        return false;
      }
      bitBuffer_ |= byte << bitCount_;
      bitCount_ += 8;
    }
    return true;
  }

  bool StoredBlock() {
    Consume(bitCount_ & 7);
    if (!NeedBits(32)) return false;
    std::uint32_t length = bitBuffer_ & 0xFFFF;
    const std::uint32_t complement = (bitBuffer_ >> 16) & 0xFFFF;
    Consume(32);
    if (complement != (~length & 0xFFFF)) return false;
    // Whole bytes still in the bit buffer come first.
    while (length > 0 && bitCount_ >= 8) {
      window_.PutByte(static_cast<std::uint8_t>(bitBuffer_));
      Consume(8);
      --length;
    }
    if (length == 0) return true;
    bitBuffer_ = 0;  // drop bits the wide refill loaded ahead: the bytes are read directly now
    while (length > 0) {
      if (window_.out == window_.chunkEnd) window_.Slide();
      if (in_ == inEnd_) {
        TopUpInput();
        if (in_ == inEnd_) {
          if (++overreadBytes_ > kMaxOverreadBytes) return false;
          *window_.out++ = 0;
          --length;
          continue;
        }
      }
      std::size_t step = static_cast<std::size_t>(inEnd_ - in_);
      if (step > length) step = length;
      if (step > window_.Room()) step = window_.Room();
      std::memcpy(window_.out, in_, step);
      window_.out += step;
      in_ += step;
      length -= static_cast<std::uint32_t>(step);
    }
    return true;
  }

  bool FixedTables() {
    litlen_ = kFixedTables.litlen;
    dist_ = kFixedTables.dist;
    return true;
  }

  bool DynamicTables() {
    litlen_ = state_.litlen;
    dist_ = state_.dist;
    if (!NeedBits(14)) return false;
    const unsigned litlenCount = (bitBuffer_ & 31) + 257;
    const unsigned distCount = ((bitBuffer_ >> 5) & 31) + 1;
    const unsigned precodeCount = ((bitBuffer_ >> 10) & 15) + 4;
    Consume(14);
    if (litlenCount > 286 || distCount > 30) return false;

    std::uint8_t precodeLengths[19] = {};
    for (unsigned i = 0; i < precodeCount; ++i) {
      if (!NeedBits(3)) return false;
      precodeLengths[kPrecodeOrder[i]] = bitBuffer_ & 7;
      Consume(3);
    }
    if (BuildDecodeTable(state_.precode, kPrecodeCapacity, kPrecodeRootBits, precodeLengths, 19,
                         kPrecodeSymbols.entries) != TTableStatus::Complete) {
      return false;
    }

    std::uint8_t* lengths = state_.lengths;
    const unsigned total = litlenCount + distCount;
    unsigned previous = 0;
    for (unsigned i = 0; i < total;) {
      if (!NeedBits(7 + 7)) return false;
      const std::uint32_t entry = state_.precode[bitBuffer_ & Mask(kPrecodeRootBits)];
      if (entry & kExceptional) return false;
      Consume(EntryBits(entry));
      const unsigned symbol = EntryValue(entry);
      unsigned repeat;
      unsigned value;
      if (symbol < 16) {
        lengths[i++] = static_cast<std::uint8_t>(symbol);
        previous = symbol;
        continue;
      } else if (symbol == 16) {
        repeat = 3 + (bitBuffer_ & 3);
        Consume(2);
        value = previous;
      } else if (symbol == 17) {
        repeat = 3 + (bitBuffer_ & 7);
        Consume(3);
        value = 0;
      } else {
        repeat = 11 + (bitBuffer_ & 127);
        Consume(7);
        value = 0;
      }
      if (repeat > total - i) return false;
      std::memset(lengths + i, static_cast<int>(value), repeat);
      i += repeat;
      previous = value;
    }

    if (BuildDecodeTable(state_.litlen, kLitlenCapacity, kLitlenRootBits, lengths, litlenCount,
                         kLitlenSymbols.entries) != TTableStatus::Complete) {
      return false;
    }
    if (BuildDecodeTable(state_.dist, kDistCapacity, kDistRootBits, lengths + litlenCount,
                         distCount, kDistSymbols.entries) != TTableStatus::Complete) {
      return false;
    }
    return true;
  }

  // Decodes literals and matches until the end-of-block code.
  bool CodedBlock() {
    const std::uint32_t* const litlen = litlen_;
    const std::uint32_t* const dist = dist_;
    const std::uint64_t litlenMask = Mask(kLitlenRootBits);
    const std::uint64_t distMask = Mask(kDistRootBits);

    for (;;) {
      // ---- Fast loop: bounds are checked once per iteration, here. ----
      std::uint8_t* out = window_.out;
      std::uint8_t* const outFastEnd = window_.chunkEnd - kFastOutputBytes;
      const std::uint8_t* in = in_;
      const std::uint8_t* const inEnd = inEnd_;
      std::uint64_t bitBuffer = bitBuffer_;
      unsigned bitCount = bitCount_;
      bool endOfBlock = false;
      bool bad = false;

      // The entry of the next symbol is looked up as soon as its bits are in the buffer, ahead
      // of the work on the current one (the match copy above all), so that the table load is
      // not on the critical path. At least 11 valid bits are held at every such lookup.
      std::uint32_t entry = 0;
      if (inEnd - in >= kFastInputBytes) {
        bitBuffer |= LoadLe64(in) << bitCount;
        in += (63 - bitCount) >> 3;
        bitCount |= 56;
        entry = litlen[bitBuffer & litlenMask];
      }
      while (inEnd - in >= kFastInputBytes && out < outFastEnd) {
        bitBuffer |= LoadLe64(in) << bitCount;
        in += (63 - bitCount) >> 3;
        bitCount |= 56;

        if (entry & kLiteral) {
          // Up to three literals per refill: 3 x 15 bits, and 11 left for the next lookup.
          bitBuffer >>= FastBits(entry);
          bitCount -= FastBits(entry);
          *out++ = static_cast<std::uint8_t>(EntryValue(entry));
          entry = litlen[bitBuffer & litlenMask];
          if (entry & kLiteral) {
            bitBuffer >>= FastBits(entry);
            bitCount -= FastBits(entry);
            *out++ = static_cast<std::uint8_t>(EntryValue(entry));
            entry = litlen[bitBuffer & litlenMask];
            if (entry & kLiteral) {
              bitBuffer >>= FastBits(entry);
              bitCount -= FastBits(entry);
              *out++ = static_cast<std::uint8_t>(EntryValue(entry));
              entry = litlen[bitBuffer & litlenMask];
              continue;
            }
          }
        }
        // At least 26 bits are held here: enough for a subtable code and 5 extra bits.
        if (entry & kExceptional) {
          if (entry & kSubtable) {
            const unsigned rootBits = FastBits(entry);
            bitBuffer >>= rootBits;
            bitCount -= rootBits;
            entry = litlen[EntryValue(entry) + (bitBuffer & Mask(EntryCodeBits(entry)))];
            if (entry & kLiteral) {
              bitBuffer >>= FastBits(entry);
              bitCount -= FastBits(entry);
              *out++ = static_cast<std::uint8_t>(EntryValue(entry));
              entry = litlen[bitBuffer & litlenMask];
              continue;
            }
          }
          if (entry & kExceptional) {
            if (entry & kEndOfBlock) {
              bitBuffer >>= FastBits(entry);
              bitCount -= FastBits(entry);
              endOfBlock = true;
            } else {
              bad = true;
            }
            break;
          }
        }
        const unsigned length =
            EntryValue(entry) + ((bitBuffer & Mask(FastBits(entry))) >> EntryCodeBits(entry));
        bitBuffer >>= FastBits(entry);
        bitCount -= FastBits(entry);

        // Distance: code up to 15 bits plus 13 extra bits.
        if (bitCount < 28) {
          bitBuffer |= LoadLe64(in) << bitCount;
          in += (63 - bitCount) >> 3;
          bitCount |= 56;
        }
        entry = dist[bitBuffer & distMask];
        if (entry & kExceptional) {
          if (entry & kSubtable) {
            const unsigned rootBits = FastBits(entry);
            bitBuffer >>= rootBits;
            bitCount -= rootBits;
            entry = dist[EntryValue(entry) + (bitBuffer & Mask(EntryCodeBits(entry)))];
          }
          if (entry & kExceptional) {
            bad = true;
            break;
          }
        }
        const std::size_t distance =
            EntryValue(entry) + ((bitBuffer & Mask(FastBits(entry))) >> EntryCodeBits(entry));
        bitBuffer >>= FastBits(entry);
        bitCount -= FastBits(entry);
        if (bitCount < kLitlenRootBits) {
          bitBuffer |= LoadLe64(in) << bitCount;
          in += (63 - bitCount) >> 3;
          bitCount |= 56;
        }
        entry = litlen[bitBuffer & litlenMask];

        // The history in front of out is at least 32 KiB, so any distance is in the buffer.
        // Room for kFastOutputBytes is left, so short matches are copied as three whole words
        // without looking at their length; most matches are that short.
        const std::uint8_t* from = out - distance;
        std::uint8_t* to = out;
        out += length;
        if (distance >= 8) {
          std::memcpy(to, from, 8);
          std::memcpy(to + 8, from + 8, 8);
          std::memcpy(to + 16, from + 16, 8);
          to += 24;
          from += 24;
          while (to < out) {
            std::memcpy(to, from, 8);
            to += 8;
            from += 8;
          }
        } else if (distance == 1) {
          const std::uint64_t pattern = from[0] * 0x0101010101010101ull;
          do {
            std::memcpy(to, &pattern, 8);
            to += 8;
          } while (to < out);
        } else {
          do {
            *to++ = *from++;
          } while (to < out);
        }
      }

      window_.out = out;
      in_ = in;
      bitBuffer_ = bitBuffer;
      bitCount_ = bitCount;
      if (bad) return false;
      if (endOfBlock) return true;

      // ---- Tail: refill the input or slide the window, or decode one symbol exactly. ----
      if (window_.Room() <= static_cast<std::size_t>(kFastOutputBytes)) {
        window_.Slide();
        continue;
      }
      TopUpInput();
      if (inEnd_ - in_ >= kFastInputBytes) continue;

      int result = DecodeOneSymbol();
      if (result < 0) return false;
      if (result > 0) return true;
    }
  }

  // One literal, match or end of block with every bound checked; -1 bad, 1 end of block.
  int DecodeOneSymbol() {
    if (!NeedBits(15 + 5)) return -1;
    std::uint32_t entry = litlen_[bitBuffer_ & Mask(kLitlenRootBits)];
    if (entry & kSubtable) {
      Consume(EntryBits(entry));
      entry = litlen_[EntryValue(entry) + (bitBuffer_ & Mask(EntryCodeBits(entry)))];
    }
    if (entry & kLiteral) {
      Consume(EntryBits(entry));
      *window_.out++ = static_cast<std::uint8_t>(EntryValue(entry));
      return 0;
    }
    if (entry & kExceptional) {
      if (!(entry & kEndOfBlock)) return -1;
      Consume(EntryBits(entry));
      return 1;
    }
    const unsigned length =
        EntryValue(entry) + ((bitBuffer_ & Mask(EntryBits(entry))) >> EntryCodeBits(entry));
    Consume(EntryBits(entry));

    if (!NeedBits(15 + 13)) return -1;
    entry = dist_[bitBuffer_ & Mask(kDistRootBits)];
    if (entry & kSubtable) {
      Consume(EntryBits(entry));
      entry = dist_[EntryValue(entry) + (bitBuffer_ & Mask(EntryCodeBits(entry)))];
    }
    if (entry & kExceptional) return -1;
    const std::size_t distance =
        EntryValue(entry) + ((bitBuffer_ & Mask(EntryBits(entry))) >> EntryCodeBits(entry));
    Consume(EntryBits(entry));
    // Room for 258 bytes is guaranteed by the caller.
    const std::uint8_t* from = window_.out - distance;
    for (unsigned i = 0; i < length; ++i) window_.out[i] = from[i];
    window_.out += length;
    return 0;
  }

  TDecodeDriver& driver_;
  TOutputWindow window_;
  TInflateState& state_;
  const std::uint8_t* in_;
  const std::uint8_t* inEnd_;
  std::uint64_t bitBuffer_ = 0;
  unsigned bitCount_ = 0;
  unsigned overreadBytes_ = 0;
  bool inputDone_ = false;
  // The tables of the current block: the fixed ones or those built in state_.
  const std::uint32_t* litlen_ = nullptr;
  const std::uint32_t* dist_ = nullptr;
};

}  // namespace

TDecodeStatus Inflate(TDecodeDriver& driver) {
  TInflater inflater(driver);
  return inflater.Run();
}

}  // namespace archive
