// Protects the reader against hostile bytes: every truncation of a real archive, random
// single-byte damage and random files must end in a loaded directory or one of the archive
// layer's own errors, never in a crash, a hang or a foreign exception. (No oracle: the
// property is "no crash", and the sanitizer build is what catches memory faults here.)
#include <gtest/gtest.h>

#include <random>

#include "archive/zip_reader.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::Quote;
using testsupport::ReadAll;
using testsupport::Shell;
using testsupport::TempDir;
using testsupport::WriteAll;
using testsupport::WriteText;

Bytes PeerArchive(const TempDir& dir) {
  EXPECT_EQ(testsupport::RunPython(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    for n in range(4):
        i = zipfile.ZipInfo('dir%d/file%d.txt' % (n % 2, n), (2020, 1, 1 + n, 0, 0, 0))
        i.comment = b'c' * n
        i.extra = b'\x99\x99\x02\x00ab' * n
        z.writestr(i, b'data %d ' % n * 40)
    z.comment = b'archive'
)",
                                   {dir.File("peer.zip")}),
            0);
  return ReadAll(dir.File("peer.zip"));
}

// Loads the bytes as an archive (both incomplete modes) and touches every accessor.
void LoadSurvives(const TempDir& dir, const Bytes& bytes) {
  const std::string path = dir.File("case.zip");
  WriteAll(path, bytes);
  for (archive::TIncompleteZipMode mode :
       {archive::TIncompleteZipMode::izAssumeMulti, archive::TIncompleteZipMode::izAssumeBad}) {
    archive::TZipReader reader;
    reader.IncompleteZipMode = mode;
    reader.OnGetNextDisk = [](archive::TZipReader&, int, std::string& name) { name.clear(); };
    try {
      reader.SetZipName(path);
      reader.ReadZip();
      for (int i = 0; i < reader.Count(); ++i) {
        (void)reader.FileComment(i);
        (void)reader.DateTime(i);
      }
      (void)reader.ZipComment();
      reader.Sort(archive::TZipSortMode::ByName);
      reader.Sort(archive::TZipSortMode::ByRate);
    } catch (const archive::EZipError&) {
      // One of ours: fine.
    }
  }
}

TEST(ZipReaderRobustnessTest, TruncationsOfARealArchive) {
  TempDir dir(TempDir::Medium::kMemory);
  const Bytes archive = PeerArchive(dir);
  ASSERT_GT(archive.size(), 400u);
  // Every cut inside the central directory and end record, every 5th inside the entries.
  const std::size_t tail = archive.size() - 400;
  for (std::size_t size = 0; size <= archive.size(); size += size < tail ? 5 : 1)
    LoadSurvives(dir, Bytes(archive.begin(), archive.begin() + static_cast<long>(size)));
}

TEST(ZipReaderRobustnessTest, RandomByteDamage) {
  TempDir dir(TempDir::Medium::kMemory);
  const Bytes archive = PeerArchive(dir);
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    Bytes damaged = archive;
    const int hits = 1 + static_cast<int>(random() % 4);
    for (int h = 0; h < hits; ++h)
      damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
    LoadSurvives(dir, damaged);
  }
}

TEST(ZipReaderRobustnessTest, RandomFilesAndSignatureSoup) {
  TempDir dir(TempDir::Medium::kMemory);
  std::mt19937 random(11);
  for (std::size_t size : {0u, 1u, 21u, 22u, 23u, 100u, 5000u, 70000u}) {
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    LoadSurvives(dir, bytes);
    // The same length filled with signatures of every record type.
    static const std::uint8_t kSigs[][4] = {
        {0x50, 0x4b, 1, 2}, {0x50, 0x4b, 3, 4}, {0x50, 0x4b, 5, 6}};
    for (std::size_t i = 0; i + 4 <= size; i += 4)
      std::copy(kSigs[(i / 4) % 3], kSigs[(i / 4) % 3] + 4, bytes.begin() + static_cast<long>(i));
    LoadSurvives(dir, bytes);
  }
}

}  // namespace
