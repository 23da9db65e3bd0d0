#include "archive/decoder.h"

namespace archive {

TDecodeBuffers::TDecodeBuffers()
    : window_(new std::uint8_t[kWindowBytes]),
      input_(new std::uint8_t[kInputBufferBytes]),
      scratch_(new std::uint64_t[kScratchBytes / sizeof(std::uint64_t)]) {}

namespace {

// The one table that maps a method id to its decoder.
constexpr TDecoderEntry kDecoders[] = {
    {1, 1, "Shrink", &Unshrink},
    {2, 5, "Reduce", &Unreduce},
    {6, 6, "Implode", &Explode},
    {8, 8, "Deflate", &Inflate},
};

}  // namespace

const TDecoderEntry* FindDecoder(std::uint16_t method) {
  for (const TDecoderEntry& entry : kDecoders) {
    if (method >= entry.firstMethod && method <= entry.lastMethod) return &entry;
  }
  return nullptr;
}

}  // namespace archive
