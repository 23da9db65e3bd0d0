// Unreduce: methods 2 to 5, Reduce with compression factors 1 to 4.
//
// Two stages. The bytes themselves come through "follower sets": for each byte value the
// stream first lists up to 63 bytes likely to follow it; afterwards a byte is either sent as
// 8 raw bits (after a 1 bit, or when the previous byte's set is empty) or as the index of a
// member of the previous byte's set (after a 0 bit), in as few bits as the set size needs.
// "Previous" is always the last byte read, not the last one output.
//
// Those bytes then run through a small state machine with 144 (0x90) as the escape:
// 144 0 is a literal 144; 144 V starts a match whose length is the low bits of V (extended by
// the next byte when they are all ones) plus 3, and whose distance is the high bits of V times
// 256 plus the next byte plus 1. The factor f sets the split: 8 - f length bits, f distance
// bits, so distances reach back at most 16 * 256 = 4096 bytes.
//
// Decoding runs until the entry's uncompressed size is produced. A distance before the start
// of the data reads zero bytes (the history is cleared for every entry). A set index beyond
// the set's size reads a zero left in the cleared set.
#include <cstring>
#include <new>

#include "archive/decode_bits.h"
#include "archive/decode_window.h"
#include "archive/decoder.h"

namespace archive {

namespace {

constexpr std::uint8_t kEscape = 144;

struct TReduceState {
  std::uint8_t followers[256][64];
  std::uint8_t followerCount[256];
};
static_assert(sizeof(TReduceState) <= kScratchBytes);

// Bits that index a follower set of n members: the bit length of n - 1, at least 1.
unsigned IndexBits(unsigned n) {
  unsigned bits = 1;
  while ((1u << bits) < n) ++bits;
  return bits;
}

}  // namespace

TDecodeStatus Unreduce(TDecodeDriver& driver) {
  if (driver.method < 2 || driver.method > 5) return TDecodeStatus::BadData;
  const unsigned factor = driver.method - 1u;
  const unsigned lengthMask = 0xFFu >> factor;  // 0x7F, 0x3F, 0x1F, 0x0F
  const unsigned distanceShift = 8 - factor;
  const unsigned distanceMask = (1u << factor) - 1;

  TOutputWindow window(driver);
  TLegacyBitReader bits(driver);
  TReduceState& state = *new (driver.buffers->Scratch()) TReduceState;
  std::memset(&state, 0, sizeof state);

  for (int value = 255; value >= 0; --value) {
    const unsigned count = bits.Get(6);
    state.followerCount[value] = static_cast<std::uint8_t>(count);
    for (unsigned i = 0; i < count; ++i) {
      state.followers[value][i] = static_cast<std::uint8_t>(bits.Get(8));
    }
  }

  enum { kPlain, kAfterEscape, kLengthByte, kDistanceByte } machine = kPlain;
  unsigned previous = 0;
  unsigned matchCode = 0;
  std::size_t matchLength = 0;
  std::uint64_t produced = 0;
  while (produced < driver.uncompressedSize) {
    if (bits.phantomBits > kMaxPhantomBits) return TDecodeStatus::BadData;
    unsigned byte;
    const unsigned count = state.followerCount[previous];
    if (count == 0 || bits.Get(1) == 1) {
      byte = bits.Get(8);
    } else {
      byte = state.followers[previous][bits.Get(IndexBits(count))];
    }
    previous = byte;

    switch (machine) {
      case kPlain:
        if (byte == kEscape) {
          machine = kAfterEscape;
        } else {
          window.PutByte(static_cast<std::uint8_t>(byte));
          ++produced;
        }
        break;
      case kAfterEscape:
        if (byte == 0) {
          window.PutByte(kEscape);
          ++produced;
          machine = kPlain;
        } else {
          matchCode = byte;
          matchLength = byte & lengthMask;
          machine = matchLength == lengthMask ? kLengthByte : kDistanceByte;
        }
        break;
      case kLengthByte:
        matchLength += byte;
        machine = kDistanceByte;
        break;
      case kDistanceByte: {
        const std::size_t distance =
            ((matchCode >> distanceShift) & distanceMask) * 256 + byte + 1;
        window.CopyMatch(distance, matchLength + 3);
        produced += matchLength + 3;
        machine = kPlain;
        break;
      }
    }
  }
  window.Flush();
  return TDecodeStatus::Done;
}

}  // namespace archive
