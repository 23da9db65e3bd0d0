// Protects the legacy decoders on what no archive of another program holds: the Implode
// variants 8K/2 trees and 4K/3 trees, matches reaching before the start of the data (Implode,
// Reduce), the 200,000-byte threshold of Implode's distance table, and Shrink's control codes
// 256-1 and 256-2. Small encoders here write those streams; Info-ZIP unzip -t checks each
// archive first (the independent oracle), then our decoders must give the same bytes.
// Reduce has no such oracle here (Debian's unzip lacks it), so its stream is a hand-made
// byte layout with the expected output worked out by hand.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <queue>
#include <random>

#include "archive/decoder.h"
#include "tests/archive/decode_support.h"
#include "tests/archive/zip_builder.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using namespace decode_test;
using archive::TDecodeStatus;

// A one-entry archive around ready-made compressed data (application note, 4.3.7 and 4.3.12).
Bytes MakeZip(const std::string& name, std::uint16_t method, std::uint16_t flags,
              const Bytes& data, const Bytes& plain) {
  return ziptest::Build({{.name = name, .data = data, .method = method, .crc = Crc32(plain),
                          .size = plain.size(), .flags = flags}});
}

// Info-ZIP's verdict on a one-entry archive. With unusedTail, compressed bytes left after
// the last code are allowed: unzip then warns ("... bytes required to uncompress") but
// still checks the data and says OK.
bool UnzipAccepts(const Bytes& zip, bool unusedTail = false) {
  testsupport::TempDir dir;
  testsupport::WriteAll(dir.File("t.zip"), zip);
  std::string output;
  const int status =
      testsupport::Shell("unzip -t " + testsupport::Quote(dir.File("t.zip")) + " 2>&1", &output);
  if (status == 0) return true;
  return unusedTail && status == 1 && output.find("bytes required to uncompress") != std::string::npos &&
         output.find(" OK") != std::string::npos && output.find("bad CRC") == std::string::npos;
}

// ---- Implode ----------------------------------------------------------------------------

struct TToken {
  bool literal;
  std::uint8_t byte;
  unsigned length;
  unsigned distance;
};

// Tree lengths given explicitly: uniform 8-bit literals, and for lengths and distances a
// deep complete code (1, 2, ..., 8 bits, then 8 codes of 13 and 48 of 14 bits), so that
// subtables are used whatever the first-level bits.
std::vector<std::uint8_t> DeepLengths() {
  std::vector<std::uint8_t> l;
  for (unsigned i = 1; i <= 8; ++i) l.push_back(static_cast<std::uint8_t>(i));
  l.insert(l.end(), 8, 13);
  l.insert(l.end(), 48, 14);
  return l;
}

void PutTree(TBitWriter& w, const std::vector<std::uint8_t>& lengths) {
  Bytes runs;
  for (std::size_t i = 0; i < lengths.size();) {
    std::size_t n = 1;
    while (i + n < lengths.size() && lengths[i + n] == lengths[i] && n < 16) ++n;
    runs.push_back(static_cast<std::uint8_t>(((n - 1) << 4) | (lengths[i] - 1)));
    i += n;
  }
  w.Put(static_cast<std::uint32_t>(runs.size() - 1), 8);
  for (auto b : runs) w.Put(b, 8);
}

// Implode codes are canonical codes sent most significant bit first with every bit inverted.
void PutInverted(TBitWriter& w, const std::vector<std::uint32_t>& codes,
                 const std::vector<std::uint8_t>& lengths, unsigned symbol) {
  w.PutCode(~codes[symbol] & ((1u << lengths[symbol]) - 1), lengths[symbol]);
}

Bytes Implode(const std::vector<TToken>& tokens, std::uint16_t flags) {
  const bool threeTrees = flags & 4;
  const unsigned lowBits = (flags & 2) ? 7 : 6;
  const unsigned minMatch = threeTrees ? 3 : 2;
  const std::vector<std::uint8_t> literalLengths(256, 8);
  const std::vector<std::uint8_t> deep = DeepLengths();
  const auto literalCodes = CanonicalCodes(literalLengths);
  const auto deepCodes = CanonicalCodes(deep);
  TBitWriter w;
  if (threeTrees) PutTree(w, literalLengths);
  PutTree(w, deep);  // lengths
  PutTree(w, deep);  // distances
  for (const TToken& t : tokens) {
    if (t.literal) {
      w.Put(1, 1);
      if (threeTrees) PutInverted(w, literalCodes, literalLengths, t.byte);
      else w.Put(t.byte, 8);
      continue;
    }
    w.Put(0, 1);
    const unsigned d = t.distance - 1;
    w.Put(d & ((1u << lowBits) - 1), lowBits);
    PutInverted(w, deepCodes, deep, d >> lowBits);
    const unsigned code = t.length - minMatch;
    if (code >= 63) {
      PutInverted(w, deepCodes, deep, 63);
      w.Put(code - 63, 8);
    } else {
      PutInverted(w, deepCodes, deep, code);
    }
  }
  return w.bytes;
}

