// Protects Inflate (method 8), the decoder every restore runs: it must restore every stream
// zlib writes (all levels and strategies, all sizes, any input block boundaries) byte for
// byte, and stop on every kind of invalid stream without reading or writing out of bounds.
// zlib is the oracle for valid streams; the invalid ones are hand-made bit layouts.
#include <gtest/gtest.h>

#include "archive/decoder.h"
#include "tests/archive/decode_support.h"

namespace {

using namespace decode_test;
using archive::Inflate;
using archive::TDecodeStatus;

struct TZlibCase {
  int level;
  int strategy;
  std::size_t size;
  int data;  // 0 text, 1 binary, 2 random, 3 zeros
};

class InflateZlibTest : public ::testing::TestWithParam<TZlibCase> {};

Bytes MakeData(int kind, std::size_t size, unsigned seed) {
  switch (kind) {
    case 0: return TextData(size, seed);
    case 1: return BinaryData(size, seed);
    case 2: return RandomData(size, seed);
    default: return Bytes(size, 0);
  }
}

TEST_P(InflateZlibTest, RestoresZlibStreamByteForByte) {
  const TZlibCase c = GetParam();
  const Bytes input = MakeData(c.data, c.size, static_cast<unsigned>(c.size + c.level));
  const Bytes stream = ZlibDeflate(input, c.level, c.strategy);
  // Whole blocks as the driver reads them, and odd block sizes that split every structure.
  for (std::size_t block : {std::size_t{16000}, std::size_t{1}, std::size_t{7}, std::size_t{31}}) {
    if (block < 100 && c.size > 200000) continue;  // byte-wise feeding of big inputs is slow
    TDecodeResult r = Decode(&Inflate, stream, block);
    ASSERT_EQ(r.status, TDecodeStatus::Done) << "block " << block;
    ASSERT_EQ(r.output.size(), input.size()) << "block " << block;
    ASSERT_TRUE(r.output == input) << "block " << block;
  }
}

std::vector<TZlibCase> ZlibCases() {
  std::vector<TZlibCase> cases;
  for (int level = 0; level <= 9; ++level) {
    for (std::size_t size : {0, 1, 100, 32767, 32768, 32769, 70000, 300000}) {
      for (int data = 0; data < 4; ++data) cases.push_back({level, Z_DEFAULT_STRATEGY, size, data});
    }
  }
  for (int strategy : {Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE, Z_FILTERED}) {
    for (int data = 0; data < 4; ++data) cases.push_back({6, strategy, 150000, data});
  }
  // Larger than the output chunk several times over, so the window slides many times.
  cases.push_back({9, Z_DEFAULT_STRATEGY, 3000000, 0});
  cases.push_back({1, Z_DEFAULT_STRATEGY, 3000000, 1});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(AllLevels, InflateZlibTest, ::testing::ValuesIn(ZlibCases()));

// zlib with memLevel 1 emits many small dynamic blocks (fresh tables every few KiB).
TEST(InflateTest, ManySmallDynamicBlocks) {
  const Bytes input = TextData(500000, 3);
  const Bytes stream = ZlibDeflate(input, 9, Z_DEFAULT_STRATEGY, 1);
  TDecodeResult r = Decode(&Inflate, stream, 13);
  ASSERT_EQ(r.status, TDecodeStatus::Done);
  EXPECT_TRUE(r.output == input);
}

// Fixed-code block helpers: literal/length codes of RFC 1951, 3.2.6.
void PutFixedLiteral(TBitWriter& w, unsigned symbol) {
  if (symbol < 144) w.PutCode(0x30 + symbol, 8);
  else if (symbol < 256) w.PutCode(0x190 + symbol - 144, 9);
  else if (symbol < 280) w.PutCode(symbol - 256, 7);
  else w.PutCode(0xC0 + symbol - 280, 8);
}

TEST(InflateTest, OverlappingMatchRepeatsThePattern) {
  // "abc" then a match of length 10 at distance 3 (length code 264, distance code 2).
  TBitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  PutFixedLiteral(w, 'a');
  PutFixedLiteral(w, 'b');
  PutFixedLiteral(w, 'c');
  PutFixedLiteral(w, 264);
  w.PutCode(2, 5);
  PutFixedLiteral(w, 256);
  TDecodeResult r = Decode(&Inflate, w.bytes);
  ASSERT_EQ(r.status, TDecodeStatus::Done);
  const std::string expected = "abcabcabcabca";
  EXPECT_EQ(std::string(r.output.begin(), r.output.end()), expected);
}

// Every short match shape the fast loop copies by whole words: each distance from 1 to 48
// with each length from 3 to 40, so that overlapping copies (distance below the length) and
// copies shorter than the words written are all met, with literals in between.
TEST(InflateTest, EveryShortMatchShapeIsCopiedRight) {
  TBitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  Bytes expected;
  unsigned seed = 7;
  auto literal = [&](unsigned value) {
    PutFixedLiteral(w, value);
    expected.push_back(static_cast<std::uint8_t>(value));
  };
  for (unsigned i = 0; i < 64; ++i) literal(i * 37 % 256);
  constexpr unsigned kLengthBase[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35};
  constexpr unsigned kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3};
  constexpr unsigned kDistBase[] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49};
  constexpr unsigned kDistExtra[] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4};
  for (unsigned distance = 1; distance <= 48; ++distance) {
    for (unsigned length = 3; length <= 40; ++length) {
      unsigned lc = 16;
      while (kLengthBase[lc] > length) --lc;
      PutFixedLiteral(w, 257 + lc);
      w.Put(length - kLengthBase[lc], kLengthExtra[lc]);
      unsigned dc = 11;
      while (kDistBase[dc] > distance) --dc;
      w.PutCode(dc, 5);
      w.Put(distance - kDistBase[dc], kDistExtra[dc]);
      for (unsigned i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
      seed = seed * 1103515245 + 12345;
      literal((seed >> 16) & 0xFF);
    }
  }
  PutFixedLiteral(w, 256);
  for (std::size_t block : {std::size_t{16000}, std::size_t{5}}) {
    TDecodeResult r = Decode(&Inflate, w.bytes, block);
    ASSERT_EQ(r.status, TDecodeStatus::Done) << "block " << block;
    EXPECT_TRUE(r.output == expected) << "block " << block;
  }
}

