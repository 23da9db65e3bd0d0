// Protects reading archives made by other programs: Info-ZIP zip (stored and deflated
// entries, directory entries, entry and archive comments, extra fields whose local and
// central lengths differ), Python's zipfile (non-ASCII names with and without the UTF-8
// flag, extra fields, data descriptors) and 7-Zip. The oracle for every entry is Python's
// zipfile reading the same archive: names, methods, CRCs, sizes, dates and comments must
// agree field by field.
#include <gtest/gtest.h>

#include <sstream>

#include "archive/zip_reader.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using testsupport::Quote;
using testsupport::Shell;
using testsupport::TempDir;
using testsupport::WriteText;

struct OracleEntry {
  std::string name;
  unsigned method = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t uncompressedSize = 0;
  std::uint32_t dosDateTime = 0;
  std::string commentHex;
};

// Python lists the central directory; names decoded by the UTF-8 flag, else code page 437.
const char kOracleScript[] = R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
print(z.comment.hex())
for i in z.infolist():
    y, mo, d, h, mi, s = i.date_time
    dos = ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s // 2)
    print('\t'.join([i.filename.encode('utf-8').hex(), str(i.compress_type), str(i.CRC),
                     str(i.compress_size), str(i.file_size), str(dos), i.comment.hex()]))
)";

std::string FromHex(const std::string& hex) {
  std::string text;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return text;
}

std::vector<OracleEntry> Oracle(const std::string& archive, std::string& zipComment) {
  std::string output;
  EXPECT_EQ(testsupport::RunPython(kOracleScript, {archive}, &output), 0);
  std::istringstream lines(output);
  std::string line;
  std::getline(lines, line);
  zipComment = FromHex(line);
  std::vector<OracleEntry> entries;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    OracleEntry e;
    std::string nameHex;
    fields >> nameHex >> e.method >> e.crc >> e.compressedSize >> e.uncompressedSize >>
        e.dosDateTime;
    fields >> e.commentHex;
    e.name = FromHex(nameHex);
    entries.push_back(e);
  }
  return entries;
}

// Reads the archive with TZipReader and compares it with the oracle, entry by entry.
void ExpectSameAsOracle(const std::string& archive) {
  std::string oracleComment;
  const std::vector<OracleEntry> expected = Oracle(archive, oracleComment);
  ASSERT_FALSE(expected.empty());
  archive::TZipReader reader;
  reader.SetZipName(archive);
  reader.ReadZip();
  EXPECT_FALSE(reader.DirectoryFromScan());
  ASSERT_EQ(reader.Count(), static_cast<int>(expected.size()));
  for (int i = 0; i < reader.Count(); ++i) {
    const OracleEntry& want = expected[static_cast<std::size_t>(i)];
    const archive::TZipHeaderInfo& got = reader.Entry(i);
    SCOPED_TRACE("entry " + want.name);
    EXPECT_EQ(got.Directory + got.FileName, want.name);
    EXPECT_EQ(reader.Filename(i), got.FileName);
    EXPECT_EQ(got.Method, want.method);
    EXPECT_EQ(got.Crc32, want.crc);
    EXPECT_EQ(got.CompressedSize, want.compressedSize);
    EXPECT_EQ(got.UncompressedSize, want.uncompressedSize);
    EXPECT_EQ(got.DosDateTime, want.dosDateTime);
    EXPECT_EQ(reader.FileComment(i), FromHex(want.commentHex));
  }
  EXPECT_EQ(reader.ZipComment(), oracleComment);
}

// A small source tree: text, a compressible file, an empty file and a subdirectory.
void MakeTree(const TempDir& dir) {
  Shell("mkdir -p " + Quote(dir.File("src/sub/deeper")));
  WriteText(dir.File("src/a.txt"), "hello\n");
  std::string big;
  for (int i = 0; i < 3000; ++i) big += "line " + std::to_string(i) + " of a compressible file\n";
  WriteText(dir.File("src/sub/big.txt"), big);
  WriteText(dir.File("src/sub/deeper/empty.txt"), "");
  WriteText(dir.File("src/stored.bin"), std::string(5000, 'S'));
}

