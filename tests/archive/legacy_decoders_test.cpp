// Protects the legacy decoders (Unshrink, Unreduce, Explode) and Inflate on archives that
// other programs wrote: every Shrink, Reduce 1-4, Implode (4K/2 and 8K/3) and Deflate entry of
// tests/data/legacy-zip must decode to its stored size and CRC-32, which MANIFEST.tsv also
// lists (checked by Info-ZIP unzip -t, and for Reduce by an independent decoder).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "archive/decoder.h"
#include "tests/archive/decode_support.h"
#include "tests/archive/legacy_zip_support.h"

namespace {

using namespace decode_test;
using archive::TDecodeStatus;

const std::string kLegacyDir = std::string(VARNHOLT_TESTDATA_DIR) + "/legacy-zip/";

struct TManifestLine {
  std::string archive;
  std::string entry;
  unsigned method;
  std::uint32_t crc;
  std::uint32_t size;
};

std::vector<TManifestLine> ReadManifest() {
  std::ifstream f(kLegacyDir + "MANIFEST.tsv");
  std::string line;
  std::getline(f, line);  // header
  std::vector<TManifestLine> lines;
  while (std::getline(f, line)) {
    std::vector<std::string> fields;
    std::stringstream ss(line);
    std::string field;
    while (std::getline(ss, field, '\t')) fields.push_back(field);
    if (fields.size() < 9) continue;
    lines.push_back({fields[0], fields[1], static_cast<unsigned>(std::stoul(fields[2])),
                     static_cast<std::uint32_t>(std::stoul(fields[8], nullptr, 16)),
                     static_cast<std::uint32_t>(std::stoul(fields[7]))});
  }
  return lines;
}

std::vector<std::string> Archives() {
  std::vector<std::string> names;
  for (const auto& line : ReadManifest()) {
    if (names.empty() || names.back() != line.archive) names.push_back(line.archive);
  }
  return names;
}

class LegacyArchiveTest : public ::testing::TestWithParam<std::string> {};

TEST_P(LegacyArchiveTest, EveryEntryMatchesItsCrcAndSize) {
  const std::string archive = GetParam();
  std::map<std::uint32_t, int> manifestMethods;  // per CRC, to cross-check the walk
  std::vector<TManifestLine> expected;
  for (const auto& line : ReadManifest()) {
    if (line.archive == archive) expected.push_back(line);
  }
  const std::vector<TRawEntry> entries = ReadRawEntries(kLegacyDir + archive);
  ASSERT_EQ(entries.size(), expected.size());
  int decoded = 0;
  int compressed = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TRawEntry& e = entries[i];
    ASSERT_EQ(e.method, expected[i].method) << e.name;
    ASSERT_EQ(e.crc, expected[i].crc) << e.name;
    ASSERT_EQ(e.uncompressedSize, expected[i].size) << e.name;
    const archive::TDecoderEntry* decoder = archive::FindDecoder(e.method);
    if (e.method == 0) continue;
    ++compressed;
    if (decoder == nullptr) continue;  // Deflate64, BZip2, LZMA
    TMemoryDriver driver(e.data);
    driver.uncompressedSize = e.uncompressedSize;
    driver.method = e.method;
    driver.flags = e.flags;
    const TDecodeStatus status = decoder->decode(driver);
    EXPECT_EQ(status, TDecodeStatus::Done) << archive << " " << e.name;
    EXPECT_EQ(driver.output.size(), e.uncompressedSize) << archive << " " << e.name;
    EXPECT_EQ(Crc32(driver.output), e.crc) << archive << " " << e.name << " method " << e.method;
    ++decoded;
  }
  if (compressed > 0) {
    EXPECT_GT(decoded, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(LegacyZip, LegacyArchiveTest, ::testing::ValuesIn(Archives()),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// Every method and variant must be covered by the archives above.
TEST(LegacyCoverageTest, ArchivesHoldEveryLegacyVariant) {
  std::map<std::string, int> seen;
  for (const auto& archive : Archives()) {
    for (const auto& e : ReadRawEntries(kLegacyDir + archive)) {
      if (e.method == 6) seen["implode flags " + std::to_string(e.flags & 6)]++;
      else seen["method " + std::to_string(e.method)]++;
    }
  }
  for (const char* key : {"method 1", "method 2", "method 3", "method 4", "method 5",
                          "implode flags 0", "implode flags 6", "method 8"}) {
    EXPECT_GT(seen[key], 0) << key;
  }
}

// Damaged legacy entries: every bit flip or cut must stop safely (the CRC rejects the rest).
TEST(LegacyDamageTest, DamagedEntriesNeverCrash) {
  std::mt19937 rng(11);
  for (const char* archive : {"zip-ada/many_formats.zip", "sharpcompress/Zip.implode.zip",
                              "commons-compress/SHRUNK.ZIP", "oldunzip/example-r.zip"}) {
    for (const TRawEntry& e : ReadRawEntries(kLegacyDir + archive)) {
      const archive::TDecoderEntry* decoder = archive::FindDecoder(e.method);
      if (decoder == nullptr) continue;
      for (int i = 0; i < 60; ++i) {
        Bytes damaged = e.data;
        if (i % 3 == 0) {
          damaged.resize(rng() % (damaged.size() + 1));
        } else {
          for (int k = 0; k < 1 + i % 5; ++k) damaged[rng() % damaged.size()] ^= 1u << (rng() % 8);
        }
        TMemoryDriver driver(damaged, 1 + rng() % 100);
        driver.uncompressedSize = e.uncompressedSize;
        driver.method = e.method;
        driver.flags = static_cast<std::uint16_t>(i % 7 == 0 ? rng() : e.flags);
        try {
          decoder->decode(driver);
        } catch (const TOutputTooLarge&) {
        }
        EXPECT_LE(driver.output.size(), e.uncompressedSize);
      }
    }
  }
}

}  // namespace