TEST(InflateTest, DistanceOneRunOfMaximumLength) {
  // 'x' then 258 more at distance 1: code 285 and distance code 0.
  TBitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  PutFixedLiteral(w, 'x');
  PutFixedLiteral(w, 285);
  w.PutCode(0, 5);
  PutFixedLiteral(w, 256);
  TDecodeResult r = Decode(&Inflate, w.bytes);
  ASSERT_EQ(r.status, TDecodeStatus::Done);
  EXPECT_EQ(r.output, Bytes(259, 'x'));
}

TEST(InflateTest, DynamicBlockWithSingleDistanceCodeOfLengthOne) {
  // Literal/length code: 'a' (97), 'b' (98), 256 and 258 with 2 bits each (complete); one
  // distance code (symbol 0) of length 1, which counts as complete.
  std::vector<std::uint8_t> litlen(259, 0);
  litlen[97] = litlen[98] = litlen[256] = litlen[258] = 2;
  std::vector<std::uint8_t> dist(1, 1);
  // Code-length code: symbols 0 and 2 and 1 (for the distance) and 18 (runs of zeros).
  std::vector<std::uint8_t> clLengths(19, 0);
  clLengths[0] = 2;
  clLengths[1] = 2;
  clLengths[2] = 2;
  clLengths[18] = 2;
  const auto clCodes = CanonicalCodes(clLengths);
  const auto litCodes = CanonicalCodes(litlen);
  const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

  TBitWriter w;
  w.Put(1, 1);
  w.Put(2, 2);
  w.Put(259 - 257, 5);  // HLIT
  w.Put(0, 5);          // HDIST: 1 code
  w.Put(18 - 4, 4);     // HCLEN: 18 code-length codes (up to symbol 1 in the order)
  for (unsigned i = 0; i < 18; ++i) w.Put(clLengths[order[i]], 3);
  // The 259 + 1 lengths, zero runs with symbol 18 (11..138 zeros, 7 extra bits).
  auto zeros = [&](unsigned n) {
    while (n > 0) {
      unsigned run = std::min(n, 138u);
      if (run < 11) {
        for (unsigned i = 0; i < run; ++i) w.PutCode(clCodes[0], 2);
      } else {
        w.PutCode(clCodes[18], 2);
        w.Put(run - 11, 7);
      }
      n -= run;
    }
  };
  zeros(97);
  w.PutCode(clCodes[2], 2);  // 'a'
  w.PutCode(clCodes[2], 2);  // 'b'
  zeros(256 - 99);
  w.PutCode(clCodes[2], 2);  // 256
  w.PutCode(clCodes[0], 2);  // 257
  w.PutCode(clCodes[2], 2);  // 258
  w.PutCode(clCodes[1], 2);  // distance 0: length 1
  // Data: "ab", match length 4 (symbol 258) at distance 1 (code "0"), end.
  w.PutCode(litCodes[97], 2);
  w.PutCode(litCodes[98], 2);
  w.PutCode(litCodes[258], 2);
  w.PutCode(0, 1);
  w.PutCode(litCodes[256], 2);
  TDecodeResult r = Decode(&Inflate, w.bytes);
  ASSERT_EQ(r.status, TDecodeStatus::Done);
  EXPECT_EQ(std::string(r.output.begin(), r.output.end()), "abbbbb");
}

