// The bit input of the legacy decoders (Shrink, Reduce, Implode): least significant bit
// first, refilled eagerly through the driver's ReadInputByte.
//
// When fewer bits are held than a read asks for, bytes are added until more than 24 bits are
// held or the input ends; endOfInput is set when such a refill delivers no byte at all. A read
// past the end sees zero bits, and phantomBits counts how many of those were taken: a valid
// stream never takes any, so decoders that run until the entry's size is reached stop once
// the count grows (a few bytes' worth), instead of spinning out zeros for a size the data
// never backed.
#pragma once

#include <cstdint>

#include "archive/decoder.h"

namespace archive {

class TLegacyBitReader {
 public:
  explicit TLegacyBitReader(TDecodeDriver& driver) : driver_(driver) {}

  bool endOfInput = false;
  std::uint32_t phantomBits = 0;

  // Makes at least bits (at most 24) bits visible to Peek, zeros past the end.
  void Need(unsigned bits) {
    if (held_ >= bits) return;
    bool delivered = false;
    while (held_ <= 24) {
      std::uint8_t byte;
      if (driver_.ReadInputByte(byte) == 0) {
        if (!delivered) endOfInput = true;
        break;
      }
      buffer_ |= std::uint32_t{byte} << held_;
      held_ += 8;
      delivered = true;
    }
  }

  std::uint32_t Peek(unsigned bits) const { return buffer_ & ((std::uint32_t{1} << bits) - 1); }

  void Drop(unsigned bits) {
    if (bits > held_) {
      phantomBits += bits - held_;
      buffer_ = 0;
      held_ = 0;
    } else {
      buffer_ >>= bits;
      held_ -= bits;
    }
  }

  std::uint32_t Get(unsigned bits) {
    Need(bits);
    const std::uint32_t value = Peek(bits);
    Drop(bits);
    return value;
  }

 private:
  TDecodeDriver& driver_;
  std::uint32_t buffer_ = 0;
  unsigned held_ = 0;
};

// Zero bits a legacy stream may take past its end before its decoder gives up on it.
inline constexpr std::uint32_t kMaxPhantomBits = 64;

}  // namespace archive
