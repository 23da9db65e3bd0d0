// Protects the Deflate compressor: every level must produce a stream that zlib (an
// independent RFC 1951 decoder) turns back into the exact input, the same bytes on every run,
// and the entry decisions the archive depends on (raw storing of data that does not shrink,
// stored blocks, the level flags, text/binary, the far length-3 rule).
#include "archive/deflate_compressor.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "deflate_trace.h"
#include "test_corpus.h"

namespace {

using testcorpus::Bytes;
using testcorpus::Compress;
using testcorpus::MemoryIo;
using Result = testcorpus::Compressed;

// Raw inflate with zlib (window bits -15: no zlib header).
bool ZlibInflate(const Bytes& in, std::size_t expectedSize, Bytes& out) {
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) return false;
  out.assign(expectedSize + 64, 0);
  zs.next_in = const_cast<Bytef*>(in.data());
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  int rc = inflate(&zs, Z_FINISH);
  bool ok = rc == Z_STREAM_END && zs.avail_in == 0;
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return ok;
}

class EveryLevel : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    corpus_ = new std::vector<testcorpus::Sample>(testcorpus::VariedSet(true));
  }
  static void TearDownTestSuite() {
    delete corpus_;
    corpus_ = nullptr;
  }
  static std::vector<testcorpus::Sample>* corpus_;
};
std::vector<testcorpus::Sample>* EveryLevel::corpus_ = nullptr;

TEST_P(EveryLevel, ZlibInflatesTheOutputBackToTheInput) {
  archive::TDeflateCompressor compressor;  // one object for all files, as in one Zip operation
  for (const auto& sample : *corpus_) {
    SCOPED_TRACE(sample.name);
    Result r = Compress(compressor, sample.data, GetParam());
    EXPECT_EQ(r.size, r.output.size());
    if (r.entry.Method == 0) {
      EXPECT_EQ(r.output, sample.data);  // written raw
    } else {
      EXPECT_EQ(r.entry.Method, 8);
      Bytes back;
      ASSERT_TRUE(ZlibInflate(r.output, sample.data.size(), back));
      EXPECT_TRUE(back == sample.data);
    }
  }
}

TEST_P(EveryLevel, OutputIsTheSameOnEveryRunAndAfterOtherFiles) {
  const Bytes input = testcorpus::Text(120000, 77);
  const Bytes other = testcorpus::RandomBytes(90000, 78);
  Result first = Compress(input, GetParam());
  archive::TDeflateCompressor reused;
  Compress(reused, other, GetParam());  // leaves its bytes in the window and tables
  Result second = Compress(reused, input, GetParam());
  EXPECT_TRUE(first.output == second.output);
  // A file shorter than the previous one must not see the previous one's bytes either.
  const Bytes tail(input.begin(), input.begin() + 700);
  Result shortFresh = Compress(tail, GetParam());
  Result shortReused = Compress(reused, tail, GetParam());
  EXPECT_TRUE(shortFresh.output == shortReused.output);
}