TEST(InflateTest, OutputOfExactly32768Bytes) {
  const Bytes input = TextData(32768, 9);
  for (int level : {0, 1, 9}) {
    TDecodeResult r = Decode(&Inflate, ZlibDeflate(input, level));
    ASSERT_EQ(r.status, TDecodeStatus::Done);
    EXPECT_TRUE(r.output == input) << "level " << level;
  }
}

Bytes StoredBlock(const Bytes& payload, std::uint16_t nlen, bool final = true) {
  Bytes s;
  s.push_back(final ? 1 : 0);
  s.push_back(payload.size() & 0xFF);
  s.push_back(payload.size() >> 8);
  s.push_back(nlen & 0xFF);
  s.push_back(nlen >> 8);
  s.insert(s.end(), payload.begin(), payload.end());
  return s;
}

TEST(InflateTest, StoredBlockWithBadNlenStops) {
  const Bytes payload = {'h', 'e', 'l', 'l', 'o'};
  EXPECT_EQ(Decode(&Inflate, StoredBlock(payload, 0xFFFA)).status, TDecodeStatus::Done);
  EXPECT_EQ(Decode(&Inflate, StoredBlock(payload, 0xFFFB)).status, TDecodeStatus::BadData);
  EXPECT_EQ(Decode(&Inflate, StoredBlock(payload, 0x0005)).status, TDecodeStatus::BadData);
}

TEST(InflateTest, StoredBlocksAcrossInputBoundaries) {
  Bytes stream;
  Bytes expected;
  for (int i = 0; i < 5; ++i) {
    Bytes payload = RandomData(10000 + i * 7000, i);
    Bytes block = StoredBlock(payload, static_cast<std::uint16_t>(~payload.size()), i == 4);
    stream.insert(stream.end(), block.begin(), block.end());
    expected.insert(expected.end(), payload.begin(), payload.end());
  }
  for (std::size_t block : {std::size_t{16000}, std::size_t{3}, std::size_t{4099}}) {
    TDecodeResult r = Decode(&Inflate, stream, block);
    ASSERT_EQ(r.status, TDecodeStatus::Done);
    EXPECT_TRUE(r.output == expected);
  }
}

TEST(InflateTest, BlockTypeThreeStops) {
  TBitWriter w;
  w.Put(1, 1);
  w.Put(3, 2);
  w.Put(0, 16);
  EXPECT_EQ(Decode(&Inflate, w.bytes).status, TDecodeStatus::BadData);
}

TEST(InflateTest, FixedLengthCodes286And287Stop) {
  for (unsigned symbol : {286u, 287u}) {
    TBitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    PutFixedLiteral(w, 'a');
    PutFixedLiteral(w, symbol);
    w.Put(0, 16);
    EXPECT_EQ(Decode(&Inflate, w.bytes).status, TDecodeStatus::BadData) << symbol;
  }
}

TEST(InflateTest, FixedDistanceCodes30And31Stop) {
  for (unsigned code : {30u, 31u}) {
    TBitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    PutFixedLiteral(w, 'a');
    PutFixedLiteral(w, 257);
    w.PutCode(code, 5);
    w.Put(0, 16);
    EXPECT_EQ(Decode(&Inflate, w.bytes).status, TDecodeStatus::BadData) << code;
  }
}

// A dynamic header: HLIT/HDIST/HCLEN and the code-length code lengths as given.
void PutDynamicHeader(TBitWriter& w, unsigned hlit, unsigned hdist,
                      const std::vector<std::uint8_t>& clLengthsInOrder) {
  w.Put(1, 1);
  w.Put(2, 2);
  w.Put(hlit - 257, 5);
  w.Put(hdist - 1, 5);
  w.Put(static_cast<unsigned>(clLengthsInOrder.size()) - 4, 4);
  for (auto l : clLengthsInOrder) w.Put(l, 3);
}

