// Protects the archive writer: every archive it makes must be accepted by independent
// readers (Info-ZIP unzip, Python's zipfile, 7-Zip) and unpack to the exact input; archives
// made by Info-ZIP zip must survive an update with their other entries and comments intact;
// and a failure must never leave a half archive or touch an existing one, because the backup
// run deletes the old archive of a file before it stores the new one.
#include "archive/zip_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "platform/file_system.h"
#include "test_corpus.h"
#include "tests/archive/zip_builder.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/silent_interaction.h"

namespace {

using testcorpus::Bytes;
using testsupport::Quote;
using testsupport::ReadAll;
using testsupport::Shell;
using testsupport::TempDir;
using testsupport::WriteAll;
using testsupport::WriteText;

// What Python's zipfile says about an archive: testzip's verdict, the archive comment, and
// per entry name, method, flags, sizes, attributes, host system and comment.
const char kOracleScript[] = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    print('testzip', 'ok' if bad is None else 'bad')
    print('comment', z.comment.hex() or '-')
    for i in z.infolist():
        print('entry', i.filename.encode('utf-8').hex(), i.compress_type, i.flag_bits,
              i.compress_size, i.file_size, i.internal_attr, i.external_attr, i.create_system,
              i.comment.hex() or '-')
    if len(sys.argv) > 2:
        z.extractall(sys.argv[2])
)";

struct PeerEntry {
  std::string name;
  int method = -1;
  int flags = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t size = 0;
  int internalAttr = 0;
  std::uint64_t externalAttr = 0;
  int createSystem = 0;
  std::string comment;
};

struct PeerView {
  bool testzipOk = false;
  std::string comment;
  std::vector<PeerEntry> entries;
  const PeerEntry* Find(const std::string& name) const {
    for (const PeerEntry& e : entries)
      if (e.name == name) return &e;
    return nullptr;
  }
};

std::string FromHex(const std::string& hex) {
  if (hex == "-") return {};
  std::string text;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return text;
}

PeerView Python(const std::string& archive, const std::string& extractTo = {}) {
  std::string output;
  std::vector<std::string> args = {archive};
  if (!extractTo.empty()) args.push_back(extractTo);
  const int rc = testsupport::RunPython(kOracleScript, args, &output);
  EXPECT_EQ(rc, 0) << output;
  PeerView view;
  std::istringstream lines(output);
  std::string kind;
  while (lines >> kind) {
    if (kind == "testzip") {
      std::string verdict;
      lines >> verdict;
      view.testzipOk = verdict == "ok";
    } else if (kind == "comment") {
      std::string hex;
      lines >> hex;
      view.comment = FromHex(hex);
    } else if (kind == "entry") {
      PeerEntry e;
      std::string nameHex, commentHex;
      lines >> nameHex >> e.method >> e.flags >> e.compressedSize >> e.size >> e.internalAttr >>
          e.externalAttr >> e.createSystem >> commentHex;
      e.name = FromHex(nameHex);
      e.comment = FromHex(commentHex);
      view.entries.push_back(e);
    }
  }
  return view;
}

bool UnzipTest(const std::string& archive, std::string* output = nullptr) {
  return Shell("unzip -t " + Quote(archive) + " 2>&1", output) == 0;
}

bool SevenZipTest(const std::string& archive) {
  return Shell("7z t " + Quote(archive) + " >/dev/null 2>&1") == 0;
}

void SetMtime(const std::string& path, std::time_t when) {
  utimbuf times{when, when};
  ASSERT_EQ(utime(path.c_str(), &times), 0);
}


TEST(ZipWriterPeers, ToolsArePresent) {
  // The interop tests below are only as good as their peers.
  EXPECT_TRUE(testsupport::HaveTool("unzip"));
  EXPECT_TRUE(testsupport::HaveTool("zip"));
  EXPECT_TRUE(testsupport::HaveTool("7z"));
}

class EveryWriterLevel : public ::testing::TestWithParam<int> {};

