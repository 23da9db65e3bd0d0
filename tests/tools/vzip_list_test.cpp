// Protects "vzip l": for archives written by Info-ZIP zip, Python's zipfile and 7-Zip, the
// listing shows the same names, sizes, CRCs, methods and DOS dates as "unzip -Z -v" reports
// for the same archive; and wrong usage or a broken archive give the documented exit codes.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tools/vzip.h"

namespace {

using testsupport::Shell;
using testsupport::TempDir;
using testsupport::WriteText;

struct Listed {
  std::string name;
  std::string method;  // "stored" or "deflated"
  std::string crc;     // 8 lower-case hex digits
  unsigned long compressed = 0;
  unsigned long uncompressed = 0;
  std::string date;  // "YYYY-MM-DD HH:MM:SS"
  bool operator==(const Listed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Listed& e) {
  return out << e.name << " " << e.method << " " << e.crc << " " << e.compressed << "/"
             << e.uncompressed << " " << e.date;
}

// unzip's "2023 Jul 14 15:42:36" as "2023-07-14 15:42:36".
std::string IsoDate(const std::string& unzipDate) {
  static const std::string kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
  std::istringstream in(unzipDate);
  std::string year, month, day, time;
  in >> year >> month >> day >> time;
  const std::size_t at = kMonths.find(month);
  if (month.size() != 3 || at == std::string::npos || at % 3 != 0) return "bad month " + month;
  char text[32];
  std::snprintf(text, sizeof text, "%s-%02zu-%02d %s", year.c_str(), at / 3 + 1, std::stoi(day),
                time.c_str());
  return text;
}

// Parses unzip -Z -v: a "Central directory entry #n:" block per entry, the name two lines
// below the dashes, then "key: value" lines.
std::vector<Listed> UnzipListing(const std::string& archive) {
  std::string text;
  EXPECT_EQ(Shell("unzip -Z -v '" + archive + "'", &text), 0);
  std::vector<Listed> entries;
  std::istringstream lines(text);
  std::string line;
  auto value = [](const std::string& l) {
    const std::size_t colon = l.find(':');
    std::string v = l.substr(colon + 1);
    v.erase(0, v.find_first_not_of(' '));
    return v;
  };
  while (std::getline(lines, line)) {
    if (line.rfind("Central directory entry #", 0) == 0) {
      std::getline(lines, line);  // dashes
      // Blank lines and unzip's own notes ("There are an extra ... bytes") come first.
      while (std::getline(lines, line) &&
             (line.empty() || line.rfind("  ", 0) != 0 || line.rfind("  There are", 0) == 0)) {
      }
      entries.push_back(Listed{line.substr(2)});
    } else if (entries.empty()) {
      continue;
    } else if (line.find("  compression method:") == 0) {
      const std::string m = value(line);
      entries.back().method = m == "none (stored)" ? "stored" : m;
    } else if (line.find("  32-bit CRC value (hex):") == 0) {
      entries.back().crc = value(line);
    } else if (line.find("  compressed size:") == 0) {
      entries.back().compressed = std::stoul(value(line));
    } else if (line.find("  uncompressed size:") == 0) {
      entries.back().uncompressed = std::stoul(value(line));
    } else if (line.find("  file last modified on (DOS date/time):") == 0) {
      entries.back().date = IsoDate(line.substr(line.find("):") + 2));
    }
  }
  return entries;
}

// Parses vzip l: Length, Method, Size, Cmpr, Date, Time, CRC-32, then the name.
std::vector<Listed> VzipListing(const std::string& archive) {
  std::ostringstream out, err;
  EXPECT_EQ(vzip::Main({"l", archive}, out, err), 0) << err.str();
  std::vector<Listed> entries;
  std::istringstream lines(out.str());
  std::string line;
  std::getline(lines, line);
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    if (line.rfind("--------", 0) == 0) break;
    std::istringstream fields(line);
    Listed e;
    std::string ratio, date, time;
    fields >> e.uncompressed >> e.method >> e.compressed >> ratio >> date >> time >> e.crc;
    if (e.method == "Stored") e.method = "stored";
    if (e.method.rfind("Defl:", 0) == 0) e.method = "deflated";
    e.date = date + " " + time;
    std::getline(fields, e.name);
    e.name.erase(0, 2);
    entries.push_back(e);
  }
  return entries;
}

void MakeTree(const TempDir& dir) {
  Shell("mkdir -p '" + dir.File("src/sub/deeper") + "'");
  WriteText(dir.File("src/a.txt"), "hello\n");
  std::string big;
  for (int i = 0; i < 2000; ++i) big += "line " + std::to_string(i) + "\n";
  WriteText(dir.File("src/sub/big file.txt"), big);
  WriteText(dir.File("src/sub/deeper/empty.txt"), "");
}

TEST(VzipListTest, InfoZipArchiveMatchesUnzip) {
  TempDir dir;
  MakeTree(dir);
  const std::string zip = dir.File("info.zip");
  ASSERT_EQ(Shell("cd '" + dir.File("src") + "' && zip -q -r '" + zip + "' . && zip -q -0 '" + zip +
                  "' a.txt -O '" + dir.File("info0.zip") + "'"),
            0);
  for (const std::string& archive : {zip, dir.File("info0.zip")}) {
    const auto expected = UnzipListing(archive);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(VzipListing(archive), expected);
  }
}

TEST(VzipListTest, PythonArchiveMatchesUnzip) {
  TempDir dir;
  const char* script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr('stored.txt', b'plain')
    z.writestr(zipfile.ZipInfo('d/'), b'')
    i = zipfile.ZipInfo('d/deflated.txt')
    i.compress_type = zipfile.ZIP_DEFLATED
    i.extra = b'\xca\xfe\x03\x00abc'
    z.writestr(i, b'x' * 10000)
    # The ends of the date range the reader keeps, and a leap day; each field at a value
    # of its own.
    for name, when in (('first.txt', (1980, 1, 1, 0, 0, 0)), ('last.txt', (2099, 12, 31, 23, 59, 58)),
                       ('leap.txt', (2024, 2, 29, 13, 45, 14))):
        z.writestr(zipfile.ZipInfo(name, when), b'dated')
)";
  const std::string zip = dir.File("py.zip");
  ASSERT_EQ(testsupport::RunPython(script, {zip}), 0);
  const auto expected = UnzipListing(zip);
  ASSERT_EQ(expected.size(), 6u);
  EXPECT_EQ(expected[4].date, "2099-12-31 23:59:58");
  EXPECT_EQ(VzipListing(zip), expected);
}

TEST(VzipListTest, SevenZipArchiveMatchesUnzip) {
  if (!testsupport::HaveTool("7z")) GTEST_SKIP() << "7z is not installed";
  TempDir dir;
  MakeTree(dir);
  const std::string zip = dir.File("seven.zip");
  ASSERT_EQ(Shell("cd '" + dir.File("src") + "' && 7z a -tzip '" + zip + "' . >/dev/null"), 0);
  const auto expected = UnzipListing(zip);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(VzipListing(zip), expected);
}

TEST(VzipListTest, UsageAndErrors) {
  TempDir dir;
  std::ostringstream out, err;
  EXPECT_EQ(vzip::Main({}, out, err), 2);
  EXPECT_EQ(vzip::Main({"q"}, out, err), 2);
  EXPECT_EQ(vzip::Main({"l"}, out, err), 2);
  EXPECT_EQ(vzip::Main({"l", dir.File("missing.zip")}, out, err), 1);
  WriteText(dir.File("junk.zip"), std::string(100, 'j'));
  err.str("");
  EXPECT_EQ(vzip::Main({"l", dir.File("junk.zip")}, out, err), 1);
  EXPECT_NE(err.str().find("Incomplete Zip File"), std::string::npos) << err.str();
}

}  // namespace
