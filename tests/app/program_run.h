// Runs a private copy of the real varnholt binary the way a scheduler or a console user
// starts it: in a working folder of the test's choosing, with no display unless the test
// gives one, and with its own settings and home folders. A run that hangs is killed and
// fails the test instead of stopping the whole suite.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "tests/support/files.h"

namespace app_test {

struct RunResult {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};
struct RunOptions {
  std::string workingDir;         // default: the catalogue folder "cat"
  const char* display = nullptr;  // DISPLAY to set (it need not exist)
  bool offscreen = false;         // a display: Qt's offscreen platform
  long long fileSizeLimit = -1;   // RLIMIT_FSIZE in bytes: a disk that fills up
  // As the unprivileged user when the test runs as root (the whole scratch folder is
  // given to that user first), so that files without read rights cannot be read.
  bool unprivileged = false;
};

class ProgramTest : public ::testing::Test {
 protected:
  using Result = RunResult;
  using Options = RunOptions;

  // Skips the test when the program is not built; lays out bin/ (the copy), cat/, home/
  // and config/ below the scratch folder.
  void SetUp() override;

  std::string Dir(const std::string& relative) const { return dir_.File(relative); }
  Result Run(const std::vector<std::string>& args, const Options& options = {});
  // Opens the catalogue in cat/, lets edit change it and closes it again.
  void EditCatalogue(const std::function<void(catalogue::TCatalogue&)>& edit);
  // The log's texts, read from Log.vrn's records.
  std::vector<std::string> Log() const;

  testsupport::TempDir dir_;
};

}  // namespace app_test