TEST_P(EveryWriterLevel, PeersAcceptTheArchiveAndUnpackEveryByte) {
  const int level = GetParam();
  TempDir dir;
  std::filesystem::create_directory(dir.File("src"));
  std::vector<std::pair<std::string, Bytes>> files;
  for (auto& sample : testcorpus::VariedSet(false)) files.emplace_back(sample.name, sample.data);
  files.emplace_back("grüße-résumé.txt", testcorpus::Text(3000, 40));
  files.emplace_back("日本語.bin", testcorpus::Binary(5000, 41));
  Bytes big = testcorpus::Text(700000, 42);
  Bytes more = testcorpus::Binary(500000, 43);
  big.insert(big.end(), more.begin(), more.end());
  files.emplace_back("big-mixed.dat", big);

  archive::TZipWriter writer;
  writer.PackLevel = level;
  writer.SetZipName(dir.File("out.zip"));
  for (auto& [name, data] : files) {
    WriteAll(dir.File("src/" + name), data);
    writer.FilesList.push_back(dir.File("src/" + name));
  }
  ASSERT_EQ(writer.Zip(), static_cast<int>(files.size()));

  std::string unzipOutput;
  EXPECT_TRUE(UnzipTest(dir.File("out.zip"), &unzipOutput)) << unzipOutput;
  EXPECT_TRUE(SevenZipTest(dir.File("out.zip")));
  PeerView view = Python(dir.File("out.zip"), dir.File("py"));
  EXPECT_TRUE(view.testzipOk);
  ASSERT_EQ(Shell("unzip -qq " + Quote(dir.File("out.zip")) + " -d " + Quote(dir.File("uz"))), 0);
  ASSERT_EQ(view.entries.size(), files.size());
  for (auto& [name, data] : files) {
    SCOPED_TRACE(name);
    const PeerEntry* entry = view.Find(name);
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(ReadAll(dir.File("py/" + name)) == data);
    EXPECT_TRUE(ReadAll(dir.File("uz/" + name)) == data);
    EXPECT_EQ(entry->createSystem, 3);  // Unix, so the mode below counts
    struct stat st {};
    ASSERT_EQ(stat(dir.File("src/" + name).c_str(), &st), 0);
    EXPECT_EQ(entry->externalAttr >> 16, static_cast<unsigned>(st.st_mode & 0177777))
        << std::oct << (entry->externalAttr >> 16);
    if (level == 0) {
      EXPECT_EQ(entry->method, 0);
      EXPECT_EQ(entry->flags & 6, 0);
      EXPECT_EQ(entry->internalAttr, 0);
    } else {
      EXPECT_EQ(entry->flags & 6, level <= 2 ? 4 : level >= 8 ? 2 : 0);
    }
    if (entry->method == 0) {
      EXPECT_EQ(entry->compressedSize, entry->size);
    }
  }
  // Data that deflate cannot shrink goes in raw, method 0, at every level.
  EXPECT_EQ(view.Find("random")->method, 0);
  if (level > 0) {
    EXPECT_EQ(view.Find("text")->method, 8);
    EXPECT_EQ(view.Find("text")->internalAttr, 1);
    EXPECT_EQ(view.Find("binary")->internalAttr, 0);
    EXPECT_EQ(view.Find("empty")->method, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, EveryWriterLevel, ::testing::Range(0, 10));

TEST(ZipWriter, BackupStoreOfOneBareNameGivesOneEntryUnderThatName) {
  TempDir dir;
  WriteAll(dir.File("report.doc"), testcorpus::Text(10000, 1));
  archive::TZipWriter writer;
  writer.SetStorePaths(true);
  writer.ZipAction = archive::TZipAction::zaReplace;
  writer.SetRootDir(dir.Path());
  writer.SetRelativePaths(true);
  writer.SetZipName(dir.File("report.doc.ZIP"));
  writer.FilesList = {"report.doc"};
  writer.PackLevel = 9;
  EXPECT_EQ(writer.Zip(), 1);
  PeerView view = Python(dir.File("report.doc.ZIP"));
  ASSERT_EQ(view.entries.size(), 1u);
  EXPECT_EQ(view.entries[0].name, "report.doc");
  // The writer's directory is the new archive's, without reading it again.
  ASSERT_EQ(writer.Count(), 1);
  EXPECT_EQ(writer.Entry(0).FileName, "report.doc");
  EXPECT_EQ(writer.Entry(0).Directory, "");

  // The same with the full path and StorePaths off.
  archive::TZipWriter plain;
  plain.SetZipName(dir.File("second.zip"));
  plain.FilesList = {dir.File("report.doc")};
  EXPECT_EQ(plain.Zip(), 1);
  EXPECT_EQ(Python(dir.File("second.zip")).entries.at(0).name, "report.doc");
}

TEST(ZipWriter, NoFileToAddStillMakesAnEmptyArchive) {
  TempDir dir;
  archive::TZipWriter writer;
  std::vector<std::string> missing;
  writer.OnNoSuchFile = [&](archive::TZipWriter&, const std::string& name) {
    missing.push_back(name);
  };
  writer.SetZipName(dir.File("empty.zip"));
  writer.FilesList = {dir.File("nothing-here.txt")};
  EXPECT_EQ(writer.Zip(), 0);
  EXPECT_EQ(missing, std::vector<std::string>{dir.File("nothing-here.txt")});
  EXPECT_EQ(ReadAll(dir.File("empty.zip")).size(), 22u);
  EXPECT_TRUE(Python(dir.File("empty.zip")).entries.empty());
}

TEST(ZipWriter, SecondFileWithTheSameStoredNameIsSkipped) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("a"));
  std::filesystem::create_directory(dir.File("b"));
  WriteText(dir.File("a/x.txt"), "first");
  WriteText(dir.File("b/X.TXT"), "second");
  archive::TZipWriter writer;
  std::vector<int> reasons;
  writer.OnSkippingFile = [&](archive::TZipReader&, int reason, const std::string&, int index) {
    reasons.push_back(reason);
    EXPECT_EQ(index, -1);
  };
  writer.SetZipName(dir.File("dup.zip"));
  writer.FilesList = {dir.File("a/x.txt"), dir.File("b/X.TXT")};
  EXPECT_EQ(writer.Zip(), 1);
  EXPECT_EQ(reasons, std::vector<int>{archive::kSkipDuplicateName});
}

