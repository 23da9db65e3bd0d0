// Protects TZipReader's behaviour around the directory: construction values, the ZipName and
// DestDir setters (including the "?" forms through the interaction), the date-based reuse of
// a loaded directory, comments read on demand, sorting, index checks, the recovery scan of
// an archive whose central directory is lost, the "Incomplete Zip File" and "Not a valid
// zip file!" failures, and split archives in numbered block files.
#include "archive/zip_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using testsupport::Bytes;
using testsupport::Put16;
using testsupport::Put32;
using testsupport::Quote;
using testsupport::ReadAll;
using testsupport::Shell;
using testsupport::TempDir;
using testsupport::WriteAll;
using testsupport::WriteText;

void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Three stored entries and a comment, written by Python's zipfile.
std::string MakeArchive(const TempDir& dir, const std::string& name = "three.zip") {
  const std::string script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr(zipfile.ZipInfo('b.txt', (2020, 1, 1, 0, 0, 0)), b'bb' * 10)
    i = zipfile.ZipInfo('a/c.txt', (2022, 1, 1, 0, 0, 0))
    i.comment = b'entry c'
    z.writestr(i, b'c' * 300)
    i = zipfile.ZipInfo('a.txt', (2021, 1, 1, 0, 0, 0))
    i.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(i, b'a' * 4000)
    z.comment = b'three entries'
)";
  const std::string path = dir.File(name);
  EXPECT_EQ(testsupport::RunPython(script, {path}), 0);
  return path;
}

std::size_t EndRecordOffset(const Bytes& bytes) {
  for (std::size_t i = bytes.size() - 22 + 1; i-- > 0;)
    if (bytes[i] == 0x50 && bytes[i + 1] == 0x4b && bytes[i + 2] == 5 && bytes[i + 3] == 6)
      return i;
  ADD_FAILURE() << "no end record";
  return 0;
}

std::vector<std::string> StoredNames(archive::TZipReader& reader) {
  std::vector<std::string> names;
  for (int i = 0; i < reader.Count(); ++i)
    names.push_back(reader.Entry(i).Directory + reader.Entry(i).FileName);
  return names;
}

// Scripted answers for the dialogs.
class ScriptedInteraction : public archive::TZipInteraction {
 public:
  bool answer = true;
  std::string chosen;
  std::string lastTitle, lastFilter, lastStart;
  int busyCalls = 0;
  bool ChooseFile(const std::string& title, const std::string& filter, const std::string& start,
                  std::string& out) override {
    lastTitle = title;
    lastFilter = filter;
    lastStart = start;
    out = chosen;
    return answer;
  }
  bool ChooseDirectory(const std::string& start, std::string& out) override {
    lastStart = start;
    out = chosen;
    return answer;
  }
  bool ConfirmOkCancel(const std::string&, const std::string&) override { return answer; }
  bool AskYesNo(const std::string&, const std::string&) override { return answer; }
  void ShowMessage(const std::string&, const std::string&) override {}
  void SetBusy(bool) override { ++busyCalls; }
};

TEST(ZipReaderTest, ConstructionValues) {
  archive::TZipReader reader;
  EXPECT_EQ(reader.ThisVersion(), 217);
  reader.SetThisVersion(5);
  EXPECT_EQ(reader.ThisVersion(), 217);
  EXPECT_EQ(reader.ZipName(), "");
  EXPECT_EQ(reader.DestDir(), "");
  EXPECT_EQ(reader.RootDir(), "");
  EXPECT_EQ(reader.SortMode(), archive::TZipSortMode::ByNone);
  EXPECT_FALSE(reader.RecreateDirs);
  EXPECT_EQ(reader.OverwriteMode, archive::TUZOverwriteMode::Prompt);
  EXPECT_TRUE(reader.FilesList.empty());
  EXPECT_FALSE(reader.DoAll);
  EXPECT_EQ(reader.IncompleteZipMode, archive::TIncompleteZipMode::izAssumeMulti);
  EXPECT_FALSE(reader.KeepZipOpen);
  EXPECT_TRUE(reader.DoProcessMessages);
  EXPECT_TRUE(reader.RetainAttributes);
  EXPECT_EQ(reader.Password, "");
  EXPECT_TRUE(reader.GetCheckDiskLabels());
  EXPECT_EQ(reader.GetMultiMode(), archive::TMultiMode::mmNone);
  EXPECT_EQ(reader.NumberOfDisks(), 1);
  EXPECT_EQ(reader.CurrentDisk(), 0);
  EXPECT_EQ(reader.Count(), 0);
  EXPECT_TRUE(static_cast<bool>(reader.OnGetNextDisk));
}