TEST(InflateTest, TooManyLiteralLengthCodesStop) {
  TBitWriter w;
  PutDynamicHeader(w, 287, 1, std::vector<std::uint8_t>(19, 3));
  w.Put(0, 32);
  EXPECT_EQ(Decode(&Inflate, w.bytes).status, TDecodeStatus::BadData);
}

TEST(InflateTest, TooManyDistanceCodesStop) {
  TBitWriter w;
  PutDynamicHeader(w, 257, 31, std::vector<std::uint8_t>(19, 3));
  w.Put(0, 32);
  EXPECT_EQ(Decode(&Inflate, w.bytes).status, TDecodeStatus::BadData);
}

TEST(InflateTest, IncompleteCodeLengthCodeStops) {
  // Three code-length codes of 2 bits leave a quarter of the code space unused.
  TBitWriter w;
  PutDynamicHeader(w, 257, 1, {2, 2, 2, 0});
  w.Put(0, 64);
  EXPECT_EQ(Decode(&Inflate, w.bytes).status, TDecodeStatus::BadData);
}

TEST(InflateTest, OverSubscribedCodeLengthCodeStops) {
  TBitWriter w;
  PutDynamicHeader(w, 257, 1, {1, 1, 1, 0});
  w.Put(0, 64);
  EXPECT_EQ(Decode(&Inflate, w.bytes).status, TDecodeStatus::BadData);
}

TEST(InflateTest, RepeatPastTheCodeCountStops) {
  // Code-length code: symbols 16, 17, 18, 0 with 2 bits each (order starts 16, 17, 18, 0).
  // 257 + 1 lengths, but a run of 138 zeros twice goes past 258.
  TBitWriter w;
  PutDynamicHeader(w, 257, 1, {2, 2, 2, 2});
  const auto codes = CanonicalCodes({2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2});
  w.PutCode(codes[18], 2);
  w.Put(127, 7);
  w.PutCode(codes[18], 2);
  w.Put(127, 7);
  w.Put(0, 32);
  EXPECT_EQ(Decode(&Inflate, w.bytes).status, TDecodeStatus::BadData);
}

TEST(InflateTest, IncompleteDistanceCodeStops) {
  // Literal code {'a', 256} with 1 bit each; distance codes 0 and 1 with 2 bits: incomplete.
  std::vector<std::uint8_t> lengths(257 + 2, 0);
  lengths['a'] = 1;
  lengths[256] = 1;
  lengths[257] = 2;
  lengths[258] = 2;
  // Code-length code over symbols 0, 1, 2, 18: 2 bits each.
  std::vector<std::uint8_t> cl(19, 0);
  cl[0] = cl[1] = cl[2] = cl[18] = 2;
  const auto clCodes = CanonicalCodes(cl);
  TBitWriter w;
  PutDynamicHeader(w, 257, 2, {0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2});
  auto put = [&](unsigned length) { w.PutCode(clCodes[length], 2); };
  w.PutCode(clCodes[18], 2);
  w.Put(97 - 11, 7);
  put(1);
  w.PutCode(clCodes[18], 2);
  w.Put(138 - 11, 7);
  w.PutCode(clCodes[18], 2);
  w.Put(256 - 98 - 138 - 11, 7);
  put(1);
  put(2);
  put(2);
  w.Put(0, 16);
  EXPECT_EQ(Decode(&Inflate, w.bytes).status, TDecodeStatus::BadData);
}

TEST(InflateTest, DistanceBeforeTheStartReadsZeros) {
  // "ab" then a match of 4 at distance 5: three bytes before the start, then "ab".
  TBitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  PutFixedLiteral(w, 'a');
  PutFixedLiteral(w, 'b');
  PutFixedLiteral(w, 258);  // length 4
  w.PutCode(4, 5);          // distance code 4: 5..6, one extra bit
  w.Put(0, 1);
  PutFixedLiteral(w, 256);
  TDecodeResult r = Decode(&Inflate, w.bytes);
  ASSERT_EQ(r.status, TDecodeStatus::Done);
  EXPECT_EQ(r.output, (Bytes{'a', 'b', 0, 0, 0, 'a'}));
}

