// Protects extraction (TZipReader::UnZip): archives written by other programs (Info-ZIP zip,
// Python's zipfile, 7-Zip, old PKZIP) unpack byte for byte; a damaged entry never harms an
// existing file and leaves nothing behind; entries cannot write outside DestDir; the
// overwrite modes, passwords, attributes, dates and messages behave as the restore run and
// the windows expect. The peers make the archives; the expected bytes are the files they
// were made from.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <optional>
#include <sstream>
#include <random>

#include "archive/zip_errors.h"
#include "archive/zip_reader.h"
#include "platform/directory.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/file_time.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/silent_interaction.h"
#include "tests/support/unprivileged.h"

namespace {

using testsupport::Quote;
using testsupport::ReadAll;
using testsupport::Shell;
using testsupport::TempDir;
using Bytes = std::vector<std::uint8_t>;

const std::string kLegacyDir = std::string(VARNHOLT_TESTDATA_DIR) + "/legacy-zip/";

class TScriptedInteraction : public testsupport::SilentInteraction {
 public:
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    questions.push_back(caption + ": " + text);
    return answer;
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messages.push_back(caption + ": " + text);
  }
  bool answer = false;
  std::vector<std::string> questions;
  std::vector<std::string> messages;
};

Bytes Pattern(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) {
    out[i] = static_cast<std::uint8_t>(i % 7 == 0 ? rng() : "Varnholt keeps a copy. "[i % 23]);
  }
  return out;
}

// Source files of every size class: empty, tiny, exactly 32 KiB, larger than a chunk.
std::map<std::string, Bytes> MakeSources(const TempDir& dir) {
  std::map<std::string, Bytes> files = {{"empty.txt", {}},
                                        {"one.txt", {'x'}},
                                        {"k32.bin", Pattern(32768, 1)},
                                        {"mid.txt", Pattern(100000, 2)},
                                        {"big.bin", Pattern(700000, 3)}};
  Shell("mkdir -p " + Quote(dir.File("src/sub")));
  for (auto& [name, bytes] : files) testsupport::WriteAll(dir.File("src/sub/" + name), bytes);
  return files;
}

int Extract(const std::string& archive, const std::string& dest, archive::TZipReader& reader) {
  reader.SetZipName(archive);
  reader.SetDestDir(dest);
  reader.DoAll = true;
  reader.OverwriteMode = archive::TUZOverwriteMode::Always;
  reader.ReadZip();
  return reader.UnZip();
}

void ExpectExtracted(const std::map<std::string, Bytes>& files, const std::string& dir) {
  for (const auto& [name, bytes] : files) {
    ASSERT_TRUE(platform::FileExists(dir + "/" + name)) << name;
    EXPECT_TRUE(ReadAll(dir + "/" + name) == bytes) << name;
  }
}

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(dir, entries);
  std::vector<std::string> names;
  for (auto& e : entries) names.push_back(e.name);
  return names;
}

struct TPeerCase {
  const char* name;
  const char* command;  // run in the source folder; each %s is the archive
  const char* password;
};

class PeerArchiveTest : public ::testing::TestWithParam<TPeerCase> {};

TEST_P(PeerArchiveTest, UnpacksByteForByte) {
  const TPeerCase c = GetParam();
  const std::string tool = std::string(c.command).substr(0, std::string(c.command).find(' '));
  if (!testsupport::HaveTool(tool == "PY" ? "python3" : tool)) GTEST_SKIP() << tool;
  TempDir dir;
  const auto files = MakeSources(dir);
  const std::string archive = dir.File("peer.zip");
  std::string command = c.command;
  if (tool == "PY") command = testsupport::Python() + command.substr(2);
  for (std::size_t at; (at = command.find("%s")) != std::string::npos;) {
    command.replace(at, 2, Quote(archive));
  }
  ASSERT_EQ(Shell("cd " + Quote(dir.File("src/sub")) + " && " + command + " >/dev/null 2>&1"), 0)
      << command;

  archive::TZipReader reader;
  reader.Password = c.password;
  ASSERT_EQ(Extract(archive, dir.File("out"), reader), static_cast<int>(files.size()));
  ExpectExtracted(files, dir.File("out"));
  EXPECT_EQ(ListDir(dir.File("out")).size(), files.size()) << "no temporary files left";
}

