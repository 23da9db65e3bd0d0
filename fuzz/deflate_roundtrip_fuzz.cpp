// Fuzzes the Deflate compressor: for any input and level, zlib's raw inflate must give the
// input back, the compressed size must be the bytes written, and an object that compressed
// other data before must produce the same bytes as a fresh one (no state leaks between files).
// The first input byte picks the level; the rest is the data.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/deflate_compressor.h"

namespace {

class MemoryIo : public archive::IDeflateIo {
 public:
  MemoryIo(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t ReadSource(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t n = size < size_ - pos_ ? size : size_ - pos_;
    if (n != 0) std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return n;
  }
  void WriteOutput(const std::uint8_t* data, std::size_t size) override {
    out.insert(out.end(), data, data + size);
  }
  std::vector<std::uint8_t> out;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

std::vector<std::uint8_t> Compress(archive::TDeflateCompressor& compressor, int level,
                                   const std::uint8_t* data, std::size_t size,
                                   archive::TDeflateEntryFields& entry) {
  MemoryIo io(data, size);
  const std::uint64_t written = compressor.Deflate(level, io, entry);
  if (written != io.out.size()) std::abort();
  return io.out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size == 0) return 0;
  const int level = 1 + input[0] % 9;
  const std::uint8_t* data = input + 1;
  const std::size_t dataSize = size - 1;

  static archive::TDeflateCompressor reused;  // keeps whatever earlier inputs left in its buffers
  archive::TDeflateCompressor fresh;
  archive::TDeflateEntryFields entry;
  archive::TDeflateEntryFields entryAgain;
  const std::vector<std::uint8_t> out = Compress(fresh, level, data, dataSize, entry);
  const std::vector<std::uint8_t> again = Compress(reused, level, data, dataSize, entryAgain);
  if (out != again || entry.Method != entryAgain.Method) std::abort();

  if (entry.Method == 0) {
    if (out.size() != dataSize || (dataSize != 0 && std::memcmp(out.data(), data, dataSize) != 0))
      std::abort();
    return 0;
  }
  std::vector<std::uint8_t> back(dataSize + 1);
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) std::abort();
  zs.next_in = const_cast<Bytef*>(out.data());
  zs.avail_in = static_cast<uInt>(out.size());
  zs.next_out = back.data();
  zs.avail_out = static_cast<uInt>(back.size());
  const int rc = inflate(&zs, Z_FINISH);
  const bool ok = rc == Z_STREAM_END && zs.avail_in == 0 && zs.total_out == dataSize &&
                  (dataSize == 0 || std::memcmp(back.data(), data, dataSize) == 0);
  inflateEnd(&zs);
  if (!ok) std::abort();
  return 0;
}
