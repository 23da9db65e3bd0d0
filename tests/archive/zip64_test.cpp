// Protects Zip64: hand-written Zip64 records (the extra field ID 0x0001 in local and central
// headers, the end record and its locator) are read to the right values; archives that
// Python's zipfile (force_zip64) and Info-ZIP (zip -fz) force into Zip64 are listed, tested
// and extracted byte for byte; archives of more than 65,534 entries load whole, whether
// their count went into a Zip64 end record or wrapped in the 16-bit field; and the writer's
// Zip64 output is accepted by unzip -t, 7z t and Python's zipfile while everything that fits
// the fixed fields stays free of Zip64. The 4 GiB file itself is the slow end-to-end test.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "archive/zip_constants.h"
#include "archive/zip_errors.h"
#include "archive/zip_reader.h"
#include "archive/zip_writer.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/archive/zip_builder.h"

namespace {

using testsupport::Quote;
using testsupport::ReadAll;
using testsupport::Shell;
using testsupport::TempDir;
using testsupport::WriteAll;
using testsupport::WriteText;
using ziptest::Bytes;
using ziptest::ToBytes;

// Loads the archive and extracts everything into dir/out; returns UnZip's count.
int ExtractAll(const std::string& archive, const std::string& dest, int* badCrc = nullptr) {
  archive::TZipReader reader;
  reader.SetZipName(archive);
  reader.SetDestDir(dest);
  reader.DoAll = true;
  reader.RecreateDirs = true;
  reader.OverwriteMode = archive::TUZOverwriteMode::Always;
  if (badCrc != nullptr) {
    reader.OnBadCRC = [badCrc](archive::TZipReader&, std::uint32_t, std::uint32_t, int) {
      ++*badCrc;
    };
  }
  reader.ReadZip();
  return reader.UnZip();
}

// --- Hand-written records --------------------------------------------------------------

TEST(Zip64RecordsTest, CentralAndLocalExtraFieldsGiveTheSizesAndOffset) {
  TempDir dir;
  const Bytes first = ToBytes("first entry, its sizes in Zip64 fields\n");
  const Bytes second = ToBytes("second entry, its offset in the central Zip64 field too\n");
  const Bytes archive = ziptest::Build(
      {{.name = "a.txt", .data = first, .zip64Local = true, .zip64Central = true},
       {.name = "dir/b.txt", .data = second, .zip64Local = true, .zip64Central = true}},
      {.zip64End = true});
  WriteAll(dir.File("z.zip"), archive);

  archive::TZipReader reader;
  reader.SetZipName(dir.File("z.zip"));
  reader.ReadZip();
  ASSERT_EQ(reader.Count(), 2);
  EXPECT_TRUE(reader.EndCentral().Zip64);
  EXPECT_EQ(reader.EndCentral().TotalEntries, 2u);
  const archive::TZipHeaderInfo& b = reader.Entry(1);
  EXPECT_EQ(b.StoredName(), "dir/b.txt");
  EXPECT_EQ(b.UncompressedSize, second.size());
  EXPECT_EQ(b.CompressedSize, second.size());
  // Behind the first entry: its 30-byte header, name, 20-byte Zip64 field and data.
  EXPECT_EQ(b.LocalHeaderOffset, 30u + 5 + 20 + first.size());

  EXPECT_EQ(ExtractAll(dir.File("z.zip"), dir.File("out")), 2);
  EXPECT_TRUE(ReadAll(dir.File("out/a.txt")) == first);
  EXPECT_TRUE(ReadAll(dir.File("out/dir/b.txt")) == second);
}

TEST(Zip64RecordsTest, EndRecordValuesComeFromTheZip64EndRecord) {
  TempDir dir;
  // The 16-bit fields say 0xFFFF and the 32-bit ones 0xFFFFFFFF: only the Zip64 end
  // record, found through its locator, says where the directory is.
  std::vector<ziptest::TEntry> entries;
  for (int i = 0; i < 3; ++i)
    entries.push_back({.name = "f" + std::to_string(i), .data = ToBytes(std::string(i, 'x'))});
  const Bytes archive = ziptest::Build(entries, {.zip64End = true, .prefix = {}});
  ASSERT_EQ(archive::zip::LoadLe32(&archive[archive.size() - 22 - 20]),
            archive::zip::kZip64LocatorSignature);
  WriteAll(dir.File("z.zip"), archive);
  archive::TZipReader reader;
  reader.SetZipName(dir.File("z.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.Count(), 3);
  EXPECT_FALSE(reader.DirectoryFromScan());
  EXPECT_EQ(reader.EndCentral().CentralDirOffset, 3 * 32u + 0 + 1 + 2);
}

TEST(Zip64RecordsTest, OnlyTheMarkedFieldsAreTakenFromTheExtraField) {
  // A central Zip64 field holds, in order, just the values whose fixed fields hold the
  // marker. Here all three are marked; a reader that took the offset as the first value
  // would read the uncompressed size as an offset and find no local header.
  TempDir dir;
  const Bytes data = ToBytes("only the central record is Zip64\n");
  WriteAll(dir.File("z.zip"),
           ziptest::Build({{.name = "c.txt", .data = data, .zip64Central = true}}));
  EXPECT_EQ(ExtractAll(dir.File("z.zip"), dir.File("out")), 1);
  EXPECT_TRUE(ReadAll(dir.File("out/c.txt")) == data);
}

TEST(Zip64RecordsTest, WriterFieldsFitOrGoToTheExtraField) {
  // The central record of an entry past every 32-bit limit, written and read back.
  TempDir dir;
  archive::TZipHeaderInfo big;
  big.SetFileName("huge.img");
  big.UncompressedSize = 0x123456789ull;
  big.CompressedSize = 0xFFFFFFFFull;  // the marker itself does not fit
  big.LocalHeaderOffset = 0x100000000ull;
  big.Crc32 = 0xCAFEF00D;
  {
    archive::TLFNFileStream out(dir.File("rec"), archive::TLFNFileMode::Create);
    big.WriteCentralHeader(out);
  }
  const Bytes bytes = ReadAll(dir.File("rec"));
  ASSERT_EQ(bytes.size(), 46u + 8 + 4 + 24);
  EXPECT_EQ(archive::zip::LoadLe16(&bytes[archive::zip::central::kVersionNeeded]),
            archive::zip::kVersionZip64);
  EXPECT_EQ(archive::zip::LoadLe32(&bytes[archive::zip::central::kCompressedSize]), 0xFFFFFFFFu);
  EXPECT_EQ(archive::zip::LoadLe32(&bytes[archive::zip::central::kUncompressedSize]), 0xFFFFFFFFu);
  EXPECT_EQ(archive::zip::LoadLe32(&bytes[archive::zip::central::kLocalHeaderOffset]), 0xFFFFFFFFu);
  EXPECT_EQ(archive::zip::LoadLe16(&bytes[archive::zip::central::kExtraLength]), 28u);
  EXPECT_EQ(archive::zip::LoadLe16(&bytes[54]), 1u);   // ID
  EXPECT_EQ(archive::zip::LoadLe16(&bytes[56]), 24u);  // data length
  EXPECT_EQ(archive::zip::LoadLe64(&bytes[58]), 0x123456789ull);
  EXPECT_EQ(archive::zip::LoadLe64(&bytes[66]), 0xFFFFFFFFull);
  EXPECT_EQ(archive::zip::LoadLe64(&bytes[74]), 0x100000000ull);

  archive::TLFNFileStream in(dir.File("rec"), archive::TLFNFileMode::OpenRead);
  archive::TZipHeaderInfo back;
  ASSERT_TRUE(back.ReadCentralHeader(in));
  EXPECT_EQ(back.UncompressedSize, big.UncompressedSize);
  EXPECT_EQ(back.CompressedSize, big.CompressedSize);
  EXPECT_EQ(back.LocalHeaderOffset, big.LocalHeaderOffset);

  // A local header for such sizes needs LocalZip64; without it nothing wrapped is written.
  archive::TLFNFileStream out(dir.File("local"), archive::TLFNFileMode::Create);
  EXPECT_THROW(big.WriteLocalHeader(out), archive::EZipError);
  big.LocalZip64 = true;
  big.WriteLocalHeader(out);
  EXPECT_EQ(out.Position(), 30 + 8 + 20);
}

// --- Archives of many entries -------------------------------------------------------------

Bytes EmptyEntries(int count, const ziptest::TOptions& options = {}) {
  std::vector<ziptest::TEntry> entries(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) entries[static_cast<std::size_t>(i)].name = "e" + std::to_string(i);
  return ziptest::Build(entries, options);
}

TEST(Zip64ManyEntriesTest, A16BitCountThatWrappedIsNotTakenForAnEmptyArchive) {
  // 65,536 entries without a Zip64 end record: the count field says 0.
  TempDir dir;
  const Bytes archive = EmptyEntries(65536);
  ASSERT_EQ(archive::zip::LoadLe16(&archive[archive.size() - 12]), 0u);
  WriteAll(dir.File("z.zip"), archive);
  archive::TZipReader reader;
  reader.SetZipName(dir.File("z.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.Count(), 65536);
  reader.DoAll = true;
  EXPECT_EQ(reader.TestZip(), 65536);
  // 65,537 wraps to 1.
  WriteAll(dir.File("z1.zip"), EmptyEntries(65537));
  archive::TZipReader more;
  more.SetZipName(dir.File("z1.zip"));
  more.ReadZip();
  EXPECT_EQ(more.Count(), 65537);
}

TEST(Zip64ManyEntriesTest, AnEmptyArchiveStaysEmpty) {
  TempDir dir;
  WriteAll(dir.File("z.zip"), ziptest::Build({}));
  archive::TZipReader reader;
  reader.SetZipName(dir.File("z.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.Count(), 0);
  EXPECT_FALSE(reader.DirectoryFromScan());
}

TEST(Zip64ManyEntriesTest, SeventyThousandEntriesFromPythonExtractWhole) {
  if (!testsupport::HaveTool("python3")) GTEST_SKIP() << "python3";
  TempDir dir;
  ASSERT_EQ(testsupport::RunPython(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    for i in range(70000):
        z.writestr('d%d/f%05d.txt' % (i % 7, i), b'entry %d\n' % i)
)",
                                   {dir.File("big.zip")}),
            0);
  int badCrc = 0;
  EXPECT_EQ(ExtractAll(dir.File("big.zip"), dir.File("out"), &badCrc), 70000);
  EXPECT_EQ(badCrc, 0);
  for (int i : {0, 65534, 65535, 65536, 69999}) {
    char name[32];
    std::snprintf(name, sizeof name, "d%d/f%05d.txt", i % 7, i);
    EXPECT_TRUE(ReadAll(dir.File("out/") + name) == ToBytes("entry " + std::to_string(i) + "\n"))
        << name;
  }
  std::size_t files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.File("out")))
    files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 70000u);
}

// --- Peers forced into Zip64 ----------------------------------------------------------------

std::map<std::string, Bytes> Sources(const TempDir& dir) {
  std::map<std::string, Bytes> files;
  files["empty.txt"] = {};
  files["text.txt"] = ToBytes(std::string(5000, 'v') + "Varnholt\n");
  Bytes mixed(300000);
  for (std::size_t i = 0; i < mixed.size(); ++i)
    mixed[i] = static_cast<std::uint8_t>((i * 2654435761u) >> (i % 13));
  files["mixed.bin"] = mixed;
  for (const auto& [name, bytes] : files) WriteAll(dir.File(name), bytes);
  return files;
}

bool FirstLocalHasZip64Block(const Bytes& raw) {
  const std::size_t nameLength = archive::zip::LoadLe16(&raw[archive::zip::local::kNameLength]);
  const std::size_t extraEnd = archive::zip::kLocalHeaderSize + nameLength +
                               archive::zip::LoadLe16(&raw[archive::zip::local::kExtraLength]);
  for (std::size_t at = archive::zip::kLocalHeaderSize + nameLength; at + 4 <= extraEnd;
       at += 4 + archive::zip::LoadLe16(&raw[at + 2])) {
    if (archive::zip::LoadLe16(&raw[at]) == archive::zip::kZip64ExtraId) return true;
  }
  return false;
}

std::string PeerCaseName(std::size_t index) {
  static const char* const kNames[] = {"InfoZipDeflated", "InfoZipStored", "InfoZipStreamed",
                                       "PythonDeflated", "PythonStored"};
  return kNames[index];
}

class Zip64PeerTest : public ::testing::TestWithParam<const char*> {};

TEST_P(Zip64PeerTest, ListedTestedAndExtracted) {
  const std::string command = GetParam();
  const std::string tool = command.substr(0, command.find(' '));
  if (!testsupport::HaveTool(tool == "PY" ? "python3" : tool)) GTEST_SKIP() << tool;
  TempDir dir;
  const auto files = Sources(dir);
  std::string run = tool == "PY" ? testsupport::Python() + command.substr(2) : command;
  ASSERT_EQ(Shell("cd " + Quote(dir.Path()) + " && " + run + " >/dev/null 2>&1"), 0) << run;
  const std::string archive = dir.File("peer.zip");

  // The peer really wrote Zip64: the first local header has a 0x0001 block.
  const Bytes raw = ReadAll(archive);
  ASSERT_TRUE(FirstLocalHasZip64Block(raw));

  archive::TZipReader reader;
  reader.DoAll = true;
  reader.SetZipName(archive);
  reader.ReadZip();
  ASSERT_EQ(reader.Count(), static_cast<int>(files.size()));
  for (int i = 0; i < reader.Count(); ++i) {
    const archive::TZipHeaderInfo& e = reader.Entry(i);
    EXPECT_EQ(e.UncompressedSize, files.at(e.FileName).size()) << e.FileName;
  }
  EXPECT_EQ(reader.TestZip(), static_cast<int>(files.size()));
  EXPECT_EQ(ExtractAll(archive, dir.File("out")), static_cast<int>(files.size()));
  for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadAll(dir.File("out/" + name)) == bytes) << name;
}

INSTANTIATE_TEST_SUITE_P(
    Forced, Zip64PeerTest,
    ::testing::Values(
        "zip -q -fz peer.zip empty.txt text.txt mixed.bin",
        "zip -q -fz -0 peer.zip empty.txt text.txt mixed.bin",
        "cat mixed.bin | zip -q -fz peer.zip - && zip -q -fz peer.zip empty.txt text.txt && "
        "printf '@ -\\n@=mixed.bin\\n' | zipnote -w peer.zip",
        "PY -c \"import zipfile\nwith zipfile.ZipFile('peer.zip','w',zipfile.ZIP_DEFLATED) as z:\n"
        " for n in ['empty.txt','text.txt','mixed.bin']:\n"
        "  with z.open(n,'w',force_zip64=True) as f: f.write(open(n,'rb').read())\"",
        "PY -c \"import zipfile\nwith zipfile.ZipFile('peer.zip','w') as z:\n"
        " for n in ['empty.txt','text.txt','mixed.bin']:\n"
        "  with z.open(n,'w',force_zip64=True) as f: f.write(open(n,'rb').read())\""),
    [](const auto& info) { return PeerCaseName(info.index); });

// --- The writer's Zip64 output --------------------------------------------------------------

// An archive of 65,534 entries plus the writer's one more gets a Zip64 end record, and the
// peers accept it. 65,534 entries plus none stays as it was.
TEST(Zip64WriterTest, SixtyFiveThousandFiveHundredThirtyFiveEntriesGetAZip64EndRecord) {
  TempDir dir;
  const Bytes original = EmptyEntries(65534);
  WriteAll(dir.File("many.zip"), original);
  WriteText(dir.File("one-more.txt"), "one more\n");
  archive::TZipWriter writer;
  writer.SetZipName(dir.File("many.zip"));
  writer.FilesList = {dir.File("one-more.txt")};
  ASSERT_EQ(writer.Zip(), 1);
  EXPECT_EQ(writer.Count(), 65535);
  const Bytes written = ReadAll(dir.File("many.zip"));
  const std::size_t end = written.size() - 22;
  EXPECT_EQ(archive::zip::LoadLe16(&written[end + archive::zip::endcentral::kTotalEntries]),
            0xFFFFu);
  EXPECT_EQ(archive::zip::LoadLe32(&written[end - 20]), archive::zip::kZip64LocatorSignature);
  const std::size_t record =
      archive::zip::LoadLe64(&written[end - 20 + archive::zip::zip64locator::kEndOffset]);
  EXPECT_EQ(archive::zip::LoadLe32(&written[record]), archive::zip::kZip64EndSignature);
  EXPECT_EQ(archive::zip::LoadLe64(&written[record + archive::zip::zip64end::kTotalEntries]),
            65535u);

  archive::TZipReader reader;
  reader.SetZipName(dir.File("many.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.Count(), 65535);
  EXPECT_TRUE(reader.EndCentral().Zip64);

  const std::string zip = Quote(dir.File("many.zip"));
  if (testsupport::HaveTool("unzip")) {
    EXPECT_EQ(Shell("unzip -tqq " + zip + " >/dev/null"), 0);
  }
  if (testsupport::HaveTool("7z")) {
    EXPECT_EQ(Shell("7z t " + zip + " >/dev/null"), 0);
  }
  if (testsupport::HaveTool("python3")) {
    EXPECT_EQ(testsupport::RunPython("import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                                     "assert len(z.infolist())==65535; assert z.testzip() is None; "
                                     "assert z.read('one-more.txt')==b'one more\\n'",
                                     {dir.File("many.zip")}),
              0);
  }
}

TEST(Zip64WriterTest, ArchivesThatFitHaveNoZip64Records) {
  TempDir dir;
  const auto files = Sources(dir);
  archive::TZipWriter writer;
  writer.SetZipName(dir.File("fits.zip"));
  for (const auto& [name, bytes] : files) writer.FilesList.push_back(dir.File(name));
  writer.PackLevel = 6;
  ASSERT_EQ(writer.Zip(), 3);
  const Bytes written = ReadAll(dir.File("fits.zip"));
  // No Zip64 signature, no version 45, no 0x0001 field: the central records have no extra.
  for (std::size_t i = 0; i + 4 <= written.size(); ++i) {
    const std::uint32_t v = archive::zip::LoadLe32(&written[i]);
    ASSERT_NE(v, archive::zip::kZip64EndSignature);
    ASSERT_NE(v, archive::zip::kZip64LocatorSignature);
    if (v == archive::zip::kCentralHeaderSignature) {
      EXPECT_EQ(archive::zip::LoadLe16(&written[i + archive::zip::central::kExtraLength]), 0u);
      EXPECT_EQ(archive::zip::LoadLe16(&written[i + archive::zip::central::kVersionNeeded]), 20u);
    }
  }
}

}  // namespace