TEST(ZipWriter, StoredDirectoriesAreRelativeAndFollowTheRootDir) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("root/sub/deeper"));
  WriteText(dir.File("root/top.txt"), "top");
  WriteText(dir.File("root/sub/deeper/low.txt"), "low");
  archive::TZipWriter writer;
  writer.SetRootDir(dir.File("root"));
  writer.SetRelativePaths(true);
  writer.SetZipName(dir.File("rel.zip"));
  writer.FilesList = {"top.txt", dir.File("root/sub/deeper/low.txt")};
  EXPECT_EQ(writer.Zip(), 2);
  PeerView view = Python(dir.File("rel.zip"));
  EXPECT_NE(view.Find("top.txt"), nullptr);
  EXPECT_NE(view.Find("sub/deeper/low.txt"), nullptr);

  archive::TZipWriter absolute;
  absolute.SetStorePaths(true);
  absolute.SetZipName(dir.File("abs.zip"));
  absolute.FilesList = {dir.File("root/top.txt")};
  EXPECT_EQ(absolute.Zip(), 1);
  // The full directory, but never with a leading "/".
  const std::string expected = dir.File("root/top.txt").substr(1);
  EXPECT_NE(Python(dir.File("abs.zip")).Find(expected), nullptr);
}

TEST(ZipWriter, CoupledSettersKeepThePathOptionsConsistent) {
  archive::TZipWriter writer;
  writer.SetRelativePaths(true);
  EXPECT_TRUE(writer.StorePaths());
  EXPECT_TRUE(writer.Recurse);
  writer.SetStoreVolumes(true);
  writer.SetStorePaths(false);
  EXPECT_FALSE(writer.RelativePaths());
  EXPECT_FALSE(writer.StoreVolumes());
  writer.SetStoreVolumes(true);
  EXPECT_TRUE(writer.StorePaths());
}

TEST(ZipWriter, WildcardsRecurseExcludeAndNeverAddTheArchiveItself) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("t/sub/.hidden"));
  WriteText(dir.File("t/a.txt"), "a");
  WriteText(dir.File("t/b.log"), "b");
  WriteText(dir.File("t/sub/c.txt"), "c");
  WriteText(dir.File("t/sub/.hidden/d.txt"), "d");
  WriteText(dir.File("t/skip-me.txt"), "s");
  WriteAll(dir.File("t/packed.txt"), testcorpus::Text(5000, 3));

  auto names = [&](const std::string& archive) {
    std::vector<std::string> result;
    for (const PeerEntry& e : Python(archive).entries) result.push_back(e.name);
    std::sort(result.begin(), result.end());
    return result;
  };
  {
    // "|" keeps to the one directory even with Recurse; the archive lies in the walked
    // directory and matches the mask, yet is not added to itself.
    archive::TZipWriter writer;
    writer.Recurse = true;
    writer.ExcludeList = {"SKIP-*"};
    writer.SetZipName(dir.File("t/self.txt"));
    writer.FilesList = {"|" + dir.File("t/*.txt")};
    EXPECT_EQ(writer.Zip(), 2);
    EXPECT_EQ(names(dir.File("t/self.txt")), (std::vector<std::string>{"a.txt", "packed.txt"}));
    std::filesystem::remove(dir.File("t/self.txt"));
  }
  {
    // ">" descends (but not into directories whose names begin with "."), and a pattern
    // with a directory part is matched against the whole path.
    archive::TZipWriter writer;
    writer.SetRootDir(dir.File("t"));
    writer.SetRelativePaths(true);
    writer.ExcludeList = {"*/t/skip*"};
    writer.NoCompressList = {"packed.*"};
    writer.SetZipName(dir.File("deep.zip"));
    writer.FilesList = {">*.txt"};
    EXPECT_EQ(writer.Zip(), 3);
    EXPECT_EQ(names(dir.File("deep.zip")),
              (std::vector<std::string>{"a.txt", "packed.txt", "sub/c.txt"}));
    EXPECT_EQ(Python(dir.File("deep.zip")).Find("packed.txt")->method, 0);
  }
}