INSTANTIATE_TEST_SUITE_P(
    Peers, PeerArchiveTest,
    ::testing::Values(
        TPeerCase{"zip_stored", "zip -q -0 %s empty.txt one.txt k32.bin mid.txt big.bin", ""},
        TPeerCase{"zip_fast", "zip -q -1 %s empty.txt one.txt k32.bin mid.txt big.bin", ""},
        TPeerCase{"zip_default", "zip -q -6 %s empty.txt one.txt k32.bin mid.txt big.bin", ""},
        TPeerCase{"zip_best", "zip -q -9 %s empty.txt one.txt k32.bin mid.txt big.bin", ""},
        TPeerCase{"zip_encrypted",
                  "zip -q -9 -P s3cret %s empty.txt one.txt k32.bin mid.txt big.bin", "s3cret"},
        TPeerCase{"zip_encrypted_stored",
                  "zip -q -0 -P s3cret %s empty.txt one.txt k32.bin mid.txt big.bin", "s3cret"},
        TPeerCase{"zip_stream", "cat big.bin | zip -q -9 %s - && zip -q %s empty.txt one.txt "
                                "k32.bin mid.txt && printf '@ -\\n@=big.bin\\n' | zipnote -w %s",
                  ""},
        TPeerCase{"python_deflated",
                  "PY -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w',"
                  "zipfile.ZIP_DEFLATED); [z.write(n) for n in "
                  "['empty.txt','one.txt','k32.bin','mid.txt','big.bin']]\" %s",
                  ""},
        TPeerCase{"python_stored",
                  "PY -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w'); [z.write(n) "
                  "for n in ['empty.txt','one.txt','k32.bin','mid.txt','big.bin']]\" %s",
                  ""},
        TPeerCase{"sevenzip_deflate", "7z a -tzip -mx=9 %s empty.txt one.txt k32.bin mid.txt big.bin",
                  ""},
        TPeerCase{"sevenzip_fast", "7z a -tzip -mx=1 %s empty.txt one.txt k32.bin mid.txt big.bin",
                  ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The PKZIP 0.80-2.04 test set: the same 15 files under Shrink, Reduce 1-4, Implode and
// Deflate; PKZ204E0.ZIP holds them stored, which gives the expected bytes.
TEST(LegacyExtractTest, PkzipSetsUnpackToTheStoredOriginals) {
  TempDir dir;
  archive::TZipReader stored;
  ASSERT_EQ(Extract(kLegacyDir + "pkzip-dos-tests/PKZ204E0.ZIP", dir.File("orig"), stored), 15);
  for (const char* name : {"PKZ110.ZIP", "PKZ110EI.ZIP", "PKZ110ES.ZIP", "PKZ204EX.ZIP",
                           "PKZ80B1.ZIP", "PKZ80B2.ZIP", "PKZ80B3.ZIP", "PKZ80B4.ZIP"}) {
    archive::TZipReader reader;
    const std::string out = dir.File(name);
    ASSERT_EQ(Extract(kLegacyDir + "pkzip-dos-tests/" + name, out, reader), 15) << name;
    for (const std::string& file : ListDir(dir.File("orig"))) {
      EXPECT_TRUE(ReadAll(out + "/" + file) == ReadAll(dir.File("orig/" + file)))
          << name << " " << file;
    }
  }
}

TEST(LegacyExtractTest, EveryLegacyArchiveExtractsAllItsFiles) {
  std::string list;
  Shell("cd " + Quote(kLegacyDir) + " && ls */*.zip */*.ZIP", &list);
  std::stringstream names(list);
  std::string name;
  int archives = 0;
  while (names >> name) {
    TempDir dir;
    archive::TZipReader reader;
    TScriptedInteraction interaction;
    reader.Interaction = &interaction;
    reader.RecreateDirs = true;
    int files = 0;
    reader.SetZipName(kLegacyDir + name);
    reader.ReadZip();
    for (int i = 0; i < reader.Count(); ++i) files += reader.Entry(i).FileName.empty() ? 0 : 1;
    const int extracted = Extract(kLegacyDir + name, dir.Path(), reader);
    // many_formats.zip also holds Deflate64, BZip2 and LZMA entries, which this layer lacks.
    const int unsupported = name == "zip-ada/many_formats.zip" ? 3 : 0;
    EXPECT_EQ(extracted, files - unsupported) << name;
    EXPECT_EQ(interaction.messages.size(), static_cast<std::size_t>(unsupported)) << name;
    ++archives;
  }
  EXPECT_GE(archives, 30);
}

TEST(ExtractTest, UnknownMethodIsReportedThroughTheInteraction) {
  TempDir dir;
  archive::TZipReader reader;
  TScriptedInteraction interaction;
  reader.Interaction = &interaction;
  reader.FilesList = {"$14_df64.tmp"};
  reader.SetZipName(kLegacyDir + "zip-ada/many_formats.zip");
  reader.SetDestDir(dir.Path());
  reader.OverwriteMode = archive::TUZOverwriteMode::Always;
  int badCrc = 0;
  reader.OnBadCRC = [&](archive::TZipReader&, std::uint32_t, std::uint32_t, int) { ++badCrc; };
  EXPECT_EQ(reader.UnZip(), 0);
  ASSERT_EQ(interaction.messages.size(), 1u);
  EXPECT_EQ(interaction.messages[0], "Zip Error: Unknown Compression Method");
  EXPECT_EQ(badCrc, 1);
  EXPECT_TRUE(ListDir(dir.Path()).empty());
}

// Makes an archive with Info-ZIP zip from (name, content) pairs under a source folder.
std::string ZipOf(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& files,
                  const std::string& options = "-q") {
  for (const auto& [name, content] : files) {
    Shell("mkdir -p " + Quote(platform::ParentPath(dir.File("zsrc/" + name))));
    testsupport::WriteText(dir.File("zsrc/" + name), content);
  }
  const std::string archive = dir.File("made.zip");
  std::string names;
  for (const auto& f : files) names += " " + Quote(f.first);
  Shell("cd " + Quote(dir.File("zsrc")) + " && zip " + options + " " + Quote(archive) + names);
  return archive;
}

TEST(ExtractTest, DamagedEntryLeavesTheExistingFileIntact) {
  TempDir dir;
  const std::string text(50000, 'a');
  std::string archive = ZipOf(dir, {{"report.doc", text + "tail of the report"}});
  // Flip a byte in the middle of the deflated data.
  Bytes bytes = ReadAll(archive);
  bytes[30 + 10 + 40] ^= 0x55;
  testsupport::WriteAll(archive, bytes);
  Shell("mkdir -p " + Quote(dir.File("out")));
  testsupport::WriteText(dir.File("out/report.doc"), "the good copy");

  archive::TZipReader reader;
  // Depending on the bits flipped the decoder meets invalid data (its own outcome) or
  // produces other bytes (a CRC mismatch); either way the entry fails once.
  int failures = 0;
  reader.OnBadCRC = [&](archive::TZipReader&, std::uint32_t, std::uint32_t, int) { ++failures; };
  reader.OnSkippingFile = [&](archive::TZipReader&, int reason, const std::string&, int) {
    EXPECT_EQ(reason, archive::TZipReader::kSkipBadData);
    ++failures;
  };
  EXPECT_EQ(Extract(archive, dir.File("out"), reader), 0);
  EXPECT_EQ(failures, 1);
  const Bytes kept = ReadAll(dir.File("out/report.doc"));
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "the good copy");
  EXPECT_EQ(ListDir(dir.File("out")), std::vector<std::string>{"report.doc"});
}

// The central record says the data runs past the archive's end: refused before anything is
// decoded (it once ran into "Premature end of file reached").
TEST(ExtractTest, EntryClaimingMoreDataThanTheArchiveHoldsLeavesTheExistingFileIntact) {
  TempDir dir;
  const std::string archive = ZipOf(dir, {{"b.bin", std::string(300000, 'z')}}, "-q -1");
  // The central header says the compressed data runs about 1 MB, far past the archive's end.
  Bytes d = ReadAll(archive);
  std::size_t at = d.size() - 22;
  while (!(d[at] == 'P' && d[at + 1] == 'K' && d[at + 2] == 1 && d[at + 3] == 2)) --at;
  d[at + 20] = 0xFF;
  d[at + 21] = 0xFF;
  d[at + 22] = 0x0F;
  testsupport::WriteAll(archive, d);
  Shell("mkdir -p " + Quote(dir.File("out")));
  testsupport::WriteText(dir.File("out/b.bin"), "old");
  archive::TZipReader reader;
  std::vector<int> reasons;
  reader.OnSkippingFile = [&](archive::TZipReader&, int reason, const std::string&, int) {
    reasons.push_back(reason);
  };
  EXPECT_EQ(Extract(archive, dir.File("out"), reader), 0);
  // The local header, which zip wrote, says the true size: the two records disagree.
  EXPECT_EQ(reasons, std::vector<int>{archive::TZipReader::kSkipBadLocalHeader});
  const Bytes kept = ReadAll(dir.File("out/b.bin"));
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "old");
  EXPECT_EQ(ListDir(dir.File("out")), std::vector<std::string>{"b.bin"});
}

// An archive cut in the middle of its data: the directory comes from the local headers,
// and the read runs out of bytes.
TEST(ExtractTest, CutArchiveRaisesAndLeavesTheExistingFileIntact) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 20000; ++i) text += std::to_string(i * 7919 % 10007) + " ";
  const std::string archive = ZipOf(dir, {{"b.bin", text}}, "-q -1");
  Bytes d = ReadAll(archive);
  d.resize(d.size() / 2);
  testsupport::WriteAll(archive, d);
  Shell("mkdir -p " + Quote(dir.File("out")));
  testsupport::WriteText(dir.File("out/b.bin"), "old");
  archive::TZipReader reader;
  reader.IncompleteZipMode = archive::TIncompleteZipMode::izAssumeBad;
  try {
    Extract(archive, dir.File("out"), reader);
    ADD_FAILURE() << "no error";
  } catch (const archive::EFatalUnzipError& e) {
    EXPECT_STREQ(e.what(), "Premature end of file reached");
  }
  const Bytes kept = ReadAll(dir.File("out/b.bin"));
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "old");
  EXPECT_EQ(ListDir(dir.File("out")), std::vector<std::string>{"b.bin"});
}

