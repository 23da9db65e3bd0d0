// Unshrink: method 1, LZW with codes of 9 to 13 bits and partial clearing.
//
// Codes 0..255 stand for themselves; 257..8191 are defined as the stream goes, each as a
// previous code (prefix) plus one byte (suffix). Code 256 introduces a control code of the
// same size: 1 widens the codes by one bit, 2 frees every defined code below the next free
// code that is no other such code's prefix (a partial clear, see PartialClear), after which
// new codes fill the freed slots from the lowest.
// After each data code the next free slot is defined as the previous code plus the first
// byte of the current string; a code that is still free is the one being defined (the
// "KwKwK" case) and stands for the previous string plus its own first byte.
//
// Invalid data cannot hurt: a chain through a free code, a chain longer than the decode
// stack (which also catches a cycle of prefixes) or widening past 13 bits stop the decoder.
#include <cstring>
#include <new>

#include "archive/decode_bits.h"
#include "archive/decode_window.h"
#include "archive/decoder.h"

namespace archive {

namespace {

constexpr unsigned kFirstCodeBits = 9;
constexpr unsigned kMaxCodeBits = 13;
constexpr unsigned kCodeLimit = 1u << kMaxCodeBits;  // 8192 codes
constexpr unsigned kControlCode = 256;
constexpr unsigned kFirstFreeCode = 257;
constexpr std::int16_t kFreeCode = -1;

struct TShrinkState {
  std::int16_t prefix[kCodeLimit];  // kFreeCode for a free slot
  std::uint8_t suffix[kCodeLimit];
  std::uint8_t stack[kCodeLimit];
  std::uint8_t isPrefix[kCodeLimit];
};
static_assert(sizeof(TShrinkState) <= kScratchBytes);

// A partial clear looks only at the codes below nextFree: each of them that is no other such
// code's prefix becomes free. Codes above nextFree (survivors of an earlier clear that the
// refill has not reached yet) are neither freed nor counted as children, so a code whose only
// children lie above nextFree is freed too. Freeing every leaf among all codes in use instead
// gives the same dictionary as long as nothing is in use above nextFree, which holds at every
// clear of the PKZIP archives in tests/data, but not at a second clear that comes before the
// refill passed the survivors of the first. Info-ZIP unzip reads such streams by this rule
// and rejects the other (ShrinkControlCodesTest pins both).
void PartialClear(TShrinkState& state, unsigned nextFree) {
  std::memset(state.isPrefix, 0, sizeof state.isPrefix);
  for (unsigned code = kFirstFreeCode; code < nextFree; ++code) {
    const std::int16_t prefix = state.prefix[code];
    if (prefix >= static_cast<std::int16_t>(kFirstFreeCode)) state.isPrefix[prefix] = 1;
  }
  for (unsigned code = kFirstFreeCode; code < nextFree; ++code) {
    if (state.prefix[code] != kFreeCode && !state.isPrefix[code]) state.prefix[code] = kFreeCode;
  }
}

unsigned NextFreeCode(const TShrinkState& state, unsigned from) {
  while (from < kCodeLimit && state.prefix[from] != kFreeCode) ++from;
  return from;
}

}  // namespace

TDecodeStatus Unshrink(TDecodeDriver& driver) {
  TOutputWindow window(driver);
  TLegacyBitReader bits(driver);
  TShrinkState& state = *new (driver.buffers->Scratch()) TShrinkState;
  for (unsigned code = 0; code < kFirstFreeCode; ++code) {
    state.prefix[code] = 0;
    state.suffix[code] = static_cast<std::uint8_t>(code);
  }
  for (unsigned code = kFirstFreeCode; code < kCodeLimit; ++code) state.prefix[code] = kFreeCode;

  unsigned codeBits = kFirstCodeBits;
  unsigned nextFree = kFirstFreeCode;

  unsigned previous = bits.Get(codeBits);
  if (bits.endOfInput) return TDecodeStatus::Done;
  std::uint8_t lastByte = static_cast<std::uint8_t>(previous);
  window.PutByte(lastByte);

  for (;;) {
    const unsigned code = bits.Get(codeBits);
    if (bits.endOfInput) break;
    if (code == kControlCode) {
      const unsigned control = bits.Get(codeBits);
      if (bits.endOfInput) break;
      if (control == 1) {
        if (codeBits == kMaxCodeBits) return TDecodeStatus::BadData;
        ++codeBits;
      } else if (control == 2) {
        PartialClear(state, nextFree);
        nextFree = NextFreeCode(state, kFirstFreeCode);
      }
      continue;
    }

    // The string is pushed from its last byte backwards onto the stack.
    std::uint8_t* const stackTop = state.stack + kCodeLimit;
    std::uint8_t* top = stackTop;
    unsigned walk = code;
    if (walk >= kFirstFreeCode && state.prefix[walk] == kFreeCode) {
      *--top = lastByte;
      walk = previous;
    }
    while (walk >= kFirstFreeCode) {
      if (top == state.stack || state.prefix[walk] == kFreeCode) return TDecodeStatus::BadData;
      *--top = state.suffix[walk];
      walk = static_cast<unsigned>(state.prefix[walk]);
    }
    if (walk == kControlCode || top == state.stack) return TDecodeStatus::BadData;
    *--top = static_cast<std::uint8_t>(walk);
    lastByte = static_cast<std::uint8_t>(walk);

    const std::size_t length = static_cast<std::size_t>(stackTop - top);
    window.Reserve(length);
    std::memcpy(window.out, top, length);
    window.out += length;

    if (nextFree < kCodeLimit) {
      state.prefix[nextFree] = static_cast<std::int16_t>(previous);
      state.suffix[nextFree] = lastByte;
      nextFree = NextFreeCode(state, nextFree + 1);
    }
    previous = code;
  }
  window.Flush();
  return TDecodeStatus::Done;
}

}  // namespace archive