TEST(ZipWriter, EventsReportTheRunInOrder) {
  TempDir dir;
  WriteAll(dir.File("one.txt"), testcorpus::Text(100000, 4));
  WriteAll(dir.File("two.txt"), testcorpus::Text(50000, 5));
  archive::TZipWriter writer;
  std::vector<std::string> log;
  int lastTotal = -1;
  writer.OnStartZipInfo = [&](archive::TZipWriter&, int numFiles, std::int64_t totalBytes,
                              archive::TEndCentral& end, bool&) {
    log.push_back("info " + std::to_string(numFiles) + " " + std::to_string(totalBytes));
    end.ZipComment = "set by the handler";
    end.CommentLength = 18;
  };
  writer.OnStartZip = [&](archive::TZipWriter&, const std::string& name,
                          archive::TZipHeaderInfo& header, bool& skip) {
    log.push_back("start " + platform::BaseName(name));
    if (header.FileName == "two.txt") header.SetFileName("renamed.txt");
    skip = false;
  };
  writer.OnEndZip = [&](archive::TZipWriter&, const std::string& name, std::uint32_t size,
                        std::uint32_t compressed, std::int64_t zipSize) {
    log.push_back("end " + platform::BaseName(name) + " " + std::to_string(size));
    EXPECT_LT(compressed, size);
    EXPECT_GT(zipSize, static_cast<std::int64_t>(compressed));
  };
  writer.OnTotalPercentDone = [&](archive::TZipReader&, int percent) {
    EXPECT_GE(percent, lastTotal);
    lastTotal = percent;
  };
  writer.SetZipName(dir.File("ev.zip"));
  writer.FilesList = {dir.File("one.txt"), dir.File("two.txt")};
  EXPECT_EQ(writer.Zip(), 2);
  EXPECT_EQ(log, (std::vector<std::string>{"info 2 150000", "start one.txt", "end one.txt 100000",
                                           "start two.txt", "end two.txt 50000"}));
  EXPECT_EQ(lastTotal, 100);
  PeerView view = Python(dir.File("ev.zip"));
  EXPECT_EQ(view.comment, "set by the handler");
  EXPECT_NE(view.Find("renamed.txt"), nullptr);
}

TEST(ZipWriter, AFileSkippedInStartZipIsNotAddedOrCounted) {
  TempDir dir;
  WriteText(dir.File("keep.txt"), "keep");
  WriteText(dir.File("skip.txt"), "skip");
  archive::TZipWriter writer;
  writer.OnStartZip = [](archive::TZipWriter&, const std::string& name, archive::TZipHeaderInfo&,
                         bool& skip) { skip = name.ends_with("skip.txt"); };
  writer.SetZipName(dir.File("k.zip"));
  writer.FilesList = {dir.File("keep.txt"), dir.File("skip.txt")};
  EXPECT_EQ(writer.Zip(), 1);
  PeerView view = Python(dir.File("k.zip"));
  ASSERT_EQ(view.entries.size(), 1u);
  EXPECT_EQ(view.entries[0].name, "keep.txt");
}

