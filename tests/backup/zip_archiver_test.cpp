// Protects the archiver the backup run stores with: one new archive per file, one entry
// under the file's bare name, the file's bytes. Python's zipfile is the judge. Names that
// the writer would read as wildcards must still store exactly their own file.
#include "backup/zip_archiver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/zip_writer.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteText;

namespace {

// Asks Python's zipfile whether archive holds exactly one entry named name whose bytes
// equal source's.
bool HoldsExactly(const std::string& archive, const std::string& name, const std::string& source) {
  const std::string manifest = archive + ".tsv";
  std::ofstream(manifest) << archive << '\t' << fs::path(source).parent_path().string() << "/"
                          << name << '\n';
  return testsupport::CheckArchives(manifest) == 0;
}

class ZipArchiverTest : public ::testing::TestWithParam<const char*> {
 protected:
  TempDir dir_;
  archive::TZipWriter writer_;
  backup::ZipWriterArchiver archiver_{writer_};
};

TEST_P(ZipArchiverTest, StoresOnlyTheNamedFileUnderItsBareName) {
  const std::string name = GetParam();
  const std::string source = dir_ / ("src/" + name);
  WriteText(source, "the file itself: " + name);
  // Neighbours a wildcard reading of the name would also find.
  WriteText(dir_ / "src/whatX.txt", "neighbour");
  WriteText(dir_ / "src/starAB.txt", "neighbour");
  WriteText(dir_ / "src/a_b.txt", "neighbour");
  const std::string archive = dir_ / "out.ZIP";
  EXPECT_EQ(backup::StoreNamed(archiver_, archive, source, 6), 1);
  EXPECT_TRUE(HoldsExactly(archive, name, source));

  // The same bytes as the writer's own Zip of the file by its name (for a name without
  // wildcards, which Zip would expand): the archiver goes another way into the writer.
  if (fs::path(source).filename().string().find_first_of("*?<>|") != std::string::npos) return;
  archive::TZipWriter byName;
  byName.SetStorePaths(false);
  byName.SetZipName(dir_ / "byname.ZIP");
  byName.FilesList = {source};
  ASSERT_EQ(byName.Zip(), 1);
  EXPECT_EQ(testsupport::ReadText(dir_ / "byname.ZIP"), testsupport::ReadText(archive));
}

INSTANTIATE_TEST_SUITE_P(Names, ZipArchiverTest,
                         ::testing::Values("plain.txt", "what?.txt", "star*.txt", "a|b.txt",
                                           "a<b>.txt", "Übersicht.odt", ".hidden"));

TEST(ZipArchiver, MissingFileStoresNothing) {
  TempDir dir;
  archive::TZipWriter writer;
  backup::ZipWriterArchiver archiver(writer);
  EXPECT_EQ(backup::StoreNamed(archiver, dir / "out.ZIP", dir / "missing.txt", 6), 0);
  EXPECT_FALSE(fs::exists(dir / "out.ZIP"));
  fs::create_directory(dir / "folder");
  EXPECT_EQ(backup::StoreNamed(archiver, dir / "out.ZIP", dir / "folder", 6), 0);
  EXPECT_FALSE(fs::exists(dir / "out.ZIP"));
}

}  // namespace
