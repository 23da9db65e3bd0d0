// Running a piece of a test without root's rights.
#pragma once

#include <functional>

namespace testsupport {

// Runs body in a child process, as the unprivileged user "nobody" when the test runs as
// root (root reads and writes every file, so permission tests would prove nothing), and
// returns its exit status (-1 when it did not exit normally). body returns the child's exit
// status; gtest assertions inside it are not seen by the parent. Whatever body must reach
// has to be open to "nobody" (a directory from mkdtemp is not: give it 0777).
int RunUnprivileged(const std::function<int()>& body);

}  // namespace testsupport