TEST(ZipWriter, StopInStartZipInfoCancelsAndLeavesNoArchive) {
  TempDir dir;
  WriteText(dir.File("a.txt"), "a");
  archive::TZipWriter writer;
  writer.OnStartZipInfo = [](archive::TZipWriter&, int, std::int64_t, archive::TEndCentral&,
                             bool& stop) { stop = true; };
  writer.SetZipName(dir.File("c.zip"));
  writer.FilesList = {dir.File("a.txt")};
  try {
    writer.Zip();
    FAIL() << "no exception";
  } catch (const archive::EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled Zip operation.");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("c.zip")));
}

TEST(ZipWriter, DisposeDeletesTheAddedFilesUnlessTheHandlerSkips) {
  TempDir dir;
  WriteText(dir.File("gone.txt"), "gone");
  WriteText(dir.File("kept.txt"), "kept");
  archive::TZipWriter writer;
  writer.Dispose = true;
  writer.OnDisposeFile = [](archive::TZipWriter&, const std::string& name, bool& skip) {
    skip = name.ends_with("kept.txt");
  };
  writer.SetZipName(dir.File("d.zip"));
  writer.FilesList = {dir.File("gone.txt"), dir.File("kept.txt")};
  EXPECT_EQ(writer.Zip(), 2);
  EXPECT_FALSE(std::filesystem::exists(dir.File("gone.txt")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("kept.txt")));
  EXPECT_TRUE(UnzipTest(dir.File("d.zip")));
}

// An archive made by Info-ZIP zip, with an archive comment and an entry comment.
class InfoZipArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.File("src/sub"));
    WriteAll(dir.File("src/alpha.txt"), testcorpus::Text(20000, 6));
    WriteAll(dir.File("src/beta.bin"), testcorpus::Binary(30000, 7));
    WriteAll(dir.File("src/sub/gamma.txt"), testcorpus::Text(9000, 8));
    for (const char* name : {"alpha.txt", "beta.bin", "sub/gamma.txt"})
      SetMtime(dir.File(std::string("src/") + name), 1700000000);
    ASSERT_EQ(Shell("cd " + Quote(dir.File("src")) + " && zip -q -X " + Quote(archive()) +
                    " alpha.txt beta.bin sub/gamma.txt"),
              0);
    ASSERT_EQ(Shell("echo 'archive comment here' | zip -q -z " + Quote(archive())), 0);
    // zip -c asks for the comments of the files it adds, one line each, on standard input.
    ASSERT_EQ(Shell("cd " + Quote(dir.File("src")) + " && printf 'alpha comment\\n' | zip -q -c " +
                    Quote(archive()) + " alpha.txt"),
              0);
    before = Python(archive());
    ASSERT_EQ(before.Find("alpha.txt")->comment, "alpha comment");
    ASSERT_EQ(before.comment, "archive comment here");
  }

  std::string archive() const { return dir.File("infozip.zip"); }

  // Checks the peers accept the archive and that every entry other than changed unpacks to
  // its source, with the comments as before.
  void ExpectIntact(const std::string& changed, const Bytes& changedData) {
    std::string output;
    EXPECT_TRUE(UnzipTest(archive(), &output)) << output;
    EXPECT_TRUE(SevenZipTest(archive()));
    std::filesystem::remove_all(dir.File("out"));
    PeerView after = Python(archive(), dir.File("out"));
    EXPECT_TRUE(after.testzipOk);
    EXPECT_EQ(after.comment, "archive comment here");
    EXPECT_EQ(after.Find("alpha.txt")->comment, "alpha comment");
    ASSERT_EQ(after.entries.size(), 3u);
    for (const char* name : {"alpha.txt", "beta.bin", "sub/gamma.txt"}) {
      SCOPED_TRACE(name);
      const Bytes expected = name == changed ? changedData : ReadAll(dir.File(std::string("src/") + name));
      EXPECT_TRUE(ReadAll(dir.File(std::string("out/") + name)) == expected);
    }
    // The archive order is kept: a replaced entry takes its old place.
    EXPECT_EQ(after.entries[0].name, "alpha.txt");
    EXPECT_EQ(after.entries[1].name, "beta.bin");
    EXPECT_EQ(after.entries[2].name, "sub/gamma.txt");
  }

  archive::TZipWriter& Writer(archive::TZipAction action) {
    writer.ZipAction = action;
    writer.SetRootDir(dir.File("src"));
    writer.SetRelativePaths(true);
    writer.SetZipName(archive());
    return writer;
  }

  TempDir dir;
  archive::TZipWriter writer;
  PeerView before;
};

TEST_F(InfoZipArchive, UpdateReplacesOnlyANewerFile) {
  const Bytes newBeta = testcorpus::Binary(40000, 99);
  WriteAll(dir.File("src/beta.bin"), newBeta);
  SetMtime(dir.File("src/beta.bin"), 1700000000 + 3600);
  archive::TZipWriter& w = Writer(archive::TZipAction::zaUpdate);
  w.FilesList = {"alpha.txt", "beta.bin"};  // alpha is as old as its entry
  EXPECT_EQ(w.Zip(), 1);
  ExpectIntact("beta.bin", newBeta);
}