// Python writes the names zip would refuse; the archive carries hostile paths.
std::string HostileArchive(const TempDir& dir) {
  const std::string archive = dir.File("hostile.zip");
  testsupport::RunPython(
      "import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w');"
      "z.writestr('../escape.txt','x'); z.writestr('a/../../escape2.txt','x');"
      "z.writestr('/abs/escape3.txt','x'); z.writestr('ok/fine.txt','fine')",
      {archive});
  return archive;
}

TEST(ExtractTest, EntriesCannotLeaveTheDestination) {
  TempDir dir;
  const std::string archive = HostileArchive(dir);
  archive::TZipReader reader;
  reader.RecreateDirs = true;
  std::vector<std::pair<int, std::string>> skipped;
  reader.OnSkippingFile = [&](archive::TZipReader&, int reason, const std::string& name, int) {
    skipped.emplace_back(reason, name);
  };
  const std::string dest = dir.File("deep/dest");
  EXPECT_EQ(Extract(archive, dest, reader), 1);
  EXPECT_TRUE(platform::FileExists(dest + "/ok/fine.txt"));
  EXPECT_FALSE(platform::FileExists(dir.File("deep/escape.txt")));
  EXPECT_FALSE(platform::FileExists(dir.File("escape2.txt")));
  EXPECT_FALSE(platform::FileExists("/abs/escape3.txt"));
  ASSERT_EQ(skipped.size(), 3u);
  for (const auto& s : skipped)
    EXPECT_EQ(s.first, archive::TZipReader::kSkipUnsafePath) << s.second;
}

