// Protects extraction against archives built to hurt: names that leave the destination once
// the file system reads them (NUL bytes, ".", "..", absolute paths), entries whose data
// overlaps other entries (size bombs), local headers that disagree with the central
// directory, and symbolic links that point out of the destination. Every case is run the
// way vzip x extracts (stored directories recreated), the way the restore run does (bare
// names), and as vzip t tests; each checks that the entry was refused, that nothing was
// written outside the destination, and that a good file already there is untouched.
#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "archive/zip_errors.h"
#include "archive/zip_reader.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "tests/support/files.h"
#include "tests/archive/decode_support.h"
#include "tests/archive/zip_builder.h"

namespace {

using testsupport::ReadAll;
using testsupport::TempDir;
using ziptest::Bytes;
using ziptest::ToBytes;

const Bytes kOutsideText = ToBytes("outside: must never change\n");
const Bytes kKeepText = ToBytes("keep: a good file already in the destination\n");

// root/outside.txt, root/dest/keep.txt and the archive root/case.zip.
class HostileArchive {
 public:
  explicit HostileArchive(const Bytes& archive) {
    platform::CreateDirectory(dir_.File("dest"));
    testsupport::WriteAll(dir_.File("outside.txt"), kOutsideText);
    testsupport::WriteAll(dir_.File("dest/keep.txt"), kKeepText);
    testsupport::WriteAll(Archive(), archive);
  }
  std::string Archive() const { return dir_.File("case.zip"); }
  std::string Dest() const { return dir_.File("dest"); }
  std::string Root() const { return dir_.Path(); }

  // Nothing but the three files (and what the destination received) exists.
  void ExpectNothingHarmed() const {
    EXPECT_TRUE(ReadAll(dir_.File("outside.txt")) == kOutsideText);
    EXPECT_TRUE(ReadAll(dir_.File("dest/keep.txt")) == kKeepText);
    std::vector<platform::DirEntry> entries;
    platform::ListDirectory(dir_.Path(), entries);
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"case.zip", "dest", "outside.txt"}));
  }

 private:
  TempDir dir_;
};

enum class TRun { Extract, ExtractBare, Test };

struct TOutcome {
  int count = -1;              // UnZip's or TestZip's result
  std::vector<int> skipped;    // OnSkippingFile reasons
  int badCrc = 0;
  std::string error;           // an exception's text, when one ended the run
};

TOutcome RunArchive(const HostileArchive& fixture, TRun how) {
  TOutcome outcome;
  archive::TZipReader reader;
  reader.DoAll = true;
  reader.RecreateDirs = how != TRun::ExtractBare;
  reader.OverwriteMode = archive::TUZOverwriteMode::Always;
  reader.OnSkippingFile = [&](archive::TZipReader&, int reason, const std::string&, int) {
    outcome.skipped.push_back(reason);
  };
  reader.OnBadCRC = [&](archive::TZipReader&, std::uint32_t, std::uint32_t, int) {
    ++outcome.badCrc;
  };
  try {
    reader.SetZipName(fixture.Archive());
    reader.SetDestDir(fixture.Dest());
    reader.ReadZip();
    outcome.count = how == TRun::Test ? reader.TestZip() : reader.UnZip();
  } catch (const archive::EZipError& e) {
    outcome.error = e.what();
  }
  return outcome;
}

struct TNameCase {
  const char* label;
  std::string name;
};

class HostileNameTest : public ::testing::TestWithParam<TNameCase> {};

// A one-entry archive whose name must be refused by every run, while a good second entry
// is still extracted.
TEST_P(HostileNameTest, IsRefusedAndHarmsNothing) {
  const TNameCase& c = GetParam();
  ziptest::TEntry bad{.name = c.name, .data = ToBytes("evil bytes\n")};
  ziptest::TEntry good{.name = "fine.txt", .data = ToBytes("fine\n")};
  for (TRun how : {TRun::Extract, TRun::ExtractBare, TRun::Test}) {
    SCOPED_TRACE(static_cast<int>(how));
    HostileArchive fixture(ziptest::Build({bad, good}));
    const TOutcome outcome = RunArchive(fixture, how);
    fixture.ExpectNothingHarmed();
    // A name whose bare file name is harmless may be extracted under that bare name.
    const std::string bare = c.name.substr(c.name.rfind('/') + 1);
    const bool bareIsSafe = how == TRun::ExtractBare && bare != "." && bare != ".." &&
                            bare.find('\0') == std::string::npos && !bare.empty();
    if (bareIsSafe) {
      EXPECT_EQ(outcome.count, 2);
      EXPECT_TRUE(ReadAll(fixture.Dest() + "/" + bare) == ToBytes("evil bytes\n"));
      continue;
    }
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.count, 1);
    EXPECT_EQ(outcome.skipped, std::vector<int>{archive::TZipReader::kSkipUnsafePath});
    if (how != TRun::Test) {
      EXPECT_TRUE(ReadAll(fixture.Dest() + "/fine.txt") == ToBytes("fine\n"));
    }
  }
}