// Greedy tokens for data, plus what the tokens produce (the expected output).
std::vector<TToken> Tokenize(const Bytes& data, std::uint16_t flags) {
  const unsigned window = (flags & 2) ? 8192 : 4096;
  const unsigned minMatch = (flags & 4) ? 3 : 2;
  const unsigned maxMatch = minMatch + 63 + 255;
  std::vector<TToken> tokens;
  for (std::size_t i = 0; i < data.size();) {
    unsigned bestLength = 0, bestDistance = 0;
    for (unsigned d = 1; d <= window && d <= i; d += (d < 64 ? 1 : 37)) {
      unsigned n = 0;
      while (i + n < data.size() && n < maxMatch && data[i + n] == data[i + n - d]) ++n;
      if (n > bestLength) {
        bestLength = n;
        bestDistance = d;
      }
    }
    if (bestLength >= minMatch) {
      tokens.push_back({false, 0, bestLength, bestDistance});
      i += bestLength;
    } else {
      tokens.push_back({true, data[i], 0, 0});
      ++i;
    }
  }
  return tokens;
}

TDecodeResult Explode(const Bytes& stream, std::size_t size, std::uint16_t flags) {
  return Decode(&archive::Explode, stream, 97, size, 6, flags);
}

class ImplodeVariantTest : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(ImplodeVariantTest, OurEncodingPassesUnzipAndDecodes) {
  const std::uint16_t flags = GetParam();
  const Bytes data = TextData(30000, flags);
  const Bytes stream = Implode(Tokenize(data, flags), flags);
  ASSERT_TRUE(UnzipAccepts(MakeZip("v.txt", 6, flags, stream, data))) << "flags " << flags;
  TDecodeResult r = Explode(stream, data.size(), flags);
  EXPECT_EQ(r.status, TDecodeStatus::Done);
  EXPECT_TRUE(r.output == data);
}

TEST_P(ImplodeVariantTest, MatchBeforeTheStartYieldsZeros) {
  const std::uint16_t flags = GetParam();
  const unsigned minMatch = (flags & 4) ? 3 : 2;
  // "ab", then a match of minMatch + 3 at distance 4: two bytes before the start.
  std::vector<TToken> tokens = {{true, 'a', 0, 0}, {true, 'b', 0, 0}, {false, 0, minMatch + 3, 4}};
  Bytes expected = {'a', 'b', 0, 0, 'a', 'b'};
  while (expected.size() < 2 + minMatch + 3) expected.push_back(expected[expected.size() - 4]);
  const Bytes stream = Implode(tokens, flags);
  ASSERT_TRUE(UnzipAccepts(MakeZip("z.bin", 6, flags, stream, expected)));
  TDecodeResult r = Explode(stream, expected.size(), flags);
  EXPECT_EQ(r.output, expected);
}

INSTANTIATE_TEST_SUITE_P(AllFour, ImplodeVariantTest, ::testing::Values(0, 2, 4, 6));

TEST(ImplodeThresholdTest, EntriesJustBelowAndAboveTwoHundredThousandBytes) {
  const std::uint16_t flags = 6;
  Bytes data = RandomData(177000, 21);
  // A few matches first, so the distance and length trees are used.
  for (int i = 0; i < 3000; ++i) data[1000 + i] = data[i % 500];
  Bytes stream = Implode(Tokenize(data, flags), flags);
  ASSERT_LT(stream.size(), 200000u);
  for (std::size_t size : {std::size_t{200000}, std::size_t{200001}}) {
    Bytes padded = stream;
    padded.resize(size, 0);  // bytes after the last code are never read
    ASSERT_TRUE(UnzipAccepts(MakeZip("big.bin", 6, flags, padded, data), true)) << size;
    TDecodeResult r = Explode(padded, data.size(), flags);
    EXPECT_EQ(r.status, TDecodeStatus::Done) << size;
    EXPECT_TRUE(r.output == data) << size;
  }
}

// ---- Shrink -------------------------------------------------------------------------------