TEST(ExtractTest, WithoutRecreateDirsOnlyTheBareNameIsUsed) {
  TempDir dir;
  const std::string archive = HostileArchive(dir);
  archive::TZipReader reader;
  EXPECT_EQ(Extract(archive, dir.File("flat"), reader), 4);
  std::vector<std::string> expected = {"escape.txt", "escape2.txt", "escape3.txt", "fine.txt"};
  EXPECT_EQ(ListDir(dir.File("flat")), expected);
}

TEST(ExtractTest, RecreateDirsWithRootDirStripsThePrefix) {
  TempDir dir;
  const std::string archive = ZipOf(dir, {{"Data/Docs/report.doc", "report"}});
  archive::TZipReader reader;
  reader.RecreateDirs = true;
  reader.SetRootDir("data");  // compared without regard to case
  EXPECT_EQ(Extract(archive, dir.File("out"), reader), 1);
  EXPECT_TRUE(platform::FileExists(dir.File("out/Docs/report.doc")));
}

TEST(ExtractTest, PatternsMatchTheWholeStoredPath) {
  TempDir dir;
  const std::string archive =
      ZipOf(dir, {{"Data/Docs/report.doc", "r"}, {"Data/notes.txt", "n"}, {"x.doc", "x"}});
  archive::TZipReader reader;
  reader.SetZipName(archive);
  reader.SetDestDir(dir.File("out"));
  reader.FilesList = {"*.DOC"};
  EXPECT_EQ(reader.UnZip(), 2);
  EXPECT_EQ(ListDir(dir.File("out")), (std::vector<std::string>{"report.doc", "x.doc"}));
}

