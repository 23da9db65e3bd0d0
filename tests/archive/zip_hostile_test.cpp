// Protects extraction against archives built to hurt: names that leave the destination once
// the file system reads them (NUL bytes, ".", "..", absolute paths), entries whose data
// overlaps other entries (size bombs), local headers that disagree with the central
// directory, and symbolic links that point out of the destination. Every case is run the
// way vzip x extracts (stored directories recreated), the way the restore run does (bare
// names), and as vzip t tests; each checks that the entry was refused, that nothing was
// written outside the destination, and that a good file already there is untouched.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "archive/zip_errors.h"
#include "archive/zip_reader.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "tests/archive/test_support.h"
#include "tests/archive/zip_builder.h"

namespace {

using testsupport::ReadAll;
using testsupport::TempDir;
using ziptest::Bytes;
using ziptest::ToBytes;

const Bytes kOutsideText = ToBytes("outside: must never change\n");
const Bytes kKeepText = ToBytes("keep: a good file already in the destination\n");

// root/outside.txt, root/dest/keep.txt and the archive root/case.zip.
class HostileArchive {
 public:
  explicit HostileArchive(const Bytes& archive) {
    platform::CreateDirectory(dir_.File("dest"));
    testsupport::WriteAll(dir_.File("outside.txt"), kOutsideText);
    testsupport::WriteAll(dir_.File("dest/keep.txt"), kKeepText);
    testsupport::WriteAll(Archive(), archive);
  }
  std::string Archive() const { return dir_.File("case.zip"); }
  std::string Dest() const { return dir_.File("dest"); }
  std::string Root() const { return dir_.Path(); }

  // Nothing but the three files (and what the destination received) exists.
  void ExpectNothingHarmed() const {
    EXPECT_TRUE(ReadAll(dir_.File("outside.txt")) == kOutsideText);
    EXPECT_TRUE(ReadAll(dir_.File("dest/keep.txt")) == kKeepText);
    std::vector<platform::DirEntry> entries;
    platform::ListDirectory(dir_.Path(), entries);
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"case.zip", "dest", "outside.txt"}));
  }

 private:
  TempDir dir_;
};

enum class TRun { Extract, ExtractBare, Test };

struct TOutcome {
  int count = -1;              // UnZip's or TestZip's result
  std::vector<int> skipped;    // OnSkippingFile reasons
  int badCrc = 0;
  std::string error;           // an exception's text, when one ended the run
};

TOutcome RunArchive(const HostileArchive& fixture, TRun how) {
  TOutcome outcome;
  TZipReader reader;
  reader.DoAll = true;
  reader.RecreateDirs = how != TRun::ExtractBare;
  reader.OverwriteMode = Always;
  reader.OnSkippingFile = [&](TZipReader&, int reason, const std::string&, int) {
    outcome.skipped.push_back(reason);
  };
  reader.OnBadCRC = [&](TZipReader&, std::uint32_t, std::uint32_t, int) { ++outcome.badCrc; };
  try {
    reader.SetZipName(fixture.Archive());
    reader.SetDestDir(fixture.Dest());
    reader.ReadZip();
    outcome.count = how == TRun::Test ? reader.TestZip() : reader.UnZip();
  } catch (const EZipError& e) {
    outcome.error = e.what();
  }
  return outcome;
}

struct TNameCase {
  const char* label;
  std::string name;
};

class HostileNameTest : public ::testing::TestWithParam<TNameCase> {};

// A one-entry archive whose name must be refused by every run, while a good second entry
// is still extracted.
TEST_P(HostileNameTest, IsRefusedAndHarmsNothing) {
  const TNameCase& c = GetParam();
  ziptest::TEntry bad{.name = c.name, .data = ToBytes("evil bytes\n")};
  ziptest::TEntry good{.name = "fine.txt", .data = ToBytes("fine\n")};
  for (TRun how : {TRun::Extract, TRun::ExtractBare, TRun::Test}) {
    SCOPED_TRACE(static_cast<int>(how));
    HostileArchive fixture(ziptest::Build({bad, good}));
    const TOutcome outcome = RunArchive(fixture, how);
    fixture.ExpectNothingHarmed();
    // A name whose bare file name is harmless may be extracted under that bare name.
    const std::string bare = c.name.substr(c.name.rfind('/') + 1);
    const bool bareIsSafe = how == TRun::ExtractBare && bare != "." && bare != ".." &&
                            bare.find('\0') == std::string::npos && !bare.empty();
    if (bareIsSafe) {
      EXPECT_EQ(outcome.count, 2);
      EXPECT_TRUE(ReadAll(fixture.Dest() + "/" + bare) == ToBytes("evil bytes\n"));
      continue;
    }
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.count, 1);
    EXPECT_EQ(outcome.skipped, std::vector<int>{TZipReader::kSkipUnsafePath});
    if (how != TRun::Test) {
      EXPECT_TRUE(ReadAll(fixture.Dest() + "/fine.txt") == ToBytes("fine\n"));
    }
  }
}

std::string WithNul(const std::string& before, const std::string& after) {
  return before + std::string(1, '\0') + after;
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileNameTest,
    ::testing::Values(TNameCase{"NulAfterDotDot", WithNul("..", "/outside.txt")},
                      TNameCase{"NulAfterDotDotDeeper", WithNul("a/..", "/../outside.txt")},
                      TNameCase{"NulInFileName", WithNul("..", "")},
                      TNameCase{"NulThenName", WithNul("keep.txt", "junk")},
                      TNameCase{"DotDot", "../outside.txt"},
                      TNameCase{"DotDotInside", "a/../../outside.txt"},
                      TNameCase{"Dot", "./dotted.txt"},
                      TNameCase{"DotDotAlone", ".."},
                      TNameCase{"Absolute", "/tmp/outside.txt"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
