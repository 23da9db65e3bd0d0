// Protects the CRC-32 that every stored and restored file is checked with: each path (table,
// PCLMULQDQ, VPCLMULQDQ) must give zlib's crc32 for every length, alignment and split of
// the data, since a wrong CRC makes every restore fail or lets damaged data through.
#include "archive/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace {

using UpdateFn = std::uint32_t (*)(std::uint32_t, const void*, std::size_t);

std::vector<unsigned char> RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<unsigned char> bytes(size);
  for (auto& b : bytes) b = static_cast<unsigned char>(random());
  return bytes;
}

std::uint32_t Zlib(const unsigned char* data, std::size_t size) {
  return static_cast<std::uint32_t>(crc32(0, data, static_cast<uInt>(size)));
}

class Crc32PathTest : public ::testing::TestWithParam<UpdateFn> {};

TEST_P(Crc32PathTest, MatchesZlibForManyLengthsAndAlignments) {
  const UpdateFn update = GetParam();
  const auto bytes = RandomBytes(70000, 1);
  const std::size_t lengths[] = {0,    1,    2,    3,     7,     8,     15,   16,   17,
                                 31,   32,   63,   64,    65,    127,   128,  129,  255,
                                 256,  257,  300,  511,   512,   1000,  1023, 1024, 4095,
                                 4096, 4097, 8191, 16384, 65535, 65536, 69990};
  for (std::size_t offset = 0; offset < 8; ++offset) {
    for (std::size_t length : lengths) {
      const unsigned char* p = bytes.data() + offset;
      EXPECT_EQ(~update(0xFFFFFFFFu, p, length), Zlib(p, length))
          << "offset " << offset << " length " << length;
    }
  }
}

TEST_P(Crc32PathTest, AnySplitOfTheDataGivesTheSameRegister) {
  const UpdateFn update = GetParam();
  const auto bytes = RandomBytes(5000, 2);
  const std::uint32_t whole = Zlib(bytes.data(), bytes.size());
  for (std::size_t cut : {1u, 3u, 64u, 255u, 256u, 1000u, 4999u}) {
    std::uint32_t crc = update(0xFFFFFFFFu, bytes.data(), cut);
    crc = update(crc, bytes.data() + cut, bytes.size() - cut);
    EXPECT_EQ(~crc, whole) << "cut at " << cut;
  }
}

TEST_P(Crc32PathTest, AllZeroAndAllOnesBuffers) {
  const UpdateFn update = GetParam();
  for (unsigned char fill : {0x00, 0xFF}) {
    std::vector<unsigned char> bytes(3000, fill);
    EXPECT_EQ(~update(0xFFFFFFFFu, bytes.data(), bytes.size()), Zlib(bytes.data(), bytes.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, Crc32PathTest,
                         ::testing::Values(&archive::crc32_detail::UpdateSliceBy8,
                                           &archive::crc32_detail::UpdatePclmul,
                                           &archive::crc32_detail::UpdateVpclmul256,
                                           &archive::crc32_detail::UpdateVpclmul,
                                           &archive::UpdateCrc32));

TEST(Crc32Test, CheckValueOfTheApplicationNote) {
  // The standard check value: CRC-32 of the ASCII digits "123456789".
  EXPECT_EQ(archive::Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(archive::Crc32("", 0), 0u);
}

TEST(Crc32Test, RandomBuffersAgainstZlib) {
  std::mt19937 random(3);
  for (int round = 0; round < 200; ++round) {
    const std::size_t size = random() % 3000;
    const auto bytes = RandomBytes(size + 16, static_cast<unsigned>(round) + 100);
    const std::size_t offset = random() % 16;
    EXPECT_EQ(archive::Crc32(bytes.data() + offset, size), Zlib(bytes.data() + offset, size));
  }
}

}  // namespace
