// Protects the restored tree from the leftovers of a killed restore: the archive reader
// writes each file under a temporary name beside its target, and a run killed in the middle
// leaves that file behind. The next run into the same directory removes it, and nothing
// else: not a user's file that merely looks like one, not one another run is writing now.
// The name pattern is checked against a temporary file the real reader made.
#include <sys/stat.h>

#include <filesystem>

#include "archive/zip_interaction.h"
#include "archive/zip_reader.h"
#include "platform/file_info.h"
#include "restore/zip_reader_unpacker.h"
#include "restore_fixture.h"
#include "tests/support/silent_interaction.h"

namespace fs = std::filesystem;

namespace restore_test {
namespace {

using restore::IsStaleUnpackTemporary;
using restore::RestoreOption;

const platform::FileTime kRunStart = UtcTime(2025, 6, 1, 12, 0, 0);
const platform::FileTime kBefore = UtcTime(2025, 6, 1, 11, 59, 0);

platform::DirEntry Entry(const std::string& name, std::uint32_t mode, platform::FileTime written,
                         bool regular = true, bool symlink = false) {
  platform::DirEntry entry;
  entry.name = name;
  entry.info.isRegular = regular;
  entry.info.isDirectory = !regular;
  entry.info.isSymlink = symlink;
  entry.info.unixMode = mode;
  entry.info.times.lastWrite = written;
  return entry;
}

struct StaleCase {
  const char* what;
  platform::DirEntry entry;
  bool stale;
};

TEST(StaleUnpackTemporary, OnlyTheReadersOwnLeftoversQualify) {
  const std::vector<platform::DirEntry> backup = {Entry(".vrn-unz.Zz9Yy8.ZIP", 0644, kBefore),
                                                  Entry("report.doc.ZIP", 0644, kBefore)};
  const std::vector<StaleCase> cases = {
      {"a killed run's file", Entry(".vrn-unz.Ab3dE9", 0600, kBefore), true},
      {"digits only", Entry(".vrn-unz.000000", 0600, kBefore), true},
      {"written during this run", Entry(".vrn-unz.Ab3dE9", 0600, kRunStart), false},
      {"written after the run began", Entry(".vrn-unz.Ab3dE9", 0600, kRunStart + 1), false},
      {"other permissions", Entry(".vrn-unz.Ab3dE9", 0644, kBefore), false},
      {"group readable", Entry(".vrn-unz.Ab3dE9", 0640, kBefore), false},
      {"name too short", Entry(".vrn-unz.Ab3dE", 0600, kBefore), false},
      {"name too long", Entry(".vrn-unz.Ab3dE90", 0600, kBefore), false},
      {"other prefix", Entry("uzzAb3dE9", 0600, kBefore), false},
      {"upper-case prefix", Entry("UNZAb3dE9", 0600, kBefore), false},
      {"punctuation", Entry(".vrn-unz.Ab3-E9", 0600, kBefore), false},
      {"a directory", Entry(".vrn-unz.Ab3dE9", 0600, kBefore, false), false},
      {"a symbolic link", Entry(".vrn-unz.Ab3dE9", 0600, kBefore, true, true), false},
      {"a file the backup holds", Entry(".vrn-unz.Zz9Yy8", 0600, kBefore), false},
      {"the earlier versions' name", Entry("unzAb3dE9", 0600, kBefore), false},
  };
  for (const StaleCase& c : cases) {
    EXPECT_EQ(IsStaleUnpackTemporary(c.entry, kRunStart, backup), c.stale) << c.what;
  }
}

// Lists the destination while the reader is in the middle of an entry.
class SnoopingInteraction : public testsupport::SilentInteraction {
 public:
  explicit SnoopingInteraction(std::string dir) : dir_(std::move(dir)) {}
  void ProcessMessages() override {
    std::vector<platform::DirEntry> entries;
    if (platform::ListDirectory(dir_, entries)) return;
    for (const platform::DirEntry& entry : entries) {
      if (entry.name != "keep.txt") seen.push_back(entry);
    }
  }
  std::vector<platform::DirEntry> seen;

 private:
  std::string dir_;
};

TEST_F(RestoreTest, TheReadersTemporaryFileMatchesThePattern) {
  const std::string folder = Path("src/T");
  // Large enough for the reader to handle messages with the temporary file open.
  std::string content(300000, '\0');
  for (std::size_t k = 0; k < content.size(); ++k) content[k] = static_cast<char>(k * 7919 >> 5);
  MakeTree(folder, {{"big.bin", content, UtcTime(2022, 2, 2, 2, 2, 2)}});
  BackUp(folder);
  const std::string dest = Path("dest");
  fs::create_directories(dest);
  WriteText(dest + "/keep.txt", "x");

  archive::TZipReader reader;
  restore::ConfigureReaderForRestore(reader);
  SnoopingInteraction snoop(dest);
  reader.Interaction = &snoop;
  restore::ZipReaderUnpacker unpacker(reader);
  ASSERT_EQ(unpacker.Unpack(store_ + folder + "/big.bin.ZIP", dest), 1);

  ASSERT_FALSE(snoop.seen.empty());
  const platform::DirEntry& temporary = snoop.seen.back();
  EXPECT_NE(temporary.name, "big.bin");
  // Seen by a run that started after the killed one wrote it, it is stale.
  EXPECT_TRUE(IsStaleUnpackTemporary(temporary, temporary.info.times.lastWrite + 1, {}))
      << temporary.name << " mode " << std::oct << temporary.info.unixMode;
}

TEST_F(RestoreTest, LeftoversOfAKilledRunAreRemovedFromTheRestoredTree) {
  const std::string docs = Path("src/Docs");
  const auto files = MakeTree(docs, {
                                        {"a.txt", "a", UtcTime(2021, 1, 1, 1, 1, 1)},
                                        {"sub/b.txt", "b", UtcTime(2021, 1, 1, 1, 1, 2)},
                                        {"unzipping", "mine", UtcTime(2021, 1, 1, 1, 1, 3)},
                                    });
  BackUp(docs);
  ASSERT_TRUE(catalogue_.AddFolder("P", docs, "*; ", true, 6));
  const platform::FileTime old = UtcTime(2024, 1, 1, 0, 0, 0);
  auto leftover = [&](const std::string& path, mode_t mode) {
    WriteText(path, "half a file");
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    SetTimes(path, old, old);
  };
  leftover(docs + "/.vrn-unz.Q7x2Lm", 0600);
  leftover(docs + "/sub/.vrn-unz.9aZ0bY", 0600);
  leftover(docs + "/.vrn-unz.LookAl", 0644);  // the user's, by its permissions
  // The temporary name of earlier versions, which a user's own file may have: never removed.
  leftover(docs + "/unzQ7x2Lm", 0600);
  ASSERT_EQ(chmod((docs + "/unzipping").c_str(), 0600), 0);
  fs::remove(docs + "/a.txt");

  Run({.prompt = false, .option = RestoreOption::AppendMissed});

  EXPECT_EQ(TreeListing(docs),
            (std::vector<std::string>{"d sub/", "f .vrn-unz.LookAl", "f a.txt", "f sub/b.txt",
                                      "f unzQ7x2Lm", "f unzipping"}));
  ExpectTree(docs, files);
  EXPECT_EQ(run_->Totals().staleRemoved, 2);
  EXPECT_TRUE(run_->Totals().AllRestored());
}

}  // namespace
}  // namespace restore_test
