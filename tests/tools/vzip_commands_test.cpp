// Protects the maintainers' commands "vzip a", "vzip t" and "vzip x": archives made with our
// writer must be accepted by Info-ZIP unzip at the level asked for; test and extract must
// agree with Info-ZIP on good and damaged archives (exit status and per-entry lines) and
// extract the stored tree byte for byte; failures are reported by status.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tools/vzip.h"

namespace {

using testsupport::Shell;

const std::string kLegacyDir = std::string(VARNHOLT_TESTDATA_DIR) + "/legacy-zip/";

class VzipCommand : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return dir_.File(name); }
  int Run(const std::vector<std::string>& args) {
    out_.str({});
    err_.str({});
    return vzip::Main(args, out_, err_);
  }
  testsupport::TempDir dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};
using VzipAdd = VzipCommand;
using VzipExtract = VzipCommand;

TEST_F(VzipAdd, AddsFilesThatUnzipAcceptsAtTheLevelAsked) {
  {
    std::ofstream text(File("notes.txt"));
    for (int i = 0; i < 2000; ++i) text << "line " << i << " of some notes\n";
  }
  ASSERT_EQ(Run({"a", File("n.zip"), "-9", File("notes.txt")}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "added 1 file to " + File("n.zip") + "\n");
  EXPECT_EQ(Shell("unzip -tqq '" + File("n.zip") + "' >/dev/null"), 0);
  // Level 9 shows as "maximum" (flag bit 1) in unzip's listing.
  EXPECT_EQ(Shell("unzip -Zv '" + File("n.zip") + "' | grep -q 'sub-type (deflation): *maximum'"),
            0);
  // Adding to the existing archive keeps the first entry.
  { std::ofstream(File("more.txt")) << "more"; }
  ASSERT_EQ(Run({"a", File("n.zip"), "-0", File("more.txt")}), 0) << err_.str();
  std::string all;
  EXPECT_EQ(Shell("unzip -Z1 '" + File("n.zip") + "'", &all), 0);
  EXPECT_NE(all.find("notes.txt"), std::string::npos);
  EXPECT_NE(all.find("more.txt"), std::string::npos);
}

TEST_F(VzipAdd, MissingFilesAndWrongUsageAreReportedByStatus) {
  EXPECT_EQ(Run({"a", File("x.zip"), File("missing.txt")}), 1);
  EXPECT_NE(err_.str().find("no such file"), std::string::npos);
  EXPECT_EQ(Run({"a", File("x.zip")}), 2);
}

TEST_F(VzipExtract, TestAgreesWithUnzipOnGoodAndDamagedArchives) {
  ASSERT_EQ(Shell("mkdir -p " + File("src/d") + " && cd " + File("src") +
                  " && seq 1 20000 > d/numbers.txt && echo hi > top.txt && zip -qr ../good.zip ."),
            0);
  EXPECT_EQ(Run({"t", File("good.zip")}), 0);
  EXPECT_NE(out_.str().find("testing: d/numbers.txt   OK"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("No errors detected"), std::string::npos);

  // Damage the deflated data of numbers.txt; unzip -t must see it too.
  std::fstream f(File("good.zip"), std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(200);
  f.put('\x5a');
  f.close();
  const int unzipStatus = Shell("unzip -tqq " + File("good.zip") + " >/dev/null 2>&1");
  ASSERT_NE(unzipStatus, 0);
  EXPECT_EQ(Run({"t", File("good.zip")}), 1);
  // Invalid Deflate data has its own message; other damage shows as a CRC mismatch.
  EXPECT_TRUE(out_.str().find("bad CRC") != std::string::npos ||
              out_.str().find("invalid compressed data") != std::string::npos)
      << out_.str();
}

TEST_F(VzipExtract, ExtractsTheTreeByteForByte) {
  ASSERT_EQ(Shell("mkdir -p " + File("src/a/b") + " && cd " + File("src") +
                  " && seq 1 50000 > a/b/n.txt && head -c 70000 /dev/urandom > a/r.bin && "
                  "zip -qr -P pw ../e.zip ."),
            0);
  EXPECT_EQ(Run({"x", File("e.zip"), File("out"), "-P", "pw"}), 0) << err_.str();
  EXPECT_EQ(Shell("diff -r " + File("src") + " " + File("out")), 0);
  EXPECT_EQ(Run({"x", File("e.zip"), File("out2"), "-P", "bad"}), 1);
  EXPECT_NE(err_.str().find("incorrect password"), std::string::npos) << err_.str();
}

TEST_F(VzipExtract, LegacyArchivesTestClean) {
  EXPECT_EQ(Run({"t", kLegacyDir + "zip-ada/many_formats.zip"}), 1);  // three foreign methods
  EXPECT_EQ(Run({"t", kLegacyDir + "sharpcompress/Zip.reduce2.zip"}), 0) << out_.str();
  EXPECT_EQ(Run({"t"}), 2);
}

}  // namespace
