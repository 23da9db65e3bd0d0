// Protects "vzip t" and "vzip x": the maintainers' test and extract commands must agree with
// Info-ZIP on good and damaged archives (exit status and per-entry lines) and extract the
// stored tree byte for byte.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/vzip.h"

namespace {

const std::string kLegacyDir = std::string(VARNHOLT_TESTDATA_DIR) + "/legacy-zip/";

class VzipExtract : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "vzx_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }
  int Run(const std::vector<std::string>& args) {
    out_.str({});
    err_.str({});
    return vzip::Main(args, out_, err_);
  }
  static int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};

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