TEST_F(InfoZipArchive, ReplaceRewritesTheEntryWhateverItsDate) {
  const Bytes newGamma = testcorpus::Text(12000, 98);
  WriteAll(dir.File("src/sub/gamma.txt"), newGamma);
  SetMtime(dir.File("src/sub/gamma.txt"), 1600000000);  // older than the entry
  archive::TZipWriter& w = Writer(archive::TZipAction::zaReplace);
  w.FilesList = {dir.File("src/sub/gamma.txt")};
  EXPECT_EQ(w.Zip(), 1);
  ExpectIntact("sub/gamma.txt", newGamma);
}

TEST_F(InfoZipArchive, FreshenReplacesKnownNamesAndAddsNothingNew) {
  const Bytes newAlpha = testcorpus::Text(25000, 97);
  WriteAll(dir.File("src/alpha.txt"), newAlpha);
  SetMtime(dir.File("src/alpha.txt"), 1700000000 + 7200);
  WriteText(dir.File("src/new.txt"), "not in the archive");
  archive::TZipWriter& w = Writer(archive::TZipAction::zaFreshen);
  w.ReadZip();  // freshening tests names against the directory held in memory
  w.FilesList = {"alpha.txt", "new.txt"};
  EXPECT_EQ(w.Zip(), 1);
  ExpectIntact("alpha.txt", newAlpha);
}

TEST_F(InfoZipArchive, UnchangedEntryIsCopiedAndNotCounted) {
  archive::TZipWriter& w = Writer(archive::TZipAction::zaUpdate);
  w.FilesList = {"alpha.txt"};
  EXPECT_EQ(w.Zip(), 0);
  ExpectIntact("", {});
}

TEST_F(InfoZipArchive, AFailureOnTheSecondFileLeavesTheArchiveUntouched) {
  const Bytes original = ReadAll(archive());
  WriteText(dir.File("src/new1.txt"), "one");
  WriteText(dir.File("src/new2.txt"), "two");
  archive::TZipWriter& w = Writer(archive::TZipAction::zaUpdate);
  w.TempPath = dir.File("tmp");
  std::filesystem::create_directory(dir.File("tmp"));
  w.OnStartZip = [](archive::TZipWriter&, const std::string& name, archive::TZipHeaderInfo&,
                    bool&) {
    if (name.ends_with("new2.txt")) throw archive::EZipError("disk on fire");
  };
  w.FilesList = {"new1.txt", "new2.txt"};
  EXPECT_THROW(w.Zip(), archive::EZipError);
  EXPECT_TRUE(ReadAll(archive()) == original);
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("tmp")));  // no temporary file left
  // The writer is usable again afterwards.
  w.OnStartZip = nullptr;
  EXPECT_EQ(w.Zip(), 2);
  EXPECT_TRUE(UnzipTest(archive()));
}

