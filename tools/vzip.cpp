#include "tools/vzip.h"

#include <ostream>

namespace vzip {

namespace {

const Command kCommands[] = {
    {"l", "l ARCHIVE", "list the entries (size, method, CRC-32, date, name)", &List},
    {"a", "a ARCHIVE [-0..-9] NAMES...", "add files, replacing entries of the same name", &Add},
    {"t", "t ARCHIVE [-P PASSWORD]", "test every entry (CRC-32 and size), like unzip -t", &Test},
    {"x", "x ARCHIVE [DIR] [-P PASSWORD]", "extract every entry into DIR (default .)", &Extract},
};

void Usage(std::ostream& err) {
  err << "usage:\n";
  for (const Command& command : kCommands)
    err << "  vzip " << command.usage << "\t" << command.summary << "\n";
}

}  // namespace

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    Usage(err);
    return 2;
  }
  for (const Command& command : kCommands) {
    if (args[0] == command.name)
      return command.run(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
  }
  err << "vzip: unknown command \"" << args[0] << "\"\n";
  Usage(err);
  return 2;
}

}  // namespace vzip
