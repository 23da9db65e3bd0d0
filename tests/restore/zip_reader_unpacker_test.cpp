// Protects the restore's use of the archive reader: one archive unpacks to its file, and the
// archive the reader keeps open (KeepZipOpen) is closed again when the unpack ends, also when
// the reader rejected it, so no descriptor of a store file outlives a run.
#include "restore/zip_reader_unpacker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive/zip_errors.h"
#include "archive/zip_writer.h"
#include "backup/zip_archiver.h"
#include "platform/directory.h"
#include "platform/file_time.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

// How many of this process's descriptors are open on path.
int OpenDescriptors(const std::string& path) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(entry.path(), ec) == fs::path(path)) ++count;
  }
  return count;
}

using testsupport::ReadText;

// root/notes.txt ("backed up text") backed up into root/notes.txt.ZIP; root/out made.
std::string StoreNotes(const fs::path& root) {
  fs::create_directories(root / "out");
  std::ofstream(root / "notes.txt") << "backed up text";
  archive::TZipWriter writer;
  backup::ZipWriterArchiver archiver(writer);
  const std::string archive = (root / "notes.txt.ZIP").string();
  EXPECT_EQ(backup::StoreNamed(archiver, archive, (root / "notes.txt").string(), 6), 1);
  return archive;
}

TEST(ZipReaderUnpacker, UnpacksAndLeavesNoArchiveOpen) {
  testsupport::TempDir dir;
  const fs::path root = dir.Path();
  const std::string archive = StoreNotes(root);

  archive::TZipReader reader;
  restore::ConfigureReaderForRestore(reader);
  restore::ZipReaderUnpacker unpacker(reader);
  EXPECT_EQ(unpacker.Unpack(archive, (root / "out").string()), 1);
  EXPECT_EQ(ReadText((root / "out" / "notes.txt").string()), "backed up text");
  EXPECT_EQ(OpenDescriptors(archive), 0);

  // A file that is no archive: the reader's error passes through, and it is closed too.
  const std::string broken = (root / "broken.ZIP").string();
  std::ofstream(broken) << "not a zip file at all";
  EXPECT_THROW(unpacker.Unpack(broken, (root / "out").string()), archive::EZipError);
  EXPECT_EQ(OpenDescriptors(broken), 0);
}

TEST(ZipReaderUnpacker, RestoreGivesTheJobsTimesToThatArchiveOnly) {
  testsupport::TempDir dir;
  const fs::path root = dir.Path();
  const std::string archive = StoreNotes(root);

  archive::TZipReader reader;
  restore::ConfigureReaderForRestore(reader);
  restore::ZipReaderUnpacker unpacker(reader);
  restore::ArchiveJob job;
  job.archivePath = archive;
  job.destDir = (root / "out").string();
  job.targetName = "notes.txt";
  job.times.lastWrite = platform::UnixToFileTime(1500000000, 123456700);
  job.times.lastAccess = platform::UnixToFileTime(1600000000, 765432100);
  job.archiveDirectory = std::make_shared<const platform::OpenDirectory>(root.string());
  job.destination = std::make_shared<const platform::OpenDirectory>(job.destDir);
  const restore::ArchiveResult result = unpacker.Restore(job);
  EXPECT_EQ(result.count, 1);
  EXPECT_TRUE(result.timesGiven);
  platform::FileTimes times;
  ASSERT_FALSE(platform::ReadFileTimes((root / "out" / "notes.txt").string(), times));
  EXPECT_EQ(times.lastWrite, job.times.lastWrite);
  EXPECT_EQ(times.lastAccess, job.times.lastAccess);
  EXPECT_EQ(OpenDescriptors(archive), 0);

  // The next archive through the same reader has nothing of that job: its stored date.
  EXPECT_EQ(unpacker.Unpack(archive, (root / "again").string()), 1);
  ASSERT_FALSE(platform::ReadFileTimes((root / "again" / "notes.txt").string(), times));
  EXPECT_NE(times.lastWrite, job.times.lastWrite);
  EXPECT_EQ(times.lastWrite % 20'000'000, 0) << "a DOS date: whole even seconds";
}

// A job without times (the walk did not read the archive's status): the file gets the
// archive's own times as they were when it was opened, before the read could move the
// last-access time, and the result reports them for the run.
TEST(ZipReaderUnpacker, AJobWithoutTimesGivesTheArchivesOwnAsOpened) {
  testsupport::TempDir dir;
  const fs::path root = dir.Path();
  const std::string archive = StoreNotes(root);
  // Last access before the last write: a relatime mount moves it when the archive is read.
  const platform::FileTime lastWrite = platform::UnixToFileTime(1700000000, 987654300);
  const platform::FileTime lastAccess = platform::UnixToFileTime(1400000000, 111111100);
  ASSERT_FALSE(platform::WriteFileTimes(archive, lastAccess, lastWrite));

  archive::TZipReader reader;
  restore::ConfigureReaderForRestore(reader);
  restore::ZipReaderUnpacker unpacker(reader);
  for (const bool held : {true, false}) {
    const fs::path out = root / (held ? "held" : "named");
    fs::create_directories(out);
    restore::ArchiveJob job;
    job.archivePath = archive;
    job.destDir = out.string();
    job.targetName = "notes.txt";
    if (held) {
      job.archiveDirectory = std::make_shared<const platform::OpenDirectory>(root.string());
      job.destination = std::make_shared<const platform::OpenDirectory>(job.destDir);
    }
    const restore::ArchiveResult result = unpacker.Restore(job);
    EXPECT_EQ(result.count, 1);
    EXPECT_TRUE(result.timesGiven);
    EXPECT_EQ(result.times.lastWrite, lastWrite);
    EXPECT_EQ(result.times.lastAccess, lastAccess);
    platform::FileTimes times;
    ASSERT_FALSE(platform::ReadFileTimes((out / "notes.txt").string(), times));
    EXPECT_EQ(times.lastWrite, lastWrite) << held;
    EXPECT_EQ(times.lastAccess, lastAccess) << held;
    EXPECT_EQ(ReadText((out / "notes.txt").string()), "backed up text");
    // The archive's times were looked at, not taken over for the next job.
    ASSERT_FALSE(platform::WriteFileTimes(archive, lastAccess, lastWrite));
  }
  // Reused for an archive that cannot be opened: nothing is reported.
  restore::ArchiveJob missing;
  missing.archivePath = (root / "missing.txt.ZIP").string();
  missing.destDir = (root / "held").string();
  missing.targetName = "missing.txt";
  EXPECT_THROW(unpacker.Restore(missing), archive::EZipError);
}

}  // namespace