TEST(ZipReaderTest, ReadsDirectoryInPhysicalOrderAndSortsViews) {
  TempDir dir;
  archive::TZipReader reader;
  reader.SetZipName(MakeArchive(dir));
  reader.ReadZip();
  EXPECT_EQ(StoredNames(reader), (std::vector<std::string>{"b.txt", "a/c.txt", "a.txt"}));
  reader.Sort(archive::TZipSortMode::ByName);
  EXPECT_EQ(reader.SortMode(), archive::TZipSortMode::ByName);
  EXPECT_EQ(StoredNames(reader), (std::vector<std::string>{"a.txt", "a/c.txt", "b.txt"}));
  EXPECT_EQ(reader.Filename(1), "c.txt");
  reader.SetSortMode(archive::TZipSortMode::ByDate);
  EXPECT_EQ(StoredNames(reader), (std::vector<std::string>{"a/c.txt", "a.txt", "b.txt"}));
  reader.Sort(archive::TZipSortMode::ByUnCompressedSize);
  EXPECT_EQ(StoredNames(reader), (std::vector<std::string>{"a.txt", "a/c.txt", "b.txt"}));
  reader.Sort(archive::TZipSortMode::ByNone);
  EXPECT_EQ(StoredNames(reader), (std::vector<std::string>{"b.txt", "a/c.txt", "a.txt"}));
}

TEST(ZipReaderTest, IndexOutOfRange) {
  TempDir dir;
  archive::TZipReader reader;
  reader.SetZipName(MakeArchive(dir));
  reader.ReadZip();
  for (int index : {-1, 3}) {
    try {
      reader.Filename(index);
      FAIL() << "no error";
    } catch (const archive::EListError& e) {
      EXPECT_EQ(std::string(e.what()), "Index " + std::to_string(index) + " is out of range");
    }
  }
  EXPECT_THROW(reader.DateTime(3), archive::EListError);
  EXPECT_THROW(reader.FileComment(3), archive::EListError);
}

TEST(ZipReaderTest, CommentsAreReadOnDemandAndOnlyChangesMarkModified) {
  TempDir dir;
  archive::TZipReader reader;
  reader.SetZipName(MakeArchive(dir));
  reader.ReadZip();
  EXPECT_FALSE(reader.Entry(1).FileComment.has_value());
  EXPECT_EQ(reader.FileComment(1), "entry c");
  EXPECT_EQ(reader.FileComment(0), "");
  EXPECT_EQ(reader.ZipComment(), "three entries");
  EXPECT_EQ(reader.EndCentral().Modified, 0);
  reader.SetZipComment("three entries");
  EXPECT_EQ(reader.EndCentral().Modified, 0);
  reader.SetFileComment(1, "changed");
  EXPECT_EQ(reader.EndCentral().Modified, 1);
  EXPECT_EQ(reader.FileComment(1), "changed");
}

