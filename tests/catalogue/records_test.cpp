// Protects the on-disk layout of the three catalogue records. Files written by earlier
// runs must stay readable, so every field has to sit at its fixed offset, little-endian,
// with no padding. The expected bytes are written out by hand from the offset tables
// (Rpoject.vrn 321, Folder.vrn 372, Log.vrn 109 bytes), not derived from our constants.
#include "catalogue/records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/catalogue/catalogue_test_util.h"

namespace catalogue {
namespace {

using catalogue_test::Put;
using catalogue_test::PutText;

template <std::size_t N>
std::vector<std::uint8_t> AsVector(const std::array<std::uint8_t, N>& bytes) {
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

TEST(Records, ProjectRecordMatchesHandWrittenLayout) {
  TProjectRecord record;
  record.Id = 0x12345678;
  record.Live = true;
  record.Name = "Docs";
  record.StoreFolder = "/backup";
  record.Created = 45000.5;
  record.RaiseErrors = true;

  std::vector<std::uint8_t> expected(321, 0);
  Put(expected, 0, {0x78, 0x56, 0x34, 0x12});
  Put(expected, 4, {0x01});
  Put(expected, 5, {4});
  PutText(expected, 6, "Docs");
  Put(expected, 56, {7});
  PutText(expected, 57, "/backup");
  Put(expected, 312, {0x00, 0x00, 0x00, 0x00, 0x10, 0xf9, 0xe5, 0x40});  // 45000.5
  Put(expected, 320, {0x01});

  EXPECT_EQ(AsVector(EncodeProjectRecord(record)), expected);
}

TEST(Records, FolderRecordMatchesHandWrittenLayout) {
  TFolderRecord record;
  record.Live = true;
  record.OwnerId = -2;
  record.Path = "/home/u/Docs";
  record.Masks = "*.doc; *.txt; ";
  record.Include = false;
  record.Level = 9;
  record.LastStored = 46365.75;

  std::vector<std::uint8_t> expected(372, 0);
  Put(expected, 0, {0x01});
  Put(expected, 1, {0xfe, 0xff, 0xff, 0xff});
  Put(expected, 5, {12});
  PutText(expected, 6, "/home/u/Docs");
  Put(expected, 261, {14});
  PutText(expected, 262, "*.doc; *.txt; ");
  Put(expected, 362, {0x00});
  Put(expected, 363, {9});
  Put(expected, 364, {0x00, 0x00, 0x00, 0x00, 0xb8, 0xa3, 0xe6, 0x40});  // 46365.75

  EXPECT_EQ(AsVector(EncodeFolderRecord(record)), expected);
}

TEST(Records, LogRecordMatchesHandWrittenLayout) {
  TLogRecord record;
  record.Time = 46000.0;
  record.Text = "Process comleted!";

  std::vector<std::uint8_t> expected(109, 0);
  Put(expected, 0, {0x00, 0x00, 0x00, 0x00, 0x00, 0x76, 0xe6, 0x40});  // 46000.0
  Put(expected, 8, {17});
  PutText(expected, 9, "Process comleted!");

  EXPECT_EQ(AsVector(EncodeLogRecord(record)), expected);
}

// Records written by other programs may carry left-overs after a string's characters and
// any non-zero byte as true; neither may change what the record means.
TEST(Records, DecodingIgnoresLeftoversAndReadsAnyNonZeroByteAsTrue) {
  ProjectRecordBytes project;
  project.fill(0xAA);  // left-overs everywhere
  project[0] = 0x03;
  project[1] = 0x00;
  project[2] = 0x00;
  project[3] = 0x00;
  project[4] = 0x7F;
  project[5] = 2;
  project[6] = 'A';
  project[7] = 'B';
  project[56] = 0;
  const std::uint8_t one[8] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xf0, 0x3f};
  std::copy(std::begin(one), std::end(one), project.begin() + 312);
  project[320] = 0x80;

  const TProjectRecord decoded = DecodeProjectRecord(project);
  EXPECT_EQ(decoded.Id, 3);
  EXPECT_TRUE(decoded.Live);
  EXPECT_EQ(decoded.Name, "AB");
  EXPECT_EQ(decoded.StoreFolder, "");
  EXPECT_EQ(decoded.Created, 1.0);
  EXPECT_TRUE(decoded.RaiseErrors);
}

TEST(Records, FolderDecodingReadsEveryField) {
  std::vector<std::uint8_t> raw(372, 0x55);
  Put(raw, 0, {0x00});
  Put(raw, 1, {0x05, 0x01, 0x00, 0x00});  // 261
  Put(raw, 5, {3});
  PutText(raw, 6, "/ab");
  Put(raw, 261, {7});
  PutText(raw, 262, "*.txt; ");
  Put(raw, 362, {0x02});
  Put(raw, 363, {4});
  Put(raw, 364, {0x00, 0x00, 0x00, 0x00, 0x00, 0x76, 0xe6, 0x40});
  FolderRecordBytes bytes;
  std::copy(raw.begin(), raw.end(), bytes.begin());

  const TFolderRecord decoded = DecodeFolderRecord(bytes);
  EXPECT_FALSE(decoded.Live);
  EXPECT_EQ(decoded.OwnerId, 261);
  EXPECT_EQ(decoded.Path, "/ab");
  EXPECT_EQ(decoded.Masks, "*.txt; ");
  EXPECT_TRUE(decoded.Include);
  EXPECT_EQ(decoded.Level, 4);
  EXPECT_EQ(decoded.LastStored, 46000.0);
}

// A damaged length byte must not make a field reach into the next one.
TEST(Records, LengthByteBeyondCapacityIsReadAsCapacity) {
  LogRecordBytes bytes{};
  bytes[8] = 255;
  for (std::size_t i = 9; i < bytes.size(); ++i) bytes[i] = 'x';
  EXPECT_EQ(DecodeLogRecord(bytes).Text, std::string(100, 'x'));
}

// Capacities are in bytes of UTF-8, and a cut never splits a character.
TEST(Records, TextIsCutToCapacityOnACharacterBoundary) {
  TProjectRecord record;
  record.Name = std::string(49, 'a') + "\xC3\xA9";  // 49 + 2 bytes
  const ProjectRecordBytes bytes = EncodeProjectRecord(record);
  EXPECT_EQ(bytes[5], 49);
  EXPECT_EQ(bytes[5 + 50], 0);  // the half character is not written
  EXPECT_EQ(DecodeProjectRecord(bytes).Name, std::string(49, 'a'));
}

}  // namespace
}  // namespace catalogue