std::string WithNul(const std::string& before, const std::string& after) {
  return before + std::string(1, '\0') + after;
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileNameTest,
    ::testing::Values(TNameCase{"NulAfterDotDot", WithNul("..", "/outside.txt")},
                      TNameCase{"NulAfterDotDotDeeper", WithNul("a/..", "/../outside.txt")},
                      TNameCase{"NulInFileName", WithNul("..", "")},
                      TNameCase{"NulThenName", WithNul("keep.txt", "junk")},
                      TNameCase{"DotDot", "../outside.txt"},
                      TNameCase{"DotDotInside", "a/../../outside.txt"},
                      TNameCase{"Dot", "./dotted.txt"},
                      TNameCase{"DotDotAlone", ".."},
                      TNameCase{"Absolute", "/tmp/outside.txt"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace

namespace {

// Raw Deflate (no zlib header) of data, from zlib.
Bytes RawDeflate(const Bytes& data) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Runs the archive every way; each run must refuse the first entry with the reason, say
// why, extract the good second entry ("fine.txt"), and harm nothing.
void ExpectRefused(const Bytes& archive, int reason, const std::string& problemStart) {
  for (TRun how : {TRun::Extract, TRun::ExtractBare, TRun::Test}) {
    SCOPED_TRACE(static_cast<int>(how));
    HostileArchive fixture(archive);
    TOutcome outcome;
    archive::TZipReader reader;
    reader.DoAll = true;
    reader.RecreateDirs = how != TRun::ExtractBare;
    reader.OverwriteMode = archive::TUZOverwriteMode::Always;
    std::string problem;
    reader.OnSkippingFile = [&](archive::TZipReader& sender, int r, const std::string&, int) {
      outcome.skipped.push_back(r);
      problem = sender.LastProblem();
    };
    reader.OnBadCRC = [&](archive::TZipReader&, std::uint32_t, std::uint32_t, int) {
      ++outcome.badCrc;
    };
    reader.SetZipName(fixture.Archive());
    reader.SetDestDir(fixture.Dest());
    reader.ReadZip();
    outcome.count = how == TRun::Test ? reader.TestZip() : reader.UnZip();
    EXPECT_EQ(outcome.skipped, std::vector<int>{reason});
    EXPECT_EQ(outcome.badCrc, 0);
    EXPECT_EQ(problem.rfind(problemStart, 0), 0u) << problem;
    EXPECT_EQ(outcome.count, 1);
    fixture.ExpectNothingHarmed();
    if (how != TRun::Test) {
      EXPECT_TRUE(ReadAll(fixture.Dest() + "/fine.txt") == ToBytes("fine\n"));
      // The refused entry left no file behind (keep.txt and fine.txt only; a stored
      // directory may have been made).
      std::vector<platform::DirEntry> entries;
      platform::ListDirectory(fixture.Dest(), entries);
      EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                              [](const platform::DirEntry& e) { return e.info.isRegular; }),
                2);
    }
  }
}

const ziptest::TEntry kFine{.name = "fine.txt", .data = ToBytes("fine\n")};

// The overlap bomb in small: the first entry's data is the second entry's whole local
// record, so both pass their CRC checks while one record's bytes are extracted twice.
// Scaled up (many entries over one shared block), 57 KB claimed 3.36 GB.
TEST(HostileOverlapTest, DataRunningOverAnotherEntrysHeaderIsRefused) {
  const ziptest::TEntry inner{.name = "fine.txt", .data = ToBytes("fine\n")};
  const Bytes innerArchive = ziptest::Build({inner});
  const Bytes innerRecord(innerArchive.begin(), innerArchive.begin() + 30 + 8 + 5);
  const ziptest::TEntry outer{.name = "bomb.bin", .data = innerRecord};
  ziptest::TEntry pointer = inner;
  pointer.pointAt = 30 + 8;  // inside the first entry's data
  ExpectRefused(ziptest::Build({outer, pointer}), archive::TZipReader::kSkipOverlap,
                "data overlaps");
}

TEST(HostileOverlapTest, DataRunningIntoTheCentralDirectoryIsRefused) {
  ziptest::TEntry greedy{.name = "greedy.bin", .data = ToBytes("twelve bytes")};
  greedy.compressedSizeOverride = 12 + 100;  // reaches into the central directory
  greedy.localCompressedSize = 12 + 100;
  ExpectRefused(ziptest::Build({greedy, kFine}), archive::TZipReader::kSkipOverlap,
                "data overlaps");
}

struct TMismatchCase {
  const char* label;
  std::function<void(ziptest::TEntry&)> spoil;
};

class HostileHeaderTest : public ::testing::TestWithParam<TMismatchCase> {};

TEST_P(HostileHeaderTest, LocalHeaderThatDisagreesIsRefused) {
  ziptest::TEntry entry{.name = "entry.txt", .data = ToBytes("what the central record says\n")};
  GetParam().spoil(entry);
  ExpectRefused(ziptest::Build({entry, kFine}), archive::TZipReader::kSkipBadLocalHeader,
                "local header disagrees with the central directory");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, HostileHeaderTest,
    ::testing::Values(
        TMismatchCase{"Crc", [](ziptest::TEntry& e) { e.localCrc = 0x12345678; }},
        TMismatchCase{"Method", [](ziptest::TEntry& e) { e.localMethod = 8; }},
        TMismatchCase{"Size", [](ziptest::TEntry& e) { e.localSize = 7; }},
        TMismatchCase{"CompressedSize",
                      [](ziptest::TEntry& e) { e.localCompressedSize = 3; }},
        TMismatchCase{"Name", [](ziptest::TEntry& e) { e.localName = "other.txt"; }}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(HostileHeaderTest, ADataDescriptorExcusesZerosInTheLocalHeader) {
  ziptest::TEntry entry{.name = "streamed.txt", .data = ToBytes("sizes behind the data\n")};
  entry.flags = 0x0008;
  entry.localCrc = 0;
  entry.localSize = 0;
  entry.localCompressedSize = 0;
  HostileArchive fixture(ziptest::Build({entry, kFine}));
  const TOutcome outcome = RunArchive(fixture, TRun::Extract);
  EXPECT_EQ(outcome.count, 2);
  EXPECT_TRUE(ReadAll(fixture.Dest() + "/streamed.txt") == entry.data);
}

// A Deflate stream that gives far more than the entry declares: extraction stops at the
// declared size, writes nothing, and says "size mismatch".
TEST(HostileSizeTest, MoreDataThanDeclaredIsRefusedAsASizeMismatch) {
  const Bytes plenty(1 << 20, 'z');
  ziptest::TEntry bomb{.name = "keep.txt", .data = RawDeflate(plenty), .method = 8};
  bomb.crc = ziptest::Crc(plenty);
  bomb.size = 1000;
  ExpectRefused(ziptest::Build({bomb, kFine}), archive::TZipReader::kSkipSizeMismatch,
                "size mismatch");
}

// The CRC matches the bytes but the size does not: once reported as "bad CRC 7545ea13
// (should be 7545ea13)".
TEST(HostileSizeTest, ASizeMismatchWithAGoodCrcHasItsOwnMessage) {
  ziptest::TEntry shorter{.name = "short.txt", .data = ToBytes("fewer bytes than declared\n")};
  shorter.size = 40;
  ExpectRefused(ziptest::Build({shorter, kFine}), archive::TZipReader::kSkipSizeMismatch,
                "size mismatch: 26 bytes decoded, 40 declared");
}

// Without a central directory the reader walks the local headers; a Zip64 size near the
// 64-bit limit once overflowed the walk's offset arithmetic.
TEST(HostileSizeTest, ALocalZip64SizeNearTheLimitEndsTheHeaderWalk) {
  ziptest::TEntry huge{.name = "big.txt", .data = ToBytes("a little data\n")};
  huge.zip64Local = true;
  huge.localCompressedSize = 0x7FFFFFFFFFFFFFE0u;  // plus the 20 extra bytes: just below the limit
  const Bytes whole = ziptest::Build({huge});
  // The local record alone: header, name, Zip64 extra field and data.
  const Bytes localOnly(whole.begin(), whole.begin() + 30 + 7 + 20 + huge.data.size());
  HostileArchive fixture(localOnly);
  archive::TZipReader reader;
  reader.IncompleteZipMode = archive::TIncompleteZipMode::izAssumeBad;  // walk the local headers
  reader.SetZipName(fixture.Archive());
  reader.ReadZip();
  ASSERT_EQ(reader.Count(), 1);
  EXPECT_EQ(reader.Entry(0).CompressedSize, 0x7FFFFFFFFFFFFFE0u);
  int tested = -1;
  try {
    tested = reader.TestZip();
  } catch (const archive::EZipError&) {
    // refusing the whole archive is as good as refusing the entry
  }
  EXPECT_NE(tested, 1) << "an entry whose data runs past the file passed the test";
  fixture.ExpectNothingHarmed();
}

// Invalid Deflate data is its own outcome, not a CRC error.
TEST(HostileDataTest, InvalidCompressedDataIsReportedAsSuch) {
  ziptest::TEntry broken{.name = "broken.txt", .data = {0xFF, 0xFF, 0xFF, 0xFF}, .method = 8};
  broken.crc = 0x11111111;
  broken.size = 100;
  ExpectRefused(ziptest::Build({broken, kFine}), archive::TZipReader::kSkipBadData,
                "invalid compressed data");
}

// A back reference to before an entry's start could show what the entries before it left
// in the reader's window: it reads zeros, after a stored entry and after one long enough to
// slide the window alike.
TEST(HostileDataTest, AReferenceBeforeTheStartShowsNothingOfEarlierEntries) {
  decode_test::TBitWriter w;  // fixed codes: 'a', 'b', then 4 bytes from 5 back, end
  w.Put(1, 1);
  w.Put(1, 2);
  w.PutCode(0x30 + 'a', 8);
  w.PutCode(0x30 + 'b', 8);
  w.PutCode(258 - 256, 7);
  w.PutCode(4, 5);
  w.Put(0, 1);
  w.PutCode(0, 7);
  const Bytes peek{'a', 'b', 0, 0, 0, 'a'};
  const Bytes longText = decode_test::TextData(300000, 31);
  const Bytes secret = decode_test::RandomData(20000, 32);
  auto peeking = [&](const std::string& name) {
    return ziptest::TEntry{.name = name, .data = w.bytes, .method = 8,
                           .crc = ziptest::Crc(peek), .size = peek.size()};
  };
  HostileArchive fixture(ziptest::Build({
      {.name = "long.txt", .data = decode_test::ZlibDeflate(longText, 6), .method = 8,
       .crc = ziptest::Crc(longText), .size = longText.size()},
      peeking("after-long.bin"),
      {.name = "secret.bin", .data = secret},
      peeking("after-stored.bin"),
  }));
  const TOutcome outcome = RunArchive(fixture, TRun::Extract);
  EXPECT_EQ(outcome.error, "");
  EXPECT_EQ(outcome.count, 4);
  EXPECT_TRUE(ReadAll(fixture.Dest() + "/after-long.bin") == peek);
  EXPECT_TRUE(ReadAll(fixture.Dest() + "/after-stored.bin") == peek);
  EXPECT_TRUE(ReadAll(fixture.Dest() + "/secret.bin") == secret);
}

}  // namespace

namespace {

ziptest::TEntry Link(const std::string& name, const std::string& target) {
  return {.name = name, .data = ToBytes(target), .versionMadeBy = 0x031e,
          .externalAttributes = 0120777u << 16};
}

std::string ReadLink(const std::string& path) {
  char buffer[4096];
  const ssize_t got = readlink(path.c_str(), buffer, sizeof buffer);
  return got < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(got));
}

// A symlink entry once became a regular file of mode 0777 holding the target's text.
TEST(SymlinkTest, ALinkInsideTheDestinationIsRestoredAsALink) {
  HostileArchive fixture(ziptest::Build(
      {kFine, Link("to-fine", "fine.txt"), Link("sub/up", "../fine.txt")}));
  const TOutcome outcome = RunArchive(fixture, TRun::Extract);
  EXPECT_EQ(outcome.count, 3);
  EXPECT_EQ(ReadLink(fixture.Dest() + "/to-fine"), "fine.txt");
  EXPECT_EQ(ReadLink(fixture.Dest() + "/sub/up"), "../fine.txt");
  EXPECT_TRUE(ReadAll(fixture.Dest() + "/sub/up") == ToBytes("fine\n"));
  fixture.ExpectNothingHarmed();
}

struct TLinkCase {
  const char* label;
  const char* name;
  const char* target;
};

class UnsafeSymlinkTest : public ::testing::TestWithParam<TLinkCase> {};

TEST_P(UnsafeSymlinkTest, IsRefused) {
  const TLinkCase& c = GetParam();
  ExpectRefused(ziptest::Build({Link(c.name, c.target), kFine}),
                archive::TZipReader::kSkipUnsafeLink, "link target");
}

INSTANTIATE_TEST_SUITE_P(
    Targets, UnsafeSymlinkTest,
    ::testing::Values(TLinkCase{"Parent", "link", "../outside.txt"},
                      TLinkCase{"TooManyParents", "sub/link", "../../outside.txt"},
                      TLinkCase{"Absolute", "link", "/etc/passwd"},
                      TLinkCase{"ParentAfterAName", "sub/link", "x/../../outside.txt"},
                      TLinkCase{"Empty", "link", ""}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