TEST(ShrinkControlCodesTest, WiderCodesAndPartialClear) {
  // Codes (9 bits until 256-1, then 10): A B 257 | 256 1 | 258 | 256 2 | C D 259 257
  //   A          "A"
  //   B          "B"    defines 257 = "AB"
  //   257        "AB"   defines 258 = "BA"
  //   256 1      codes widen to 10 bits
  //   258        "BA"   defines 259 = "ABB"
  //   256 2      partial clear: 258 and 259 have no children and become free; 257 stays
  //   C          "C"    defines the lowest free code, 258, from the previous code
  //   D          "D"    defines 259 = "CD"
  //   259        "CD"   defines 260 = "DC"
  //   257        "AB"
  TBitWriter w;
  for (unsigned code : {65u, 66u, 257u, 256u, 1u}) w.Put(code, 9);
  for (unsigned code : {258u, 256u, 2u, 67u, 68u, 259u, 257u}) w.Put(code, 10);
  const std::string text = "ABABBACDCDAB";
  const Bytes expected(text.begin(), text.end());
  ASSERT_TRUE(UnzipAccepts(MakeZip("s.txt", 1, 0, w.bytes, expected)));
  TDecodeResult r = Decode(&archive::Unshrink, w.bytes, 3, expected.size(), 1);
  EXPECT_EQ(r.status, TDecodeStatus::Done);
  EXPECT_EQ(std::string(r.output.begin(), r.output.end()), text);
}

// A Shrink encoder: LZW over the same dictionary as Unshrink, 9-bit codes widened by 256-1
// whenever a code needs it, and a partial clear (256-2) after the first code sent at or after
// each offset of clearAt that is a literal or some code's prefix (a code that survives the
// clear, so that the entry still to be defined from it never hangs from a freed code).
//
// A partial clear can be read two ways. BelowNextFree looks only at the codes below the next
// free code and frees each that is no other such code's prefix: what Unshrink and Info-ZIP
// unzip do. AllLeaves frees every code in use that is no other code's prefix. They differ
// once codes that survived an earlier clear sit above the next free code, that is at a
// second clear before the refill has passed them.
enum class ClearRule { BelowNextFree, AllLeaves };

class TShrinkEncoder {
 public:
  explicit TShrinkEncoder(ClearRule rule) : rule_(rule) {
    std::fill(prefix_.begin(), prefix_.end(), kFree);
  }

  Bytes Encode(const Bytes& data, const std::vector<std::size_t>& clearAt) {
    std::size_t nextClear = 0;
    unsigned w = data[0];
    for (std::size_t i = 1; i < data.size(); ++i) {
      const std::uint8_t c = data[i];
      const auto found = codes_.find(Key(w, c));
      if (found != codes_.end()) {
        w = found->second;
        continue;
      }
      Send(w);
      if (nextClear < clearAt.size() && i >= clearAt[nextClear] && Survives(w)) {
        Send(256);
        Send(2);
        PartialClear();
        ++nextClear;
      }
      Define(w, c);
      w = c;
    }
    Send(w);
    return out_.bytes;
  }

  int clears = 0;
  int inUseAboveNextFree = 0;  // at the last clear

 private:
  static constexpr unsigned kLimit = 8192;
  static constexpr int kFree = -1;
  static unsigned Key(unsigned prefix, std::uint8_t c) { return prefix << 8 | c; }

  void Send(unsigned code) {
    if (code >= (1u << bits_)) {
      out_.Put(256, bits_);
      out_.Put(1, bits_);
      ++bits_;
    }
    out_.Put(code, bits_);
  }
  void Define(unsigned w, std::uint8_t c) {
    if (nextFree_ >= kLimit) return;
    prefix_[nextFree_] = static_cast<int>(w);
    suffix_[nextFree_] = c;
    codes_[Key(w, c)] = nextFree_;
    while (nextFree_ < kLimit && prefix_[nextFree_] != kFree) ++nextFree_;
  }
  unsigned ClearEnd() const { return rule_ == ClearRule::AllLeaves ? kLimit : nextFree_; }
  bool Survives(unsigned w) const {
    if (w < 256) return true;
    for (unsigned code = 257; code < ClearEnd(); ++code) {
      if (prefix_[code] == static_cast<int>(w)) return true;
    }
    return false;
  }
  void PartialClear() {
    ++clears;
    // Where the rules differ: codes in use above the next free code at this clear.
    inUseAboveNextFree = 0;
    for (unsigned code = nextFree_ + 1; code < kLimit; ++code) {
      if (prefix_[code] != kFree) ++inUseAboveNextFree;
    }
    const unsigned end = ClearEnd();
    std::vector<bool> isPrefix(kLimit, false);
    for (unsigned code = 257; code < end; ++code) {
      if (prefix_[code] >= 257) isPrefix[static_cast<unsigned>(prefix_[code])] = true;
    }
    for (unsigned code = 257; code < end; ++code) {
      if (prefix_[code] == kFree || isPrefix[code]) continue;
      codes_.erase(Key(static_cast<unsigned>(prefix_[code]), suffix_[code]));
      prefix_[code] = kFree;
    }
    nextFree_ = 257;
    while (nextFree_ < kLimit && prefix_[nextFree_] != kFree) ++nextFree_;
  }

