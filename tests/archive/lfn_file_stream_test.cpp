// Protects the buffered stream every archive and source file goes through: reads of any size
// (1, 7, 31 bytes, across the buffer's edge) return the file's bytes in order,
// writes mixed with seeks land where they were aimed, nothing is lost on destruction, and
// the stream's error texts are the ones callers show.
#include "archive/lfn_file_stream.h"

#include <gtest/gtest.h>

#include <random>

#include "archive/zip_errors.h"
#include "tests/support/files.h"

namespace {

using testsupport::ReadAll;
using testsupport::TempDir;
using testsupport::WriteAll;

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::mt19937 random(42);
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

class StreamChunkTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(StreamChunkTest, SmallReadsReturnTheFileInOrder) {
  TempDir dir;
  const auto expected = Pattern(3 * archive::TLFNFileStream::kBufferSize + 123);
  WriteAll(dir.File("in.bin"), expected);
  archive::TLFNFileStream stream(dir.File("in.bin"), archive::TLFNFileMode::OpenRead);
  std::vector<std::uint8_t> got;
  std::vector<std::uint8_t> chunk(GetParam());
  for (;;) {
    const std::size_t n = stream.Read(chunk.data(), chunk.size());
    got.insert(got.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    if (n < chunk.size()) break;
  }
  EXPECT_EQ(got, expected);
  EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(expected.size()));
  EXPECT_EQ(stream.Read(chunk.data(), chunk.size()), 0u);
}

TEST_P(StreamChunkTest, SmallWritesReachTheFileOnDestruction) {
  TempDir dir;
  const auto data = Pattern(2 * archive::TLFNFileStream::kBufferSize + 777);
  {
    archive::TLFNFileStream stream(dir.File("out.bin"), archive::TLFNFileMode::Create);
    for (std::size_t at = 0; at < data.size(); at += GetParam())
      stream.Write(data.data() + at, std::min(GetParam(), data.size() - at));
    EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(data.size()));
  }
  EXPECT_EQ(ReadAll(dir.File("out.bin")), data);
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, StreamChunkTest,
                         ::testing::Values(1, 7, 31, archive::TLFNFileStream::kBufferSize,
                                           archive::TLFNFileStream::kBufferSize + 1808));

// Streams made one after another with a pool share their buffers (as a reader's archives
// and extracted files do): each stream still reads and writes only its own file's bytes,
// whatever a longer file before it left in the buffer, and patches inside its own bytes.
TEST(LfnFileStreamTest, StreamsSharingAPoolKeepTheirFilesApart) {
  TempDir dir;
  archive::TStreamBufferPool pool;
  const auto longer = Pattern(archive::TLFNFileStream::kBufferSize - 5);
  const std::vector<std::uint8_t> shorter{'s', 'h', 'o', 'r', 't'};
  WriteAll(dir.File("long.bin"), longer);
  WriteAll(dir.File("short.bin"), shorter);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::uint8_t> got(longer.size() + 10);
    {
      archive::TLFNFileStream in(dir.File("long.bin"), archive::TLFNFileMode::OpenRead, &pool);
      ASSERT_EQ(in.Read(got.data(), got.size()), longer.size());
      got.resize(longer.size());
      EXPECT_EQ(got, longer);
    }
    {
      archive::TLFNFileStream in(dir.File("short.bin"), archive::TLFNFileMode::OpenRead, &pool);
      got.assign(10, 0);
      ASSERT_EQ(in.Read(got.data(), got.size()), shorter.size());
      got.resize(shorter.size());
      EXPECT_EQ(got, shorter);
      // A second stream open at the same time gets a buffer of its own.
      archive::TLFNFileStream out(dir.File("copy.bin"), archive::TLFNFileMode::Create, &pool);
      out.Write(longer.data(), longer.size());
      EXPECT_EQ(in.Seek(1, archive::TSeekOrigin::soBeginning), 1);
      std::uint8_t byte = 0;
      ASSERT_EQ(in.Read(&byte, 1), 1u);
      EXPECT_EQ(byte, 'h');
    }
    EXPECT_EQ(ReadAll(dir.File("copy.bin")), longer);
    {
      archive::TLFNFileStream out(dir.File("new.bin"), archive::TLFNFileMode::Create, &pool);
      out.Write(shorter.data(), shorter.size());
      out.Seek(8, archive::TSeekOrigin::soBeginning);  // a gap the file system fills with zeros
      out.Write(shorter.data(), 2);
    }
    EXPECT_EQ(ReadAll(dir.File("new.bin")),
              (std::vector<std::uint8_t>{'s', 'h', 'o', 'r', 't', 0, 0, 0, 's', 'h'}));
  }
}

