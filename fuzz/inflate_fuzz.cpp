// Fuzz target: raw bytes straight into the inflater (method 8), with no archive around them.
//
// The bytes are decoded twice: once in whole input blocks with work buffers that earlier
// inputs have used, once in small odd blocks (1 to 61 bytes, so that every structure is split
// across refills) with fresh buffers. Both must end the same way with the same output: a
// difference means the decoder depends on where a refill falls or on stale buffer contents.
// zlib decodes the same bytes as well; whenever it finds a complete stream, the inflater must
// finish with the very same output. The inflater may accept more than zlib (a distance before
// the start reads zeros, bits past the end of the data read as zeros), never less.
// Output beyond kMaxOutputBytes ends in the driver, as an entry's declared size does.
//   run: scripts/fuzz.sh 600 inflate_fuzz
//        (clang with ASan and UBSan, on a scratch copy of fuzz/corpus/inflate)
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/decoder.h"

namespace {

constexpr std::size_t kMaxOutputBytes = 4 << 20;

struct TOutputFull {};

class TMemoryDriver : public archive::TDecodeDriver {
 public:
  TMemoryDriver(const std::uint8_t* data, std::size_t size, std::size_t blockBytes,
                archive::TDecodeBuffers& work)
      : data_(data), size_(size), blockBytes_(blockBytes) {
    buffers = &work;
    compressedSize = size;
    uncompressedSize = kMaxOutputBytes;
    method = 8;
  }

  bool RefillInput() override {
    std::uint8_t* input = buffers->Input();
    const std::size_t unread = static_cast<std::size_t>(inEnd - inNext);
    // The decoders promise to ask only when few bytes are left.
    if (unread > archive::kInputKeepBytes) std::abort();
    if (unread != 0) std::memmove(input, inNext, unread);
    const std::size_t step = std::min(blockBytes_, size_ - position_);
    if (step != 0) std::memcpy(input + unread, data_ + position_, step);
    position_ += step;
    inNext = input;
    inEnd = input + unread + step;
    return step != 0;
  }

  void FlushOutput(const std::uint8_t* data, std::size_t size) override {
    if (output.size() + size > kMaxOutputBytes) throw TOutputFull();
    output.insert(output.end(), data, data + size);
  }

  std::vector<std::uint8_t> output;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t blockBytes_;
  std::size_t position_ = 0;
};

// 0 finished, 1 bad data, 2 output over the limit.
int Decode(const std::uint8_t* data, std::size_t size, std::size_t blockBytes,
           archive::TDecodeBuffers& work, std::vector<std::uint8_t>& output) {
  TMemoryDriver driver(data, size, blockBytes, work);
  int outcome = 2;
  try {
    outcome = archive::Inflate(driver) == archive::TDecodeStatus::Done ? 0 : 1;
  } catch (const TOutputFull&) {
  }
  output = std::move(driver.output);
  return outcome;
}

// zlib's raw inflate into out (kMaxOutputBytes); the output size when it reaches the end of
// the final block, -1 otherwise.
long ZlibInflate(const std::uint8_t* data, std::size_t size, std::uint8_t* out) {
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) std::abort();
  zs.next_in = const_cast<Bytef*>(data);
  zs.avail_in = static_cast<uInt>(size);
  zs.next_out = out;
  zs.avail_out = static_cast<uInt>(kMaxOutputBytes);
  const int rc = inflate(&zs, Z_FINISH);
  const long produced = static_cast<long>(zs.total_out);
  inflateEnd(&zs);
  return rc == Z_STREAM_END ? produced : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static archive::TDecodeBuffers reused;
  archive::TDecodeBuffers fresh;
  std::vector<std::uint8_t> whole;
  std::vector<std::uint8_t> split;
  const int wholeOutcome = Decode(data, size, archive::kInputBlockBytes, reused, whole);
  const int splitOutcome = Decode(data, size, 1 + size % 61, fresh, split);
  if (wholeOutcome != splitOutcome || whole != split) std::abort();

  static std::vector<std::uint8_t> reference(kMaxOutputBytes);
  const long produced = ZlibInflate(data, size, reference.data());
  if (produced >= 0 &&
      (wholeOutcome != 0 || whole.size() != static_cast<std::size_t>(produced) ||
       (produced != 0 && std::memcmp(whole.data(), reference.data(), whole.size()) != 0))) {
    std::abort();
  }
  return 0;
}