TEST(ZipReaderInteropTest, InfoZipStoredDeflatedDirectoriesCommentsAndExtraFields) {
  TempDir dir;
  MakeTree(dir);
  const std::string zip = dir.File("info.zip");
  const std::string src = Quote(dir.File("src"));
  ASSERT_EQ(Shell("cd " + src + " && zip -q -r " + Quote(zip) + " a.txt sub"), 0);
  ASSERT_EQ(Shell("cd " + src + " && zip -q -0 " + Quote(zip) + " stored.bin"), 0);
  // Entry comments, one line per entry asked, then the archive comment.
  ASSERT_EQ(Shell("cd " + src + " && printf 'first comment\\nsecond\\n' | zip -q -c " + Quote(zip) +
                  " a.txt sub/big.txt"),
            0);
  ASSERT_EQ(Shell("printf 'the archive comment\\n' | zip -q -z " + Quote(zip)), 0);
  ExpectSameAsOracle(zip);

  // Info-ZIP writes longer extra fields into local headers than into central ones: the
  // directory must still be read from the central records.
  archive::TZipReader reader;
  reader.SetZipName(zip);
  reader.ReadZip();
  bool sawDirectory = false, sawStored = false, sawDeflated = false;
  for (int i = 0; i < reader.Count(); ++i) {
    const archive::TZipHeaderInfo& e = reader.Entry(i);
    EXPECT_GT(e.ExtraLength, 0);
    sawDirectory |= e.FileName.empty() && !e.Directory.empty();
    sawStored |= e.Method == 0 && e.UncompressedSize == 5000;
    sawDeflated |= e.Method == 8;
  }
  EXPECT_TRUE(sawDirectory);
  EXPECT_TRUE(sawStored);
  EXPECT_TRUE(sawDeflated);
}

const char kPythonWriter[] = R"(
import sys, zipfile, io
class Cp437Info(zipfile.ZipInfo):
    # Stores the name in code page 437 without the UTF-8 flag, as DOS-era tools did.
    def _encodeFilenameFlags(self):
        return self.filename.encode('cp437'), self.flag_bits
path = sys.argv[1]
with zipfile.ZipFile(path, 'w') as z:
    z.writestr(zipfile.ZipInfo('plain.txt', (2021, 3, 4, 5, 6, 8)), b'plain text\n')
    i = Cp437Info('caf\u00e9/men\u00fc.txt', (2022, 1, 2, 3, 4, 6))  # code page 437, no flag
    i.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(i, b'cp437 name ' * 50)
    i = zipfile.ZipInfo('\u65e5\u672c/\u8a9e.txt', (2023, 7, 8, 9, 10, 12))  # UTF-8 flag
    i.compress_type = zipfile.ZIP_DEFLATED
    i.comment = 'entry comment \u00e9'.encode('utf-8')
    z.writestr(i, b'utf8 name ' * 50)
    i = zipfile.ZipInfo('extra.bin', (2020, 2, 29, 23, 59, 58))
    i.extra = b'\xca\xfe\x05\x00hello' + b'\xbe\xef\x00\x00'
    z.writestr(i, bytes(range(256)) * 10)
    z.comment = b'python archive comment'
)";

TEST(ZipReaderInteropTest, PythonNamesWithAndWithoutUtf8FlagExtraFieldsAndComments) {
  TempDir dir;
  const std::string zip = dir.File("py.zip");
  ASSERT_EQ(testsupport::RunPython(kPythonWriter, {zip}), 0);
  ExpectSameAsOracle(zip);
  archive::TZipReader reader;
  reader.SetZipName(zip);
  reader.ReadZip();
  ASSERT_EQ(reader.Count(), 4);
  EXPECT_EQ(reader.Entry(1).Directory, "caf\xC3\xA9/");
  EXPECT_EQ(reader.Entry(1).FileName, "men\xC3\xBC.txt");
  EXPECT_FALSE(reader.Entry(1).IsUtf8());
  EXPECT_EQ(reader.Entry(2).Directory, "\xE6\x97\xA5\xE6\x9C\xAC/");
  EXPECT_TRUE(reader.Entry(2).IsUtf8());
  EXPECT_EQ(reader.FileComment(2), "entry comment \xC3\xA9");
}

const char kPythonStreamWriter[] = R"(
import sys, zipfile
class Unseekable:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
with open(sys.argv[1], 'wb') as f:
    with zipfile.ZipFile(Unseekable(f), 'w', zipfile.ZIP_DEFLATED) as z:
        for n in range(3):
            with z.open('streamed%d.txt' % n, 'w') as e:
                e.write(b'streamed data %d\n' % n * 100)
)";

TEST(ZipReaderInteropTest, PythonStreamedEntriesWithDataDescriptors) {
  TempDir dir;
  const std::string zip = dir.File("stream.zip");
  ASSERT_EQ(testsupport::RunPython(kPythonStreamWriter, {zip}), 0);
  ExpectSameAsOracle(zip);
  archive::TZipReader reader;
  reader.SetZipName(zip);
  reader.ReadZip();
  ASSERT_EQ(reader.Count(), 3);
  EXPECT_TRUE(reader.Entry(0).HasDataDescriptor());
}

TEST(ZipReaderInteropTest, SevenZipArchive) {
  if (!testsupport::HaveTool("7z")) GTEST_SKIP() << "7z is not installed";
  TempDir dir;
  MakeTree(dir);
  WriteText(dir.File("src/\xC3\xA9t\xC3\xA9.txt"), "summer\n");
  const std::string zip = dir.File("seven.zip");
  ASSERT_EQ(Shell("cd " + Quote(dir.File("src")) + " && 7z a -tzip -mcu=on " + Quote(zip) +
                  " . >/dev/null"),
            0);
  ExpectSameAsOracle(zip);
}

}  // namespace