TEST(ExtractTest, OverwriteModes) {
  TempDir dir;
  const std::string archive = ZipOf(dir, {{"Docs/report.doc", "new"}});
  const std::string target = dir.File("out/report.doc");
  Shell("mkdir -p " + Quote(dir.File("out")));
  auto content = [&] {
    Bytes b = ReadAll(target);
    return std::string(b.begin(), b.end());
  };

  archive::TZipReader reader;
  TScriptedInteraction interaction;
  reader.Interaction = &interaction;
  std::vector<int> reasons;
  reader.OnSkippingFile = [&](archive::TZipReader&, int reason, const std::string&, int) {
    reasons.push_back(reason);
  };
  reader.SetZipName(archive);
  reader.SetDestDir(dir.File("out"));
  reader.DoAll = true;

  testsupport::WriteText(target, "old");
  reader.OverwriteMode = archive::TUZOverwriteMode::Never;
  EXPECT_EQ(reader.UnZip(), 0);
  EXPECT_EQ(content(), "old");

  reader.OverwriteMode = archive::TUZOverwriteMode::Prompt;
  interaction.answer = false;
  EXPECT_EQ(reader.UnZip(), 0);
  EXPECT_EQ(content(), "old");
  ASSERT_EQ(interaction.questions.size(), 1u);
  EXPECT_EQ(interaction.questions[0], "File Exists Alert: Replace existing file report.doc?");

  interaction.answer = true;
  EXPECT_EQ(reader.UnZip(), 1);
  EXPECT_EQ(content(), "new");
  EXPECT_EQ(reasons, (std::vector<int>{archive::kSkipFileExists, archive::kSkipFileExists}));

  // Without an interaction the question counts as answered No.
  testsupport::WriteText(target, "old");
  reader.Interaction = nullptr;
  EXPECT_EQ(reader.UnZip(), 0);
  EXPECT_EQ(content(), "old");

  reader.OverwriteMode = archive::TUZOverwriteMode::Always;
  EXPECT_EQ(reader.UnZip(), 1);
  EXPECT_EQ(content(), "new");
}

TEST(ExtractTest, WrongPasswordSkipsAndANewOneIsTried) {
  if (!testsupport::HaveTool("zip")) GTEST_SKIP();
  TempDir dir;
  const std::string archive = ZipOf(dir, {{"secret.txt", "the secret text"}}, "-q -P right");
  archive::TZipReader reader;
  reader.Password = "wrong";
  std::vector<int> reasons;
  reader.OnSkippingFile = [&](archive::TZipReader&, int reason, const std::string&, int) {
    reasons.push_back(reason);
  };
  EXPECT_EQ(Extract(archive, dir.File("a"), reader), 0);
  EXPECT_EQ(reasons, std::vector<int>{archive::kSkipBadPassword});

  archive::TZipReader retry;
  retry.Password = "wrong";
  int asked = 0;
  retry.OnBadPassword = [&](archive::TZipReader&, int, std::string& password) {
    ++asked;
    password = "right";
  };
  EXPECT_EQ(Extract(archive, dir.File("b"), retry), 1);
  EXPECT_GE(asked, 1);
  const Bytes b = ReadAll(dir.File("b/secret.txt"));
  EXPECT_EQ(std::string(b.begin(), b.end()), "the secret text");
}

