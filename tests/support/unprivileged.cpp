#include "tests/support/unprivileged.h"

#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {
constexpr int kNobody = 65534;  // uid and gid of "nobody" / "nogroup" on Debian
}

int RunUnprivileged(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(125);
    _exit(body());
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace testsupport