// Small files one after the other, as a backup of many small files runs them: whatever one
// file left in the hash tables (cleared entry by entry after small files) must not reach the
// next. Each file is a prefix of the same text, so a stale entry would point at the very
// bytes it was made for, ahead of the current position.
TEST_P(EveryLevel, SmallFilesInARowAreEachCompressedAsIfAlone) {
  const Bytes text = testcorpus::Text(12000, 79);
  archive::TDeflateCompressor reused;
  for (std::size_t size : {5000u, 4000u, 100u, 4097u, 4095u, 300u, 9000u, 1u, 2500u, 2400u}) {
    SCOPED_TRACE(size);
    const Bytes input(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
    Result alone = Compress(input, GetParam());
    Result inARow = Compress(reused, input, GetParam());
    EXPECT_TRUE(alone.output == inARow.output);
  }
}

// The source may arrive in pieces of any size: the output must not depend on them. Runs and
// repeats of up to 300 bytes back to back give many matches of the longest length, whose
// inner positions enter the hash chains while the lookahead is down to its minimum, where
// short reads leave it.
TEST_P(EveryLevel, OutputIsTheSameWhateverPiecesTheSourceArrivesIn) {
  const Bytes text = testcorpus::Text(20000, 81);
  const Bytes dice = testcorpus::RandomBytes(8000, 82);
  Bytes input;
  for (std::size_t i = 0; i + 1 < dice.size() && input.size() < 400000; i += 2) {
    const std::size_t length = 1 + (dice[i] | (dice[i + 1] & 1) << 8) % 300;
    if (dice[i + 1] & 2) {
      input.insert(input.end(), length, (dice[i + 1] & 4) ? 'a' : 'b');
    } else {
      const std::size_t from = (dice[i] * 61u) % (text.size() - length);
      input.insert(input.end(), text.begin() + static_cast<std::ptrdiff_t>(from),
                   text.begin() + static_cast<std::ptrdiff_t>(from + length));
    }
  }
  archive::TDeflateCompressor compressor;
  const Result whole = Compress(compressor, input, GetParam());
  for (std::size_t piece : {777u, 263u, 4096u}) {
    SCOPED_TRACE(piece);
    MemoryIo io(input);
    io.maxRead = piece;
    Result pieces;
    pieces.size = compressor.Deflate(GetParam(), io, pieces.entry);
    EXPECT_EQ(pieces.size, whole.size);
    EXPECT_TRUE(io.output == whole.output);
  }
  Bytes back;
  ASSERT_TRUE(ZlibInflate(whole.output, input.size(), back));
  EXPECT_TRUE(back == input);
}

TEST_P(EveryLevel, LevelBitsGoIntoTheFlags) {
  const int level = GetParam();
  const std::uint16_t expected = level <= 2 ? 4 : level >= 8 ? 2 : 0;
  archive::TDeflateCompressor compressor;
  archive::TDeflateEntryFields entry;
  entry.Flags = 0x0800 | 6;  // other bits survive, old level bits are replaced
  const Bytes input = testcorpus::Text(1000, 5);
  MemoryIo io(input);
  compressor.Deflate(level, io, entry);
  EXPECT_EQ(entry.Flags, 0x0800 | expected);
}

INSTANTIATE_TEST_SUITE_P(Levels, EveryLevel, ::testing::Range(1, 10));

TEST(DeflateCompressor, EmptyInputIsARawEntryOfNoBytesMarkedText) {
  Result r = Compress(Bytes{}, 6);
  EXPECT_EQ(r.size, 0u);
  EXPECT_TRUE(r.output.empty());
  EXPECT_EQ(r.entry.Method, 0);
  EXPECT_EQ(r.entry.InternalAttributes, 1);
}

TEST(DeflateCompressor, ShortRandomDataIsWrittenRawWithItsLevelFlags) {
  const Bytes input = testcorpus::RandomBytes(5000, 9);
  for (int level : {1, 6, 9}) {
    Result r = Compress(input, level);
    EXPECT_EQ(r.entry.Method, 0) << level;
    EXPECT_EQ(r.size, input.size());
    EXPECT_TRUE(r.output == input);
    EXPECT_EQ(r.entry.Flags, level == 1 ? 4 : level == 9 ? 2 : 0);
    EXPECT_EQ(r.entry.InternalAttributes, 0);  // random bytes are binary
  }
}

TEST(DeflateCompressor, LargeRandomDataGetsStoredBlocksInADeflatedEntry) {
  const Bytes input = testcorpus::RandomBytes(300000, 10);
  Result r = Compress(input, 6);
  EXPECT_EQ(r.entry.Method, 8);
  testtrace::Trace t = testtrace::Decode(r.output);
  ASSERT_TRUE(t.ok);
  EXPECT_TRUE(t.data == input);
  ASSERT_GT(t.blockTypes.size(), 1u);
  EXPECT_TRUE(std::all_of(t.blockTypes.begin(), t.blockTypes.end(), [](int b) { return b == 0; }));
  // Stored blocks cost 5 bytes each, plus at most one partial byte for the header bits.
  EXPECT_LT(r.size, input.size() + 5 * t.blockTypes.size() + 1);
}

TEST(DeflateCompressor, TextAndBinaryAreToldApartFromTheFirstBlock) {
  EXPECT_EQ(Compress(testcorpus::Text(30000, 11), 6).entry.InternalAttributes, 1);
  EXPECT_EQ(Compress(testcorpus::Binary(30000, 12), 6).entry.InternalAttributes, 0);
  // A decision made by the caller is left alone.
  archive::TDeflateCompressor compressor;
  archive::TDeflateEntryFields entry;
  entry.InternalAttributes = 0;
  const Bytes text = testcorpus::Text(3000, 13);
  MemoryIo io(text);
  compressor.Deflate(6, io, entry);
  EXPECT_EQ(entry.InternalAttributes, 0);
}

TEST(DeflateCompressor, FarLengthThreeMatchesAreLiteralsOnlyAtLazyLevels) {
  // "QZX" appears twice, 6000 bytes apart, in letter noise that holds no other Q, Z or X, and
  // each time between two digits found nowhere else, so the only match there has length 3.
  Bytes input = testcorpus::RandomBytes(8000, 14);
  for (auto& b : input) b = static_cast<std::uint8_t>('a' + b % 20);  // letters only
  const std::uint8_t first[] = {'1', 'Q', 'Z', 'X', '2'};
  const std::uint8_t second[] = {'3', 'Q', 'Z', 'X', '4'};
  std::copy(first, first + 5, input.begin() + 999);
  std::copy(second, second + 5, input.begin() + 6999);
  auto hasFarThree = [](const testtrace::Trace& t) {
    return std::any_of(t.matches.begin(), t.matches.end(), [](const testtrace::Match& m) {
      return m.position == 7000 && m.length == 3 && m.distance == 6000;
    });
  };
  for (int level = 1; level <= 9; ++level) {
    Result r = Compress(input, level);
    testtrace::Trace t = testtrace::Decode(r.output);
    ASSERT_TRUE(t.ok);
    ASSERT_TRUE(t.data == input);
    EXPECT_EQ(hasFarThree(t), level <= 3) << "level " << level;
  }
}

// Near the end of the input the matcher compares past the data into the window's bytes
// there. Once the window has slid, those are this file's bytes from 32768 positions earlier.
// The input ends with 20 bytes T that occur twice before: at A followed by exactly the bytes
// the window holds past the end, and later at B followed by zeros. Counting the bytes past
// the end, A is the longer match; levels whose nice length stops the search at B's 20 bytes
// take B.
TEST(DeflateCompressor, PastTheEndTheWindowHoldsThisFilesEarlierBytes) {
  const std::size_t n = 100000;
  Bytes input = testcorpus::RandomBytes(n, 40);
  for (auto& b : input) b |= 1;  // no zeros in the noise
  const std::size_t stale = n - 32768;  // what the window holds past the end, after two slides
  const std::size_t a = 70000;
  const std::size_t bPos = 80000;
  const Bytes tail(input.end() - 20, input.end());
  std::copy(tail.begin(), tail.end(), input.begin() + a);
  std::copy(input.begin() + stale, input.begin() + stale + 40, input.begin() + a + 20);
  std::copy(tail.begin(), tail.end(), input.begin() + bPos);
  std::fill(input.begin() + bPos + 20, input.begin() + bPos + 60, 0);
  const std::uint32_t niceOf[10] = {0, 8, 16, 32, 16, 32, 128, 128, 258, 258};
  archive::TDeflateCompressor reused;
  Compress(reused, Bytes(70000, 0), 6);  // zeros in the window beforehand change nothing
  for (int level = 1; level <= 9; ++level) {
    Result r = Compress(reused, input, level);
    testtrace::Trace t = testtrace::Decode(r.output);
    ASSERT_TRUE(t.ok);
    ASSERT_TRUE(t.data == input);
    ASSERT_FALSE(t.matches.empty());
    const testtrace::Match& last = t.matches.back();
    EXPECT_EQ(last.position, n - 20) << "level " << level;
    EXPECT_EQ(last.length, 20u) << "level " << level;
    const std::size_t expected = niceOf[level] > 20 ? a : bPos;
    EXPECT_EQ(last.distance, n - 20 - expected) << "level " << level;
  }
}

// Where this file never wrote, the window holds zeros, whatever an earlier file left there.
// A short input ends with T, which occurs at A followed by zeros-to-be and later at B
// followed by 'Q's: past the end, zeros make A the longer match; an earlier file of 'Q's
// left in the window would make it B.
TEST(DeflateCompressor, PastTheEndOfAShortFileTheWindowHoldsZeros) {
  Bytes input = testcorpus::RandomBytes(3000, 41);
  for (auto& b : input) b = b == 'Q' ? 1 : b | 1;  // neither zeros nor 'Q's in the noise
  const Bytes tail(input.end() - 20, input.end());
  std::copy(tail.begin(), tail.end(), input.begin() + 1000);
  std::fill(input.begin() + 1020, input.begin() + 1060, 0);
  std::copy(tail.begin(), tail.end(), input.begin() + 2000);
  std::fill(input.begin() + 2020, input.begin() + 2060, 'Q');
  archive::TDeflateCompressor reused;
  Compress(reused, Bytes(200000, 'Q'), 6);
  for (int level : {3, 6, 9}) {
    Result r = Compress(reused, input, level);
    testtrace::Trace t = testtrace::Decode(r.output);
    ASSERT_TRUE(t.ok);
    ASSERT_TRUE(t.data == input);
    ASSERT_FALSE(t.matches.empty());
    EXPECT_EQ(t.matches.back().position, input.size() - 20) << "level " << level;
    EXPECT_EQ(t.matches.back().distance, input.size() - 20 - 1000) << "level " << level;
    EXPECT_TRUE(r.output == Compress(input, level).output) << "level " << level;
  }
}

// Whole streams, the last 258 bytes included, pinned by CRC-32 and size: any change to the
// bytes written (matcher, tail, trees, block choice) shows here. The inputs end past a slide,
// where the bytes behind the data are the file's own earlier bytes.
TEST(DeflateCompressor, AFewWholeStreamsArePinnedByTheirCrc) {
  struct Pin {
    const char* name;
    testcorpus::Bytes input;
    int level;
    std::uint32_t crc;
    std::size_t size;
  };
  const Pin pins[] = {
      {"text", testcorpus::Text(100000, 1), 1, 0x201c3ae2, 33969},
      {"text", testcorpus::Text(100000, 1), 6, 0x176fdc23, 27566},
      {"text", testcorpus::Text(100000, 1), 9, 0xcf80fc88, 27474},
      {"binary", testcorpus::Binary(150000, 4), 6, 0xcaff06ca, 59108},
      {"binary", testcorpus::Binary(150000, 4), 9, 0x7f51b339, 59145},
      {"repeats", testcorpus::Run(70000, 'r'), 4, 0xb9f4d988, 85},
  };
  archive::TDeflateCompressor compressor;
  for (const Pin& pin : pins) {
    Result r = Compress(compressor, pin.input, pin.level);
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, r.output.data(), static_cast<uInt>(r.output.size())));
    EXPECT_EQ(crc, pin.crc) << pin.name << " at level " << pin.level;
    EXPECT_EQ(r.output.size(), pin.size) << pin.name << " at level " << pin.level;
  }
}