TEST(ExtractTest, UnixModeAndDateAreRestored) {
  TempDir dir;
  Shell("mkdir -p " + Quote(dir.File("zsrc")));
  testsupport::WriteText(dir.File("zsrc/run.sh"), "#!/bin/sh\n");
  Shell("chmod 0751 " + Quote(dir.File("zsrc/run.sh")) + " && touch -d '2011-03-04 05:06:08' " +
        Quote(dir.File("zsrc/run.sh")));
  const std::string archive = dir.File("m.zip");
  Shell("cd " + Quote(dir.File("zsrc")) + " && zip -q " + Quote(archive) + " run.sh");
  archive::TZipReader reader;
  ASSERT_EQ(Extract(archive, dir.File("out"), reader), 1);
  platform::FileInfo info;
  ASSERT_FALSE(platform::GetFileInfo(dir.File("out/run.sh"), info));
  EXPECT_EQ(info.unixMode & 0777, 0751u);
  platform::FileInfo source;
  platform::GetFileInfo(dir.File("zsrc/run.sh"), source);
  // DOS times keep even seconds: 05:06:08 survives exactly.
  EXPECT_EQ(info.times.lastWrite, source.times.lastWrite);

  // Without RetainAttributes the file keeps the default mode.
  archive::TZipReader plain;
  plain.RetainAttributes = false;
  ASSERT_EQ(Extract(archive, dir.File("out2"), plain), 1);
  platform::GetFileInfo(dir.File("out2/run.sh"), info);
  EXPECT_EQ(info.unixMode & 0777, 0644u);
}

TEST(ExtractTest, EventsReportProgressAndSelection) {
  TempDir dir;
  const std::string archive = ZipOf(dir, {{"a.txt", std::string(300000, 'a')}, {"b.txt", "b"}});
  archive::TZipReader reader;
  int infoFiles = -1;
  std::int64_t infoBytes = -1;
  std::vector<int> totals;
  std::vector<std::string> started, ended;
  reader.OnStartUnZipInfo = [&](archive::TZipReader&, int n, std::int64_t bytes, bool&) {
    infoFiles = n;
    infoBytes = bytes;
  };
  reader.OnTotalPercentDone = [&](archive::TZipReader&, int p) { totals.push_back(p); };
  reader.OnStartUnZip = [&](archive::TZipReader&, int, const std::string& n, bool&) {
    started.push_back(n);
  };
  reader.OnEndUnZip = [&](archive::TZipReader&, int, const std::string& n) { ended.push_back(n); };
  EXPECT_EQ(Extract(archive, dir.File("out"), reader), 2);
  EXPECT_EQ(infoFiles, 2);
  EXPECT_EQ(infoBytes, 300001);
  ASSERT_FALSE(totals.empty());
  EXPECT_EQ(totals.back(), 100);
  EXPECT_TRUE(std::is_sorted(totals.begin(), totals.end()));
  EXPECT_EQ(started, ended);
  EXPECT_EQ(ended.size(), 2u);

  // A handler that skips an entry: nothing is written, an existing file stays.
  testsupport::WriteText(dir.File("out/b.txt"), "keep");
  reader.OnStartUnZip = [&](archive::TZipReader&, int, const std::string&, bool& skip) {
    skip = true;
  };
  EXPECT_EQ(reader.UnZip(), 2);
  const Bytes kept = ReadAll(dir.File("out/b.txt"));
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep");
  EXPECT_EQ(ListDir(dir.File("out")).size(), 2u);
}

// Regression: a stop asked for in OnStartUnZipInfo made UnZip return 0; it returns the
// number of entries selected so far, and extracts none of them.
TEST(ExtractTest, StopInStartUnZipInfoReturnsTheSelectedCountAndWritesNothing) {
  TempDir dir;
  const std::string archive =
      ZipOf(dir, {{"a.txt", "aaa"}, {"b.txt", "bbb"}, {"c.dat", "ccc"}});
  archive::TZipReader reader;
  reader.SetZipName(archive);
  reader.SetDestDir(dir.File("out"));
  reader.DoAll = false;
  reader.FilesList = {"*.txt"};
  int announced = -1;
  reader.OnStartUnZipInfo = [&](archive::TZipReader&, int n, std::int64_t, bool& stopNow) {
    announced = n;
    stopNow = true;
  };
  EXPECT_EQ(reader.UnZip(), 2);
  EXPECT_EQ(announced, 2);
  EXPECT_TRUE(ListDir(dir.File("out")).empty());
}