TEST(LfnFileStreamTest, SeekBackAndRewriteLikeAHeaderPatch) {
  TempDir dir;
  {
    archive::TLFNFileStream stream(dir.File("patch.bin"), archive::TLFNFileMode::Create);
    stream.Write("AAAA", 4);
    stream.Write(std::string(9000, 'x').data(), 9000);
    const std::int64_t end = stream.Position();
    stream.Seek(0, archive::TSeekOrigin::soBeginning);
    stream.Write("BBBB", 4);
    stream.Seek(end, archive::TSeekOrigin::soBeginning);
    stream.Write("END", 3);
  }
  const auto bytes = ReadAll(dir.File("patch.bin"));
  ASSERT_EQ(bytes.size(), 9007u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "BBBB");
  EXPECT_EQ(std::string(bytes.end() - 3, bytes.end()), "END");
}

TEST(LfnFileStreamTest, PatchInsideTheUnwrittenBufferKeepsEveryByte) {
  TempDir dir;
  {
    archive::TLFNFileStream stream(dir.File("small.bin"), archive::TLFNFileMode::Create);
    stream.Write("HEAD", 4);
    stream.Write(std::string(100, 'd').data(), 100);
    const std::int64_t end = stream.Position();
    stream.Seek(1, archive::TSeekOrigin::soBeginning);
    stream.Write("ea", 2);
    EXPECT_EQ(stream.Position(), 3);
    EXPECT_EQ(stream.Size(), 104);  // the bytes behind the cursor still count
    stream.Seek(end, archive::TSeekOrigin::soBeginning);
    stream.Write("TAIL", 4);
    // Back into the buffer again, then on across its end.
    stream.Seek(100, archive::TSeekOrigin::soBeginning);
    stream.Write(std::string(8200, 'z').data(), 8200);
  }
  const auto bytes = ReadAll(dir.File("small.bin"));
  ASSERT_EQ(bytes.size(), 8300u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "HeaD");
  EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 100), std::string(96, 'd'));
  EXPECT_EQ(std::string(bytes.begin() + 100, bytes.end()), std::string(8200, 'z'));
}

TEST(LfnFileStreamTest, AReadStreamReadsTheFileAsItWasWhenOpened) {
  TempDir dir;
  WriteAll(dir.File("grow.bin"), std::vector<std::uint8_t>(10, 'a'));
  archive::TLFNFileStream stream(dir.File("grow.bin"), archive::TLFNFileMode::OpenRead);
  WriteAll(dir.File("grow.bin"), std::vector<std::uint8_t>(9000, 'b'));
  EXPECT_EQ(stream.Size(), 10);
  std::vector<std::uint8_t> got(20000);
  EXPECT_EQ(stream.Read(got.data(), got.size()), 10u);
  EXPECT_EQ(stream.Read(got.data(), got.size()), 0u);
}

TEST(LfnFileStreamTest, WriteAfterReadsGoesToTheLogicalPosition) {
  TempDir dir;
  WriteAll(dir.File("rw.bin"), std::vector<std::uint8_t>(100, '.'));
  {
    archive::TLFNFileStream stream(dir.File("rw.bin"), archive::TLFNFileMode::OpenReadWrite);
    char buffer[10];
    ASSERT_EQ(stream.Read(buffer, 10), 10u);  // the buffer now holds all 100 bytes
    stream.Write("W", 1);
    EXPECT_EQ(stream.Position(), 11);
  }
  const auto bytes = ReadAll(dir.File("rw.bin"));
  ASSERT_EQ(bytes.size(), 100u);
  EXPECT_EQ(bytes[10], 'W');
  EXPECT_EQ(bytes[9], '.');
  EXPECT_EQ(bytes[11], '.');
}

