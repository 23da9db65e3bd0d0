// Protects files of any size end to end: a sparse file of 4.3 GiB, with distinct bytes at its
// start, around the 4 GiB mark and at its end, is stored at level 1 by the backup run's
// archiver (one new archive, Zip64 where the sizes need it), the archive passes unzip -t,
// 7z t and Python's zipfile, and the restore run's unpacker brings back a file whose CRC-32
// (zlib's) equals the source's. Minutes of work even in a Release build: labelled "slow" (tests/CMakeLists.txt)
// and run by scripts/test.sh from a Release tree.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/zip_reader.h"
#include "archive/zip_writer.h"
#include "backup/zip_archiver.h"
#include "restore/zip_reader_unpacker.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

constexpr std::uint64_t kFileSize = 4617089843ull;  // 4.3 GiB

using testsupport::HaveTool;
using testsupport::Quote;
using testsupport::Shell;

std::uint32_t FileCrc(const std::string& path, std::uint64_t* size) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return 0;
  std::vector<unsigned char> buffer(1 << 20);
  uLong crc = crc32(0, nullptr, 0);
  *size = 0;
  for (;;) {
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got <= 0) break;
    crc = crc32(crc, buffer.data(), static_cast<uInt>(got));
    *size += static_cast<std::uint64_t>(got);
  }
  close(fd);
  return static_cast<std::uint32_t>(crc);
}

void WriteAt(int fd, std::uint64_t offset, std::size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<unsigned char> bytes(count);
  for (auto& b : bytes) b = static_cast<unsigned char>(rng());
  ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
            static_cast<ssize_t>(count));
}

TEST(BigFileTest, A4Point3GiBSparseFileIsBackedUpAtLevel1AndRestored) {
  // On disk, not in memory: the restored file takes 4.3 GB of real space.
  testsupport::TempDir dir(testsupport::TempDir::Medium::kLargeDisk);
  const std::string source = dir.File("disk.img");
  {
    const int fd = open(source.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(kFileSize)), 0);
    WriteAt(fd, 0, 100000, 1);
    WriteAt(fd, 0xFFFFFFFFull - 50000, 100000, 2);  // across the 4 GiB mark
    WriteAt(fd, kFileSize - 70000, 70000, 3);
    close(fd);
  }
  std::uint64_t sourceSize = 0;
  const std::uint32_t sourceCrc = FileCrc(source, &sourceSize);
  ASSERT_EQ(sourceSize, kFileSize);

  std::filesystem::create_directory(dir.File("store"));
  const std::string archive = dir.File("store/disk.img.ZIP");
  archive::TZipWriter writer;
  backup::ZipWriterArchiver archiver(writer);
  ASSERT_EQ(backup::StoreNamed(archiver, archive, source, 1), 1);

  archive::TZipReader check;
  check.SetZipName(archive);
  check.ReadZip();
  ASSERT_EQ(check.Count(), 1);
  EXPECT_EQ(check.Entry(0).UncompressedSize, kFileSize);
  EXPECT_EQ(check.Entry(0).Crc32, sourceCrc);

  if (HaveTool("unzip")) {
    EXPECT_EQ(Shell("unzip -tqq " + Quote(archive)), 0);
  }
  if (HaveTool("7z")) {
    EXPECT_EQ(Shell("7z t " + Quote(archive)), 0);
  }
  if (HaveTool("python3")) {
    // Python reads the Zip64 extra fields of both headers and checks the whole entry's CRC.
    const std::string script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "i = z.infolist()\n"
        "assert len(i) == 1 and i[0].file_size == int(sys.argv[2]), i\n"
        "assert z.testzip() is None\n";
    EXPECT_EQ(testsupport::RunPython(script, {archive, std::to_string(kFileSize)}), 0);
  }

  std::filesystem::remove(source);  // room on disk for the restored copy
  std::filesystem::create_directory(dir.File("restored"));
  archive::TZipReader reader;
  restore::ConfigureReaderForRestore(reader);
  restore::ZipReaderUnpacker unpacker(reader);
  ASSERT_EQ(unpacker.Unpack(archive, dir.File("restored")), 1);
  std::uint64_t restoredSize = 0;
  EXPECT_EQ(FileCrc(dir.File("restored/disk.img"), &restoredSize), sourceCrc);
  EXPECT_EQ(restoredSize, kFileSize);
}

}  // namespace