// One set of work buffers serves every entry of an archive in turn: whatever an entry before
// left in the window (history slid out of a long entry, or not) and in the tables (fixed or
// dynamic), the next entry sees only its own bytes, and zeros before its start.
TEST(InflateTest, EntriesSharingTheBuffersSeeNothingOfEachOther) {
  TBitWriter beforeStart;  // "ab", then 4 bytes from 5 back: three zeros and the 'a'
  beforeStart.Put(1, 1);
  beforeStart.Put(1, 2);
  PutFixedLiteral(beforeStart, 'a');
  PutFixedLiteral(beforeStart, 'b');
  PutFixedLiteral(beforeStart, 258);
  beforeStart.PutCode(4, 5);
  beforeStart.Put(0, 1);
  PutFixedLiteral(beforeStart, 256);
  const Bytes zerosThenA{'a', 'b', 0, 0, 0, 'a'};

  const Bytes longText = TextData(400000, 21);  // slides the window several times
  const Bytes shortText = TextData(3000, 22);   // one dynamic block, no slide
  const Bytes shortRandom = RandomData(5000, 23);
  const Bytes shortFixed = TextData(2000, 24);
  struct TStep {
    Bytes stream;
    Bytes expected;
  };
  const std::vector<TStep> steps = {
      {ZlibDeflate(longText, 6), longText},
      {beforeStart.bytes, zerosThenA},
      {ZlibDeflate(shortText, 9), shortText},
      {beforeStart.bytes, zerosThenA},
      {ZlibDeflate(shortFixed, 6, Z_FIXED), shortFixed},
      {ZlibDeflate(shortRandom, 6), shortRandom},
      {ZlibDeflate(shortFixed, 1, Z_FIXED), shortFixed},
      {ZlibDeflate(longText, 1), longText},
      {ZlibDeflate(shortText, 6), shortText},
      {beforeStart.bytes, zerosThenA},
  };
  archive::TDecodeBuffers shared;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const TDecodeResult r = Decode(&Inflate, steps[i].stream, archive::kInputBlockBytes,
                                   std::numeric_limits<std::uint64_t>::max(), 8, 0, &shared);
    ASSERT_EQ(r.status, TDecodeStatus::Done) << "step " << i;
    EXPECT_TRUE(r.output == steps[i].expected) << "step " << i;
  }
}

TEST(InflateTest, CutOffStreamsStopWithoutHarm) {
  const Bytes input = TextData(100000, 5);
  const Bytes stream = ZlibDeflate(input, 6);
  for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{2}, stream.size() / 3,
                          stream.size() - 20, stream.size() - 1}) {
    Bytes shortStream(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
    TDecodeResult r = Decode(&Inflate, shortStream);
    EXPECT_FALSE(r.status == TDecodeStatus::Done && r.output == input) << "cut " << cut;
    EXPECT_LE(r.output.size(), input.size() + 258) << "cut " << cut;
  }
}

TEST(InflateTest, OutputLargerThanTheEntryEndsInTheDriver) {
  const Bytes input = TextData(400000, 8);
  EXPECT_THROW(Decode(&Inflate, ZlibDeflate(input, 6), 16000, 200000), TOutputTooLarge);
}

TEST(InflateTest, GarbageNeverCrashes) {
  std::mt19937 rng(77);
  for (int i = 0; i < 3000; ++i) {
    Bytes garbage = RandomData(1 + rng() % 600, static_cast<unsigned>(i));
    // Bias towards dynamic and fixed block headers so that the code paths past them run.
    garbage[0] = static_cast<std::uint8_t>((garbage[0] & ~6) | ((1 + i % 2) << 1));
    TDecodeResult r = Decode(&Inflate, garbage, 1 + rng() % 40, 1u << 20);
    (void)r;
  }
  SUCCEED() << "no sanitizer report and no exception";
}

TEST(InflateTest, FlippedBitsInValidStreamsNeverCrash) {
  const Bytes input = BinaryData(60000, 4);
  const Bytes stream = ZlibDeflate(input, 9);
  std::mt19937 rng(5);
  for (int i = 0; i < 400; ++i) {
    Bytes damaged = stream;
    for (int k = 0; k < 1 + i % 4; ++k) damaged[rng() % damaged.size()] ^= 1u << (rng() % 8);
    try {
      TDecodeResult r = Decode(&Inflate, damaged, 16000, input.size());
      if (r.status == TDecodeStatus::Done && r.output.size() == input.size()) {
        // Flips in unused bits may leave the data intact; otherwise the CRC tells.
        if (r.output != input) {
          EXPECT_NE(Crc32(r.output), Crc32(input));
        }
      }
    } catch (const TOutputTooLarge&) {
    }
  }
}

}  // namespace