TEST(ZipReaderTest, ArchiveCommentIsReadFromBehindTheRecordEvenWithBytesAppended) {
  // Regression: counting the comment back from the end of the file read appended bytes
  // (a signature block, a download's padding) instead of the comment.
  TempDir dir;
  const std::string path = MakeArchive(dir);
  Bytes bytes = ReadAll(path);
  const std::string tail = "APPENDED-TRAILER";
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  WriteAll(path, bytes);
  std::string unzipText;
  ASSERT_EQ(Shell("unzip -z " + Quote(path), &unzipText), 0);
  EXPECT_NE(unzipText.find("three entries"), std::string::npos) << unzipText;
  archive::TZipReader reader;
  reader.SetZipName(path);
  reader.ReadZip();
  EXPECT_EQ(reader.Count(), 3);
  EXPECT_EQ(reader.ZipComment(), "three entries");
}

TEST(ZipReaderTest, DateTimeOfAnEntryAndOfAnInvalidDate) {
  TempDir dir;
  archive::TZipReader reader;
  reader.SetZipName(MakeArchive(dir));
  reader.ReadZip();
  // 2020-01-01 00:00:00 local is OLE day 43831.
  EXPECT_DOUBLE_EQ(reader.DateTime(0), 43831.0);
}

TEST(ZipReaderTest, SameNameKeepsTheDirectoryUntilTheFileDateChanges) {
  TempDir dir;
  const std::string path = MakeArchive(dir);
  archive::TZipReader reader;
  reader.SetZipName(path);
  reader.ReadZip();
  ASSERT_EQ(reader.Count(), 3);
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  // Same size, same modification time, other name bytes: the loaded directory is reused.
  Bytes bytes = ReadAll(path);
  for (std::size_t i = 0; i + 5 <= bytes.size(); ++i)
    if (std::string(bytes.begin() + static_cast<long>(i),
                    bytes.begin() + static_cast<long>(i) + 5) == "b.txt")
      bytes[i] = 'x';
  WriteAll(path, bytes);
  struct timespec keep[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), keep, 0), 0);
  reader.SetZipName(path);
  reader.ReadZip();
  EXPECT_EQ(reader.Entry(0).FileName, "b.txt");
  // A new modification time: loaded again.
  struct timespec later[2] = {before.st_atim, before.st_mtim};
  later[1].tv_sec += 10;
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
  reader.ReadZip();
  EXPECT_EQ(reader.Entry(0).FileName, "x.txt");
}

TEST(ZipReaderTest, KeptOpenStreamOfAReplacedArchiveIsNotReadAgain) {
  // Regression: with KeepZipOpen the old descriptor survived a replacement of the file, and
  // the new directory would have been read from the old file's bytes.
  TempDir dir;
  const std::string path = MakeArchive(dir);
  archive::TZipReader reader;
  reader.KeepZipOpen = true;
  reader.SetZipName(path);
  reader.ReadZip();
  ASSERT_EQ(reader.Count(), 3);
  ASSERT_EQ(testsupport::RunPython(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr('only.txt', b'1')
)",
                                   {dir.File("new.zip")}),
            0);
  ASSERT_EQ(std::rename(dir.File("new.zip").c_str(), path.c_str()), 0);
  reader.ReadZip();
  EXPECT_EQ(StoredNames(reader), (std::vector<std::string>{"only.txt"}));
}

