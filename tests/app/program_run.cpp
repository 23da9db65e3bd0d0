#include "tests/app/program_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "tests/support/peers.h"
#include "tests/support/records.h"

namespace app_test {

namespace fs = std::filesystem;

namespace {

const std::string kBinary = std::string(VARNHOLT_BINARY_DIR) + "/app/varnholt";
// The window, a module the program loads from beside itself when there is a display.
const std::string kWindowModule = std::string(VARNHOLT_BINARY_DIR) + "/app/varnholt-window.so";
constexpr int kNobody = 65534;  // uid and gid of "nobody" / "nogroup" on Debian
// The program must end by itself; a run that hangs is killed after this long.
constexpr int kRunTimeoutSeconds = 120;

}  // namespace

void ProgramTest::SetUp() {
  if (!fs::exists(kBinary)) GTEST_SKIP() << kBinary << " not built";
  for (const char* sub : {"bin", "cat", "home", "config"}) fs::create_directories(Dir(sub));
  // A private copy: the settings file goes beside the executable when that is writable.
  fs::copy_file(kBinary, Dir("bin/varnholt"));
  fs::copy_file(kWindowModule, Dir("bin/varnholt-window.so"));
}

ProgramTest::Result ProgramTest::Run(const std::vector<std::string>& args, const Options& options) {
  const bool asNobody = options.unprivileged && geteuid() == 0;
  if (asNobody) {
    EXPECT_EQ(testsupport::Shell("chown -R " + std::to_string(kNobody) + ":" +
                                 std::to_string(kNobody) + " " + testsupport::Quote(dir_.Path())),
              0);
  }
  const std::string outPath = Dir("stdout.txt");
  const std::string errPath = Dir("stderr.txt");
  const std::string where = options.workingDir.empty() ? Dir("cat") : options.workingDir;
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(where.c_str()) != 0) _exit(120);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(121);
    if (asNobody && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(122);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    if (options.display != nullptr) setenv("DISPLAY", options.display, 1);
    if (options.offscreen) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (options.fileSizeLimit >= 0) {
      // Writes beyond the limit fail with EFBIG instead of killing the process.
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                         static_cast<rlim_t>(options.fileSizeLimit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(124);
    }
    setenv("XDG_CONFIG_HOME", Dir("config").c_str(), 1);
    setenv("HOME", Dir("home").c_str(), 1);
    std::vector<std::string> argStore = {Dir("bin/varnholt")};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(123);
  }
  int status = 0;
  for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; ++waited) {
    if (waited > kRunTimeoutSeconds * 10) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "the program did not end within " << kRunTimeoutSeconds << " s";
      break;
    }
    usleep(100000);
  }
  Result result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = testsupport::ReadText(outPath);
  result.err = testsupport::ReadText(errPath);
  fs::remove(outPath);
  fs::remove(errPath);
  return result;
}

void ProgramTest::EditCatalogue(const std::function<void(catalogue::TCatalogue&)>& edit) {
  catalogue::TCatalogue cat;
  ASSERT_TRUE(cat.OpenCatalogue(Dir("cat/Rpoject.vrn"), Dir("cat/Folder.vrn"), Dir("cat/Log.vrn")));
  edit(cat);
  cat.CloseCatalogue();
}

std::vector<std::string> ProgramTest::Log() const {
  return testsupport::ReadLogTexts(Dir("cat/Log.vrn"));
}

}  // namespace app_test