TEST(DeflateCompressor, OurTraceDecoderAgreesWithZlib) {
  // Guards the test decoder the block-level tests rely on.
  const Bytes input = testcorpus::Text(200000, 15);
  Result r = Compress(input, 9);
  testtrace::Trace t = testtrace::Decode(r.output);
  ASSERT_TRUE(t.ok);
  Bytes z;
  ASSERT_TRUE(ZlibInflate(r.output, input.size(), z));
  EXPECT_TRUE(t.data == z);
  EXPECT_GT(t.matches.size(), 1000u);
  EXPECT_NE(std::find(t.blockTypes.begin(), t.blockTypes.end(), 2), t.blockTypes.end());
}

TEST(DeflateCompressor, SizeStaysCloseToZlibAtTheSameLevel) {
  // Same classic algorithm and level table: a large gap would mean a fault in matcher or trees.
  const Bytes input = testcorpus::Text(400000, 16);
  for (int level : {1, 6, 9}) {
    Result r = Compress(input, level);
    z_stream zs{};
    ASSERT_EQ(deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes z(deflateBound(&zs, input.size()));
    zs.next_in = const_cast<Bytef*>(input.data());
    zs.avail_in = static_cast<uInt>(input.size());
    zs.next_out = z.data();
    zs.avail_out = static_cast<uInt>(z.size());
    ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    double ratio = static_cast<double>(r.size) / static_cast<double>(zs.total_out);
    deflateEnd(&zs);
    EXPECT_LT(ratio, 1.01) << "level " << level;
    EXPECT_GT(ratio, 0.97) << "level " << level;
  }
}

// One entry may carry more than 512 MB of compressed data (2^32 bits): the length is counted
// in 64 bits. 520 MB of noise go through level 1 as stored blocks, streamed: zlib inflates
// the output as it comes and both sides' CRC-32 must agree.
// Slow (minutes under the sanitizers): labelled "slow" by its name.
TEST(DeflateCompressor, SlowEntryMayPass512MegabytesOfCompressedData) {
  constexpr std::size_t kTotal = std::size_t{520} << 20;
  class NoiseIo : public archive::IDeflateIo {
   public:
    std::size_t ReadSource(std::uint8_t* buffer, std::size_t size) override {
      size = std::min<std::size_t>(size, kTotal - produced) & ~std::size_t{7};
      for (std::size_t i = 0; i < size; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(buffer + i, &state, 8);
      }
      produced += size;
      inCrc = crc32(inCrc, buffer, static_cast<uInt>(size));
      return size;
    }
    void WriteOutput(const std::uint8_t* data, std::size_t size) override {
      written += size;
      zs.next_in = const_cast<Bytef*>(data);
      zs.avail_in = static_cast<uInt>(size);
      while (zs.avail_in != 0 && rc == Z_OK) {
        zs.next_out = out;
        zs.avail_out = sizeof out;
        rc = inflate(&zs, Z_NO_FLUSH);
        outCrc = crc32(outCrc, out, static_cast<uInt>(sizeof out - zs.avail_out));
      }
    }
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    std::size_t produced = 0;
    std::uint64_t written = 0;
    uLong inCrc = crc32(0, nullptr, 0);
    uLong outCrc = crc32(0, nullptr, 0);
    z_stream zs{};
    int rc = Z_OK;
    std::uint8_t out[1 << 16];
  };
  auto io = std::make_unique<NoiseIo>();
  ASSERT_EQ(inflateInit2(&io->zs, -15), Z_OK);
  archive::TDeflateCompressor compressor;
  archive::TDeflateEntryFields entry;
  const std::uint64_t size = compressor.Deflate(1, *io, entry);
  inflateEnd(&io->zs);
  EXPECT_EQ(entry.Method, 8);
  EXPECT_EQ(size, io->written);
  EXPECT_GT(size, std::uint64_t{kTotal});  // stored blocks add a little
  EXPECT_EQ(io->rc, Z_STREAM_END);
  EXPECT_EQ(io->zs.total_out, kTotal);
  EXPECT_EQ(io->outCrc, io->inCrc);
}

TEST(DeflateCompressor, AWriteFailurePassesThroughAndTheObjectStaysUsable) {
  const Bytes input = testcorpus::Text(200000, 17);
  archive::TDeflateCompressor compressor;
  Result expected = Compress(input, 6);
  MemoryIo failing(input);
  failing.failAfter = 5000;
  archive::TDeflateEntryFields entry;
  EXPECT_THROW(compressor.Deflate(6, failing, entry), std::runtime_error);
  Result again = Compress(compressor, input, 6);
  EXPECT_TRUE(again.output == expected.output);
}

}  // namespace