TEST(LfnFileStreamTest, SeekFromEndAndCurrentWithinAndOutsideTheBuffer) {
  TempDir dir;
  const auto data = Pattern(20000);
  WriteAll(dir.File("s.bin"), data);
  archive::TLFNFileStream stream(dir.File("s.bin"), archive::TLFNFileMode::OpenRead);
  EXPECT_EQ(stream.Seek(-22, archive::TSeekOrigin::soEnd), 20000 - 22);
  std::uint8_t b = 0;
  ASSERT_EQ(stream.Read(&b, 1), 1u);
  EXPECT_EQ(b, data[20000 - 22]);
  EXPECT_EQ(stream.Seek(-5000, archive::TSeekOrigin::soCurrent), 20000 - 21 - 5000);
  ASSERT_EQ(stream.Read(&b, 1), 1u);
  EXPECT_EQ(b, data[20000 - 21 - 5000]);
  stream.Seek(3, archive::TSeekOrigin::soBeginning);
  ASSERT_EQ(stream.Read(&b, 1), 1u);
  EXPECT_EQ(b, data[3]);
  EXPECT_EQ(stream.Size(), 20000);
}

TEST(LfnFileStreamTest, SizeCountsBytesStillInTheBuffer) {
  TempDir dir;
  archive::TLFNFileStream stream(dir.File("n.bin"), archive::TLFNFileMode::Create);
  stream.Write("12345", 5);
  EXPECT_EQ(stream.Size(), 5);
  stream.Seek(2, archive::TSeekOrigin::soBeginning);  // flushes
  EXPECT_EQ(stream.Size(), 5);
}

TEST(LfnFileStreamTest, ErrorTexts) {
  TempDir dir;
  WriteAll(dir.File("e.bin"), Pattern(100));
  archive::TLFNFileStream stream(dir.File("e.bin"), archive::TLFNFileMode::OpenRead);
  try {
    stream.Seek(0, static_cast<archive::TSeekOrigin>(7));
    FAIL() << "no error";
  } catch (const archive::EStreamError& e) {
    EXPECT_STREQ(e.what(), "Invalid seek origin (7)");
  }
  try {
    stream.Seek(-1, archive::TSeekOrigin::soBeginning);
    FAIL() << "no error";
  } catch (const archive::EStreamError& e) {
    EXPECT_STREQ(e.what(), "Seek error");
  }
  char buffer[4];
  ASSERT_EQ(stream.Read(buffer, 4), 4u);
  stream.PutBack(4);
  EXPECT_EQ(stream.Position(), 0);
  try {
    stream.PutBack(1);
    FAIL() << "no error";
  } catch (const archive::EStreamError& e) {
    EXPECT_STREQ(e.what(), "Putback overflow");
  }
}

TEST(LfnFileStreamTest, OpeningAMissingFileRaisesTheOpenError) {
  TempDir dir;
  try {
    archive::TLFNFileStream stream(dir.File("missing.zip"), archive::TLFNFileMode::OpenRead);
    FAIL() << "no error";
  } catch (const archive::EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.zip"), std::string::npos);
    EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
  }
}

// The writer's new archive: made only where nothing is, and what is there stays as it was.
TEST(LfnFileStreamTest, CreateNewLeavesAFileThatIsAlreadyThere) {
  TempDir dir;
  WriteAll(dir.File("taken.zip"), Pattern(10));
  try {
    archive::TLFNFileStream stream(dir.File("taken.zip"), archive::TLFNFileMode::CreateNew);
    FAIL() << "no error";
  } catch (const archive::EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"", 0), 0u) << e.what();
    EXPECT_EQ(e.code(), std::errc::file_exists);
  }
  EXPECT_EQ(ReadAll(dir.File("taken.zip")), Pattern(10));
  {
    archive::TLFNFileStream stream(dir.File("new.zip"), archive::TLFNFileMode::CreateNew);
    stream.Write("PK", 2);
  }
  EXPECT_EQ(ReadAll(dir.File("new.zip")).size(), 2u);
}

}  // namespace
