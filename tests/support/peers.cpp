#include "tests/support/peers.h"

#include <stdio.h>
#include <sys/wait.h>

#include <filesystem>

namespace testsupport {

int Shell(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTool(const std::string& program) {
  return Shell("command -v " + program + " >/dev/null 2>&1") == 0;
}

std::string Python() {
  return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

int RunPython(const std::string& script, const std::vector<std::string>& args,
              std::string* output) {
  std::string command = Python() + " -c " + Quote(script);
  for (const std::string& arg : args) command += " " + Quote(arg);
  return Shell(command, output);
}

int CheckArchives(const std::string& manifest) {
  return Shell(Python() + " " + Quote(VARNHOLT_SOURCE_DIR "/tests/support/check_archives.py") +
               " " + Quote(manifest));
}

}  // namespace testsupport