TEST(ZipWriter, ATemporaryFileOnAnotherFileSystemIsCopiedNextToTheArchiveFirst) {
  TempDir dir;
  struct stat here {};
  ASSERT_EQ(stat(dir.Path().c_str(), &here), 0);
  std::string otherTemp;
  for (const char* candidate : {"/tmp", "/dev/shm", "/var/tmp"}) {
    struct stat st {};
    if (stat(candidate, &st) == 0 && st.st_dev != here.st_dev && access(candidate, W_OK) == 0) {
      otherTemp = candidate;
      break;
    }
  }
  if (otherTemp.empty()) GTEST_SKIP() << "no writable temporary folder on another file system";
  WriteText(dir.File("a.txt"), "first");
  WriteText(dir.File("b.txt"), "second");
  archive::TZipWriter writer;
  writer.SetZipName(dir.File("x.zip"));
  writer.FilesList = {dir.File("a.txt")};
  ASSERT_EQ(writer.Zip(), 1);
  chmod(dir.File("x.zip").c_str(), 0640);
  writer.TempPath = otherTemp;
  auto temporaryFiles = [&] {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(otherTemp))
      if (e.path().filename().string().starts_with("ZQT")) names.push_back(e.path());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> before = temporaryFiles();
  std::string tempName;  // ours: the one that appeared during Zip
  writer.OnStartZip = [&](archive::TZipWriter&, const std::string&, archive::TZipHeaderInfo&,
                          bool&) {
    for (const std::string& name : temporaryFiles())
      if (!std::binary_search(before.begin(), before.end(), name)) tempName = name;
  };
  writer.FilesList = {dir.File("b.txt")};
  EXPECT_EQ(writer.Zip(), 1);
  EXPECT_TRUE(UnzipTest(dir.File("x.zip")));
  EXPECT_EQ(Python(dir.File("x.zip")).entries.size(), 2u);
  struct stat st {};
  ASSERT_EQ(stat(dir.File("x.zip").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // the archive keeps its permissions
  // Neither temporary file is left behind.
  ASSERT_FALSE(tempName.empty());
  EXPECT_FALSE(std::filesystem::exists(tempName)) << tempName;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_FALSE(e.path().filename().string().starts_with("ZQT")) << e.path();
}

TEST(ZipWriter, AFailureOnTheSecondFileOfANewArchiveLeavesNoArchive) {
  TempDir dir;
  WriteText(dir.File("a.txt"), "a");
  WriteText(dir.File("b.txt"), "b");
  archive::TZipWriter writer;
  writer.OnEndZip = [](archive::TZipWriter&, const std::string& name, std::uint32_t, std::uint32_t,
                       std::int64_t) {
    if (name.ends_with("b.txt")) throw archive::EZipError("no space left");
  };
  writer.SetZipName(dir.File("new.zip"));
  writer.FilesList = {dir.File("a.txt"), dir.File("b.txt")};
  EXPECT_THROW(writer.Zip(), archive::EZipError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("new.zip")));
}

TEST(ZipWriter, AnArchiveWithDataDescriptorsIsUpdatedConsistently) {
  // zip writing to a pipe cannot seek back, so it puts CRC and sizes behind the data.
  TempDir dir;
  WriteAll(dir.File("one.txt"), testcorpus::Text(30000, 9));
  WriteAll(dir.File("two.bin"), testcorpus::Binary(20000, 10));
  ASSERT_EQ(Shell("cd " + Quote(dir.Path()) + " && zip -q - one.txt two.bin | cat > s.zip"), 0);
  ASSERT_NE(Python(dir.File("s.zip")).Find("one.txt")->flags & 8, 0);
  WriteText(dir.File("three.txt"), "three");
  archive::TZipWriter writer;
  writer.SetZipName(dir.File("s.zip"));
  writer.FilesList = {dir.File("three.txt")};
  EXPECT_EQ(writer.Zip(), 1);
  std::string output;
  EXPECT_TRUE(UnzipTest(dir.File("s.zip"), &output)) << output;
  EXPECT_TRUE(SevenZipTest(dir.File("s.zip")));
  PeerView view = Python(dir.File("s.zip"), dir.File("out"));
  EXPECT_TRUE(view.testzipOk);
  EXPECT_TRUE(ReadAll(dir.File("out/one.txt")) == ReadAll(dir.File("one.txt")));
  EXPECT_TRUE(ReadAll(dir.File("out/two.bin")) == ReadAll(dir.File("two.bin")));
}

// A file of 4 GiB or more was refused here; it is now stored with Zip64, which the slow
// end-to-end test in tests/bigfile shows with a 4.3 GiB file.

TEST(ZipWriter, SortModeAndKeepZipOpenComeBackAfterZip) {
  TempDir dir;
  WriteText(dir.File("b.txt"), "b");
  WriteText(dir.File("a.txt"), "a");
  archive::TZipWriter writer;
  writer.SetSortMode(archive::TZipSortMode::ByName);
  writer.SetZipName(dir.File("s.zip"));
  writer.FilesList = {dir.File("b.txt"), dir.File("a.txt")};
  EXPECT_EQ(writer.Zip(), 2);
  EXPECT_EQ(writer.SortMode(), archive::TZipSortMode::ByName);
  EXPECT_FALSE(writer.KeepZipOpen);
  ASSERT_EQ(writer.Count(), 2);
  EXPECT_EQ(writer.Entry(0).FileName, "a.txt");  // the view is by name again
  EXPECT_EQ(Python(dir.File("s.zip")).entries.at(0).name, "b.txt");  // the file is not
}

// Regression: after Zip the by-name view held only the first of old entries whose names
// differ only in letter case, so Count, the accessors and a later UnZip lost the others.
TEST(ZipWriter, ByNameViewKeepsEntriesWhoseNamesDifferOnlyInCase) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("src"));
  WriteText(dir.File("src/read.me"), "lower");
  WriteText(dir.File("src/READ.ME"), "upper");
  WriteText(dir.File("src/new.txt"), "new");
  ASSERT_EQ(Shell("cd " + Quote(dir.File("src")) + " && zip -q -X " + Quote(dir.File("c.zip")) +
                  " read.me READ.ME"),
            0);
  archive::TZipWriter writer;
  writer.SetSortMode(archive::TZipSortMode::ByName);
  writer.SetZipName(dir.File("c.zip"));
  writer.FilesList = {dir.File("src/new.txt")};
  EXPECT_EQ(writer.Zip(), 1);
  ASSERT_EQ(writer.Count(), 3);
  std::vector<std::string> names;
  for (int i = 0; i < writer.Count(); ++i) names.push_back(writer.Entry(i).FileName);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"READ.ME", "new.txt", "read.me"}));
  EXPECT_EQ(writer.Entry(0).FileName, "new.txt");  // still by name, ASCII case ignored

  writer.SetDestDir(dir.File("out"));
  writer.DoAll = true;
  EXPECT_EQ(writer.UnZip(), 3);
  EXPECT_EQ(ReadAll(dir.File("out/READ.ME")), (Bytes{'u', 'p', 'p', 'e', 'r'}));
  EXPECT_EQ(ReadAll(dir.File("out/read.me")), (Bytes{'l', 'o', 'w', 'e', 'r'}));
}

