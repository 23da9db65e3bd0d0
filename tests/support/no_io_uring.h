// Running a piece of a test in a process whose kernel refuses io_uring, as a container's
// seccomp profile or kernel.io_uring_disabled does.
#pragma once

#include <functional>

namespace testsupport {

// Runs body in a child process in which io_uring_setup fails with the errno given (ENOSYS
// for a kernel without it, EPERM where it is forbidden) and returns the child's exit status
// (-1 when it did not exit normally, 124 when the refusal could not be installed). body
// returns the exit status; gtest assertions inside it are not seen by the parent.
int RunWithoutIoUring(int error, const std::function<int()>& body);

}  // namespace testsupport