TEST(ZipReaderTest, NewNameFreesTheDirectoryAndResetArchiveClearsTheName) {
  TempDir dir;
  archive::TZipReader reader;
  reader.SetZipName(MakeArchive(dir));
  reader.ReadZip();
  reader.SetZipName(dir.File("other.zip"));
  EXPECT_EQ(reader.Count(), 0);
  EXPECT_EQ(reader.ZipName(), dir.File("other.zip"));
  reader.SetZipName(MakeArchive(dir, "again.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.Count(), 3);
  reader.ResetArchive();
  EXPECT_EQ(reader.Count(), 0);
  EXPECT_EQ(reader.ZipName(), "");
  EXPECT_EQ(reader.ZipComment(), "");
}

TEST(ZipReaderTest, MissingArchiveRaisesTheOpenError) {
  TempDir dir;
  archive::TZipReader reader;
  reader.SetZipName(dir.File("none.zip"));
  EXPECT_THROW(reader.ReadZip(), archive::EFOpenError);
}

TEST(ZipReaderTest, QuestionMarkNameWithoutInteractionIsCancelled) {
  archive::TZipReader reader;
  try {
    reader.SetZipName("/tmp/x?");
    FAIL() << "no error";
  } catch (const archive::EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled setting zip file name.");
  }
}

TEST(ZipReaderTest, QuestionMarkNameAsksWithTheDialogTexts) {
  TempDir dir;
  ScriptedInteraction ui;
  ui.chosen = dir.File("chosen.zip");
  archive::TZipReader reader;
  reader.Interaction = &ui;
  reader.SetZipName(dir.File("start.zip?"));
  EXPECT_EQ(reader.ZipName(), dir.File("chosen.zip"));
  EXPECT_EQ(ui.lastTitle, "Открытие файла архива");
  EXPECT_EQ(ui.lastFilter,
            "Файл архива (*.ZIP)|*.zip|Автономный архив (*.EXE)|*.exe|Jar файлы (*.JAR)|*.jar|"
            "Все файлы (*.*)|*.*");
  EXPECT_EQ(ui.lastStart, dir.Path());
  ui.answer = false;
  EXPECT_THROW(reader.SetZipName("?"), archive::EUserCanceled);
  EXPECT_EQ(reader.ZipName(), dir.File("chosen.zip"));
}

TEST(ZipReaderTest, DestDirDropsOneTrailingSlashAndAsksForQuestionMark) {
  TempDir dir;
  archive::TZipReader reader;
  reader.SetDestDir("/data/out/");
  EXPECT_EQ(reader.DestDir(), "/data/out");
  try {
    reader.SetDestDir("?");
    FAIL() << "no error";
  } catch (const archive::EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled Set Desination Directory");
  }
  ScriptedInteraction ui;
  reader.Interaction = &ui;
  ui.chosen = dir.File("new/deeper/");
  reader.SetDestDir("?");
  EXPECT_EQ(reader.DestDir(), dir.File("new/deeper"));
  struct stat st {};
  EXPECT_EQ(stat(dir.File("new/deeper").c_str(), &st), 0);
  reader.SetRootDir("Data");
  EXPECT_EQ(reader.RootDir(), "Data/");
  reader.SetRootDir("");
  EXPECT_EQ(reader.RootDir(), "");
}

TEST(ZipReaderTest, EndRecordPointingAtGarbageIsRebuiltByTheHeaderScan) {
  TempDir dir;
  const std::string path = MakeArchive(dir);
  Bytes bytes = ReadAll(path);
  const std::size_t end = EndRecordOffset(bytes);
  // Central directory offset field (end record offset 16) now points into entry data.
  Set32(bytes, end + 16, 40);
  WriteAll(path, bytes);
  ScriptedInteraction ui;
  archive::TZipReader reader;
  reader.Interaction = &ui;
  reader.SetZipName(path);
  reader.ReadZip();
  EXPECT_TRUE(reader.DirectoryFromScan());
  EXPECT_EQ(ui.busyCalls, 2);  // busy cursor on and off
  EXPECT_EQ(StoredNames(reader), (std::vector<std::string>{"b.txt", "a/c.txt", "a.txt"}));
  // The central directory follows the entries, so the scan merged its values in.
  EXPECT_EQ(reader.Entry(1).CommentLength, 7);
  EXPECT_EQ(reader.FileComment(1), "entry c");
  EXPECT_EQ(reader.Entry(2).Method, 8);
  EXPECT_EQ(reader.Entry(2).UncompressedSize, 4000u);
}

TEST(ZipReaderTest, NoEndRecordRaisesIncompleteZipAndResets) {
  TempDir dir;
  const std::string path = MakeArchive(dir);
  Bytes bytes = ReadAll(path);
  bytes.resize(EndRecordOffset(bytes));
  WriteAll(path, bytes);
  archive::TZipReader reader;
  reader.SetZipName(path);
  try {
    reader.ReadZip();
    FAIL() << "no error";
  } catch (const archive::EIncompleteZip& e) {
    EXPECT_STREQ(e.what(), "Incomplete Zip File");
  }
  EXPECT_EQ(reader.ZipName(), "");
  EXPECT_EQ(reader.Count(), 0);
}

TEST(ZipReaderTest, NoEndRecordWithAssumeBadIsScanned) {
  TempDir dir;
  const std::string path = MakeArchive(dir);
  Bytes bytes = ReadAll(path);
  bytes.resize(EndRecordOffset(bytes));
  WriteAll(path, bytes);
  archive::TZipReader reader;
  reader.IncompleteZipMode = archive::TIncompleteZipMode::izAssumeBad;
  reader.SetZipName(path);
  reader.ReadZip();
  EXPECT_TRUE(reader.DirectoryFromScan());
  EXPECT_EQ(StoredNames(reader), (std::vector<std::string>{"b.txt", "a/c.txt", "a.txt"}));

  // The event may decide instead.
  archive::TZipReader asked;
  int calls = 0;
  asked.OnInCompleteZip = [&calls](archive::TZipReader&, archive::TIncompleteZipMode& mode) {
    ++calls;
    mode = archive::TIncompleteZipMode::izAssumeBad;
  };
  asked.SetZipName(path);
  asked.ReadZip();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(asked.IncompleteZipMode, archive::TIncompleteZipMode::izAssumeBad);
  EXPECT_EQ(asked.Count(), 3);
}

TEST(ZipReaderTest, ScanThatFindsNothingIsNotAValidZipFile) {
  TempDir dir;
  WriteAll(dir.File("random.zip"), Bytes(50000, 0x11));
  archive::TZipReader reader;
  reader.IncompleteZipMode = archive::TIncompleteZipMode::izAssumeBad;
  reader.SetZipName(dir.File("random.zip"));
  try {
    reader.ReadZip();
    FAIL() << "no error";
  } catch (const archive::EBadZipFile& e) {
    EXPECT_STREQ(e.what(), "Not a valid zip file!");
  }
  EXPECT_EQ(reader.ZipName(), "");
}

TEST(ZipReaderTest, SelfExtractorScanStartsBehindTheStub) {
  TempDir dir;
  const std::string path = MakeArchive(dir);
  Bytes archive = ReadAll(path);
  archive.resize(EndRecordOffset(archive));  // no end record: scan
  // A stub with a decoy local header signature inside its first 14000 bytes.
  Bytes exe(15000, 0x90);
  const Bytes decoy = {0x50, 0x4b, 3, 4, 20, 0, 0, 0, 0, 0};
  std::copy(decoy.begin(), decoy.end(), exe.begin() + 100);
  exe.insert(exe.end(), archive.begin(), archive.end());
  WriteAll(dir.File("SETUP.EXE"), exe);
  archive::TZipReader reader;
  reader.IncompleteZipMode = archive::TIncompleteZipMode::izAssumeBad;
  reader.SetZipName(dir.File("SETUP.EXE"));
  reader.ReadZip();
  ASSERT_EQ(reader.Count(), 3);
  EXPECT_EQ(reader.Entry(0).LocalHeaderOffset, 15000u);
}

// A two-disk archive in block files: arc.001 holds entry one and the whole central directory,
// arc.zip (disk 2) entry two and the end record.
void MakeSplitArchive(const TempDir& dir) {
  auto local = [](const std::string& name, const std::string& data) {
    Bytes b;
    Put32(b, 0x04034b50);
    Put16(b, 10);
    Put16(b, 0);
    Put16(b, 0);
    Put32(b, 0x52210000);
    Put32(b, 0);  // CRC not checked by listing
    Put32(b, static_cast<std::uint32_t>(data.size()));
    Put32(b, static_cast<std::uint32_t>(data.size()));
    Put16(b, static_cast<unsigned>(name.size()));
    Put16(b, 0);
    b.insert(b.end(), name.begin(), name.end());
    b.insert(b.end(), data.begin(), data.end());
    return b;
  };
  auto central = [](const std::string& name, std::uint32_t size, unsigned disk,
                    std::uint32_t offset) {
    Bytes b;
    Put32(b, 0x02014b50);
    Put16(b, 20);
    Put16(b, 10);
    Put16(b, 0);
    Put16(b, 0);
    Put32(b, 0x52210000);
    Put32(b, 0);
    Put32(b, size);
    Put32(b, size);
    Put16(b, static_cast<unsigned>(name.size()));
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, disk);
    Put16(b, 0);
    Put32(b, 0x20);
    Put32(b, offset);
    b.insert(b.end(), name.begin(), name.end());
    return b;
  };
  Bytes disk1 = local("one.txt", "first");
  Bytes disk2 = local("two.txt", "second!");
  const std::uint32_t dirOffset = static_cast<std::uint32_t>(disk1.size());
  Bytes c1 = central("one.txt", 5, 0, 0);
  Bytes c2 = central("two.txt", 7, 1, 0);
  disk1.insert(disk1.end(), c1.begin(), c1.end());
  disk1.insert(disk1.end(), c2.begin(), c2.end());
  Put32(disk2, 0x06054b50);
  Put16(disk2, 1);  // this disk
  Put16(disk2, 0);  // central directory starts on disk 0
  Put16(disk2, 0);
  Put16(disk2, 2);
  Put32(disk2, static_cast<std::uint32_t>(c1.size() + c2.size()));
  Put32(disk2, dirOffset);
  Put16(disk2, 0);
  WriteAll(dir.File("arc.001"), disk1);
  WriteAll(dir.File("arc.zip"), disk2);
}

TEST(ZipReaderTest, SplitArchiveInBlockFilesLoadsTheDirectoryFromTheFirstBlock) {
  TempDir dir;
  MakeSplitArchive(dir);
  archive::TZipReader reader;
  reader.SetZipName(dir.File("arc.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.GetMultiMode(), archive::TMultiMode::mmBlocks);
  EXPECT_EQ(StoredNames(reader), (std::vector<std::string>{"one.txt", "two.txt"}));
  EXPECT_EQ(reader.NumberOfDisks(), 2);
  EXPECT_EQ(reader.CurrentDisk(), 1);
  EXPECT_EQ(reader.ZipName(), dir.File("arc.001"));  // the disk request took the block's name
}

TEST(ZipReaderTest, SplitArchiveAsksTheHandlerAndAMissingBlockIsCancelled) {
  TempDir dir;
  MakeSplitArchive(dir);
  std::vector<int> asked;
  archive::TZipReader reader;
  reader.OnGetNextDisk = [&asked](archive::TZipReader&, int disk, std::string& name) {
    asked.push_back(disk);
    name = name.substr(0, name.rfind('/')) + "/missing.001";
  };
  reader.SetZipName(dir.File("arc.zip"));
  try {
    reader.ReadZip();
    FAIL() << "no error";
  } catch (const archive::EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled loading new disk.");
  }
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked[0], 1);
  EXPECT_EQ(reader.Count(), 0);

  std::remove(dir.File("arc.001").c_str());
  archive::TZipReader defaults;
  defaults.SetZipName(dir.File("arc.zip"));
  EXPECT_THROW(defaults.ReadZip(), archive::EUserCanceled);
}

TEST(ZipReaderTest, EmptyArchiveHasNoEntries) {
  TempDir dir;
  Bytes end;
  Put32(end, 0x06054b50);
  end.resize(22, 0);
  WriteAll(dir.File("empty.zip"), end);
  archive::TZipReader reader;
  reader.SetZipName(dir.File("empty.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.Count(), 0);
  EXPECT_FALSE(reader.DirectoryFromScan());
}

}  // namespace