TEST(ExtractTest, TestZipWritesNothing) {
  TempDir dir;
  const std::string archive = ZipOf(dir, {{"a.txt", "aaa"}, {"b.txt", "bbb"}});
  archive::TZipReader reader;
  reader.SetZipName(archive);
  reader.SetDestDir(dir.File("never"));
  reader.DoAll = true;
  EXPECT_EQ(reader.TestZip(), 2);
  EXPECT_FALSE(platform::DirectoryExists(dir.File("never")));
}

TEST(ExtractTest, ReadOnlyTargetRaisesTheCreateError) {
  TempDir dir;
  const std::string archive = ZipOf(dir, {{"ro.txt", "new"}});
  // Root may write anything: the extraction runs as an unprivileged user, who owns the
  // read-only target. The child reports through its exit status.
  chmod(dir.Path().c_str(), 0777);
  const int status = testsupport::RunUnprivileged([&] {
    try {
      platform::CreateDirectory(dir.File("out"));
      testsupport::WriteText(dir.File("out/ro.txt"), "old");
      if (chmod(dir.File("out/ro.txt").c_str(), 0444) != 0) return 10;
      archive::TZipReader reader;
      try {
        Extract(archive, dir.File("out"), reader);
        return 1;
      } catch (const archive::EFOpenError&) {
      }
      const Bytes kept = ReadAll(dir.File("out/ro.txt"));
      return std::string(kept.begin(), kept.end()) == "old" ? 0 : 2;
    } catch (...) {
      return 11;
    }
  });
  EXPECT_EQ(status, 0) << "1: no EFOpenError; 2: the read-only file changed";
}

}  // namespace

namespace {

platform::FileInfo InfoOf(const std::string& path) {
  platform::FileInfo info;
  EXPECT_FALSE(platform::GetFileInfo(path, info)) << path;
  return info;
}

// Extracts archive into dest with the reader's held directories and times set as given.
int ExtractHeld(archive::TZipReader& reader, const std::string& archive, const std::string& dest,
                const platform::OpenDirectory* archiveDir, const platform::OpenDirectory* destDir,
                std::optional<archive::TZipReader::TFileTimes> times) {
  reader.ZipDirectory = archiveDir;
  reader.DestDirectory = destDir;
  reader.ExtractedFileTimes = std::move(times);
  return Extract(archive, dest, reader);
}

}  // namespace