TEST(ZipWriter, ChangedCommentsAreWrittenBeforeTheWriterMovesToAnotherArchive) {
  TempDir dir;
  WriteText(dir.File("a.txt"), "a");
  archive::TZipWriter writer;
  writer.SetZipName(dir.File("first.zip"));
  writer.FilesList = {dir.File("a.txt")};
  ASSERT_EQ(writer.Zip(), 1);
  writer.SetZipComment("new archive comment");
  writer.SetFileComment(0, "new entry comment");
  writer.SetZipName(dir.File("second.zip"));
  PeerView view = Python(dir.File("first.zip"));
  EXPECT_EQ(view.comment, "new archive comment");
  EXPECT_EQ(view.entries.at(0).comment, "new entry comment");
  EXPECT_TRUE(UnzipTest(dir.File("first.zip")));
}

// Answers nothing, but asks the writer to stop at the first chance to handle messages.
class CancellingInteraction : public testsupport::SilentInteraction {
 public:
  explicit CancellingInteraction(archive::TZipWriter& writer) : writer_(writer) {}
  void ProcessMessages() override {
    ++calls;
    writer_.Cancel();
  }
  int calls = 0;

 private:
  archive::TZipWriter& writer_;
};

TEST(ZipWriter, ACancelWhileWritingAbortsWithoutAnArchive) {
  TempDir dir;
  WriteAll(dir.File("big.txt"), testcorpus::Text(200000, 11));
  archive::TZipWriter writer;
  CancellingInteraction interaction(writer);
  writer.Interaction = &interaction;
  writer.SetZipName(dir.File("cancel.zip"));
  writer.FilesList = {dir.File("big.txt")};
  try {
    writer.Zip();
    FAIL() << "no exception";
  } catch (const archive::EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User Aborted Operation");
  }
  EXPECT_EQ(interaction.calls, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.File("cancel.zip")));
  // Without message handling nobody can ask for a cancel.
  writer.DoProcessMessages = false;
  writer.Interaction = nullptr;
  EXPECT_EQ(writer.Zip(), 1);
}

// A valid archive of count empty stored entries named e00000, e00001 ..., laid out by hand.
Bytes ManyEmptyEntries(int count) {
  std::vector<ziptest::TEntry> entries(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "e%05d", i);
    entries[static_cast<std::size_t>(i)].name = name;
  }
  return ziptest::Build(entries);
}

// The list once held 65,534 entries and the writer refused one more. Now the archive grows
// past 65,535 entries, where the 16-bit count would wrap to 0, and says its count in a Zip64
// end record.
TEST(ZipWriterLimits, OneMoreThan65535EntriesIsCountedInZip64) {
  TempDir dir;
  WriteAll(dir.File("full.zip"), ManyEmptyEntries(65535));
  WriteText(dir.File("one-more.txt"), "x");
  archive::TZipWriter writer;
  writer.SetZipName(dir.File("full.zip"));
  writer.FilesList = {dir.File("one-more.txt")};
  EXPECT_EQ(writer.Zip(), 1);
  EXPECT_EQ(writer.Count(), 65536);
  archive::TZipReader reader;
  reader.SetZipName(dir.File("full.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.Count(), 65536);
  EXPECT_TRUE(reader.EndCentral().Zip64);
  EXPECT_EQ(reader.Entry(65535).FileName, "one-more.txt");
}

}  // namespace
