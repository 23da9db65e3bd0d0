// vzip: a small command-line tool over the archive layer, for maintainers and tests.
//
//   vzip l ARCHIVE    list the entries
//   vzip a ARCHIVE [-0..-9] NAMES...    add files (a new archive, or update one)
//   vzip t ARCHIVE [-P PASSWORD]        test every entry (CRC-32 and size), like unzip -t
//   vzip x ARCHIVE [DIR] [-P PASSWORD]  extract every entry into DIR
//
// Each command is one function in its own file (vzip_<name>.cpp), declared below and entered
// in the command table of vzip.cpp. A command returns the process's exit status: 0 success,
// 1 the archive could not be processed (the error's text on err), 2 wrong usage.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vzip {

struct Command {
  const char* name;   // the first argument
  const char* usage;  // e.g. "l ARCHIVE"
  const char* summary;
  int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

// Runs the command named by args[0] with the remaining arguments.
int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// --- Commands (one file each) ---
// vzip_list.cpp: "l ARCHIVE".
int List(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// vzip_add.cpp: "a ARCHIVE [-0..-9] NAMES...".
int Add(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// vzip_test.cpp: "t ARCHIVE [-P PASSWORD]".
int Test(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// vzip_extract.cpp: "x ARCHIVE [DIR] [-P PASSWORD]".
int Extract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vzip