TEST(ExtractTest, GivenTimesGoToTheOneFileOfItsName) {
  TempDir dir;
  const std::string one = ZipOf(dir, {{"a.txt", "alpha"}});
  Shell("mv " + Quote(one) + " " + Quote(dir.File("one.zip")));
  const std::string two = ZipOf(dir, {{"a.txt", "alpha"}, {"b.txt", "beta"}});
  const platform::FileTime lastWrite = platform::UnixToFileTime(1234567890, 123456700);
  const platform::FileTime lastAccess = platform::UnixToFileTime(1334567890, 987654300);
  const archive::TZipReader::TFileTimes times{"a.txt", lastAccess, lastWrite};

  // One file of that name: it has exactly these times, through the held directories too.
  archive::TZipReader reader;
  Shell("mkdir -p " + Quote(dir.File("out1")));
  const platform::OpenDirectory zips(dir.Path());
  const platform::OpenDirectory out1(dir.File("out1"));
  ASSERT_EQ(ExtractHeld(reader, dir.File("one.zip"), dir.File("out1"), &zips, &out1, times), 1);
  EXPECT_TRUE(reader.TimesGiven());
  const platform::FileInfo given = InfoOf(dir.File("out1/a.txt"));
  EXPECT_EQ(given.times.lastWrite, lastWrite);
  EXPECT_EQ(given.times.lastAccess, lastAccess);
  const Bytes a = ReadAll(dir.File("out1/a.txt"));
  EXPECT_EQ(std::string(a.begin(), a.end()), "alpha");

  // Another name, or two files: the stored dates stay, and the reader says so.
  archive::TZipReader other;
  ASSERT_EQ(ExtractHeld(other, dir.File("one.zip"), dir.File("out2"), nullptr, nullptr,
                        archive::TZipReader::TFileTimes{"b.txt", lastAccess, lastWrite}),
            1);
  EXPECT_FALSE(other.TimesGiven());
  const platform::FileTime stored = InfoOf(dir.File("out2/a.txt")).times.lastWrite;
  EXPECT_NE(stored, lastWrite);
  EXPECT_EQ(stored % 20'000'000, 0) << "a DOS date: whole even seconds";
  archive::TZipReader both;
  ASSERT_EQ(ExtractHeld(both, two, dir.File("out3"), nullptr, nullptr, times), 2);
  EXPECT_FALSE(both.TimesGiven());
  // (Its a.txt was written again for it, perhaps a second or two later.)
  const platform::FileTime storedInTwo = InfoOf(dir.File("out3/a.txt")).times.lastWrite;
  EXPECT_NE(storedInTwo, lastWrite);
  EXPECT_EQ(storedInTwo % 20'000'000, 0);
  // The times belong to one extraction: without them the next has its stored date.
  ASSERT_EQ(ExtractHeld(reader, dir.File("one.zip"), dir.File("out4"), nullptr, nullptr, {}), 1);
  EXPECT_FALSE(reader.TimesGiven());
  EXPECT_EQ(InfoOf(dir.File("out4/a.txt")).times.lastWrite, stored);
}

TEST(ExtractTest, HeldDirectoriesAnswerAsTheirPaths) {
  TempDir dir;
  const std::string archive = ZipOf(dir, {{"a.txt", "alpha"}});
  Shell("mkdir -p " + Quote(dir.File("out")) + " " + Quote(dir.File("zips")) + " && mv " +
        Quote(archive) + " " + Quote(dir.File("zips/a.zip")));
  const platform::OpenDirectory zips(dir.File("zips"));

  // A missing archive fails with the same error through the held directory as without it.
  archive::TZipReader held;
  archive::TZipReader plain;
  std::string heldError;
  std::string plainError;
  try {
    ExtractHeld(held, dir.File("zips/none.zip"), dir.File("out"), &zips, nullptr, {});
  } catch (const archive::EFOpenError& error) {
    heldError = error.what();
  }
  try {
    ExtractHeld(plain, dir.File("zips/none.zip"), dir.File("out"), nullptr, nullptr, {});
  } catch (const archive::EFOpenError& error) {
    plainError = error.what();
  }
  EXPECT_FALSE(heldError.empty());
  EXPECT_EQ(heldError, plainError);

  // A held destination that was removed is not written into: DestDir is made again.
  {
    const platform::OpenDirectory out(dir.File("out"));
    Shell("rmdir " + Quote(dir.File("out")));
    archive::TZipReader reader;
    ASSERT_EQ(ExtractHeld(reader, dir.File("zips/a.zip"), dir.File("out"), &zips, &out, {}), 1);
    const Bytes a = ReadAll(dir.File("out/a.txt"));
    EXPECT_EQ(std::string(a.begin(), a.end()), "alpha");
  }
  // One that was moved receives the file where it went.
  {
    const platform::OpenDirectory out(dir.File("out"));
    Shell("mv " + Quote(dir.File("out")) + " " + Quote(dir.File("moved")));
    archive::TZipReader reader;
    ASSERT_EQ(ExtractHeld(reader, dir.File("zips/a.zip"), dir.File("out"), &zips, &out, {}), 1);
    EXPECT_FALSE(platform::FileExists(dir.File("out/a.txt")));
    EXPECT_TRUE(platform::FileExists(dir.File("moved/a.txt")));
  }
  // A held directory that is not the one named is left alone.
  {
    const platform::OpenDirectory moved(dir.File("moved"));
    archive::TZipReader reader;
    ASSERT_EQ(ExtractHeld(reader, dir.File("zips/a.zip"), dir.File("other"), &zips, &moved, {}), 1);
    EXPECT_TRUE(platform::FileExists(dir.File("other/a.txt")));
  }
}
