// Setup of the compressor for one file, and its buffers.
#include "archive/deflate_compressor.h"

#include "archive/deflate_state.h"

namespace archive {

namespace deflater {

CompressorState::CompressorState()
    : window_(new std::uint8_t[kWindowSize + kWindowSlack]()),
      prev_(new std::uint16_t[kWindowSize]()),
      head_(new std::uint16_t[kHashSize]()),
      prev4_(new std::uint16_t[kWindowSize]()),
      head4_(new std::uint16_t[kHash4Size]()),
      rank_(new std::uint16_t[kWindowSize]()),
      prev6_(new std::uint16_t[kWindowSize]()),
      head6_(new std::uint16_t[kHash6Size]()),
      litBuf_(new std::uint8_t[kLitBufSize]()),
      distBuf_(new std::uint16_t[kDistBufSize]()),
      flagBuf_(new std::uint8_t[kFlagBufSize]()),
      outBuf_(new std::uint8_t[kOutBufSize + 16]()) {
  // Zero the frequencies of every leaf; InitBlock does that for each block after the first.
  lTree_.freq.fill(0);
  dTree_.freq.fill(0);
  blTree_.freq.fill(0);
}

std::uint64_t CompressorState::Run(int level, IDeflateIo& io, TDeflateEntryFields& entry) {
  if (level < 1 || level > 9) Fail("deflate: level out of range");
  io_ = &io;
  entry_ = &entry;
  level_ = level;
  compressedBits_ = 0;
  inputLength_ = 0;
  bytesWritten_ = 0;
  bitBuf_ = 0;
  bitCount_ = 0;
  outPos_ = 0;
  // The flag buffer may hold bits of a file that ended in an exception: clear it all.
  symCount_ = kLitBufSize;
  InitBlock();

  InitMatcher();
  headsUsed_ = kHeadsDirty;  // until this file ends normally
  if (level_ <= 3) {
    CompressFast();
  } else {
    CompressLazy();
  }
  // Every inserted position is below the final position plus one.
  headsUsed_ = slid_ ? kHeadsDirty : curPos_ + 1;
  FlushOutput();
  if (bytesWritten_ != compressedBits_ >> 3) Fail("deflate: compressed length mismatch");
  io_ = nullptr;
  entry_ = nullptr;
  return bytesWritten_;
}

}  // namespace deflater

TDeflateCompressor::TDeflateCompressor() : state_(std::make_unique<deflater::CompressorState>()) {}

TDeflateCompressor::~TDeflateCompressor() = default;

std::uint64_t TDeflateCompressor::Deflate(int level, IDeflateIo& io, TDeflateEntryFields& entry) {
  return state_->Run(level, io, entry);
}

}  // namespace archive