  ClearRule rule_;
  std::array<int, kLimit> prefix_;
  std::array<std::uint8_t, kLimit> suffix_{};
  std::map<unsigned, unsigned> codes_;
  unsigned nextFree_ = 257;
  unsigned bits_ = 9;
  TBitWriter out_;
};

// Pins the partial clear to the codes below the next free code. The archive has two partial
// clears, and at the second one codes that survived the first sit above the next free code,
// so freeing every leaf among all codes in use would build another dictionary. Info-ZIP
// unzip, the oracle, accepts the stream made by the rule Unshrink follows and rejects the one
// made by the other; Unshrink must decode the first exactly and the second wrongly.
TEST(ShrinkControlCodesTest, SecondPartialClearLooksOnlyBelowTheNextFreeCode) {
  std::mt19937 rng(16);
  Bytes data;
  const std::string words[] = {"alpha ", "beta ", "gamma ", "delta ", "alphabet ", "betamax "};
  while (data.size() < 3000) {
    const std::string& word = words[rng() % 6];
    data.insert(data.end(), word.begin(), word.end());
  }
  const std::vector<std::size_t> clearAt = {1200, 1500};

  TShrinkEncoder belowNextFree(ClearRule::BelowNextFree);
  const Bytes stream = belowNextFree.Encode(data, clearAt);
  ASSERT_EQ(belowNextFree.clears, 2);
  ASSERT_GT(belowNextFree.inUseAboveNextFree, 0) << "the rules do not differ on this input";
  TShrinkEncoder allLeaves(ClearRule::AllLeaves);
  const Bytes otherStream = allLeaves.Encode(data, clearAt);
  ASSERT_EQ(allLeaves.clears, 2);
  ASSERT_NE(stream, otherStream);

  EXPECT_TRUE(UnzipAccepts(MakeZip("clears.txt", 1, 0, stream, data)));
  EXPECT_FALSE(UnzipAccepts(MakeZip("clears.txt", 1, 0, otherStream, data)));

  TDecodeResult r = Decode(&archive::Unshrink, stream, 16000, data.size(), 1);
  EXPECT_EQ(r.status, TDecodeStatus::Done);
  EXPECT_TRUE(r.output == data);
  TDecodeResult other = Decode(&archive::Unshrink, otherStream, 16000, data.size(), 1);
  EXPECT_FALSE(other.output == data);
}

TEST(ShrinkControlCodesTest, CodeWiderThanThirteenBitsStops) {
  TBitWriter w;
  w.Put(65, 9);
  unsigned bits = 9;
  for (int i = 0; i < 5; ++i) {
    w.Put(256, bits);
    w.Put(1, bits);
    ++bits;
  }
  w.Put(66, bits);
  TDecodeResult r = Decode(&archive::Unshrink, w.bytes, 16000, 100, 1);
  EXPECT_EQ(r.status, TDecodeStatus::BadData);
}

// ---- Reduce -------------------------------------------------------------------------------

// Empty follower sets (256 six-bit zero counts), then 8-bit bytes straight through.
Bytes ReduceStream(const Bytes& bytes) {
  TBitWriter w;
  for (int i = 0; i < 256; ++i) w.Put(0, 6);
  for (auto b : bytes) w.Put(b, 8);
  return w.bytes;
}

TEST(ReduceTest, MatchBeforeTheStartYieldsZeros) {
  // Factor 1 (method 2): 144 V D is a match of (V & 0x7F) + 3 bytes at distance
  // ((V >> 7) & 1) * 256 + D + 1. "xy", then V = 2 (length 5), D = 3 (distance 4):
  // two bytes before the start (zeros), then "xy", then the first zero again.
  const Bytes stream = ReduceStream({'x', 'y', 144, 2, 3});
  TDecodeResult r = Decode(&archive::Unreduce, stream, 16000, 7, 2);
  EXPECT_EQ(r.output, (Bytes{'x', 'y', 0, 0, 'x', 'y', 0}));
}

TEST(ReduceTest, EscapedMarkerAndLongMatchForEveryFactor) {
  for (std::uint16_t method = 2; method <= 5; ++method) {
    const unsigned factor = method - 1;
    const unsigned lengthMask = 0xFFu >> factor;
    // "ab", a literal 144 (144 0), then a match with the full length mask extended by 10:
    // length mask + 10 + 3 at distance 3 (high distance bits 0, D = 2).
    const Bytes stream =
        ReduceStream({'a', 'b', 144, 0, 144, static_cast<std::uint8_t>(lengthMask), 10, 2});
    Bytes expected = {'a', 'b', 144};
    const std::size_t length = lengthMask + 10 + 3;
    for (std::size_t i = 0; i < length; ++i) expected.push_back(expected[expected.size() - 3]);
    TDecodeResult r = Decode(&archive::Unreduce, stream, 16000, expected.size(), method);
    EXPECT_EQ(r.output, expected) << "factor " << factor;
  }
}

}  // namespace
