// Running the independent tools the tests compare against (Info-ZIP zip and unzip, 7-Zip,
// Python's zipfile) and the program itself.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Runs a shell command; returns its exit status (-1 when it did not exit normally) and, in
// output, what it printed on stdout.
int Shell(const std::string& command, std::string* output = nullptr);
// True when the program is on PATH.
bool HaveTool(const std::string& program);
// The Python interpreter to run peer scripts with (the system's, skipping slow shims).
std::string Python();
// Single-quotes a text for the shell.
std::string Quote(const std::string& text);
// Runs a Python script (its text, not a file) with the given arguments (sys.argv[1:]);
// returns its exit status and, in output, what it printed on stdout.
int RunPython(const std::string& script, const std::vector<std::string>& args,
              std::string* output = nullptr);
// Python's zipfile judges one-entry archives against their sources: each line of the
// manifest file is "archive<TAB>source file". Returns the script's exit status (0 when
// every archive holds exactly the source's bytes under its bare name); it names each
// failure on standard error.
int CheckArchives(const std::string& manifest);

}  // namespace testsupport
