// "vzip l ARCHIVE": one line per entry of the reader's view, in the columns of unzip -v:
//   Length  Method  Size  Cmpr  Date  Time  CRC-32  Name
// then a total line. The name is the rest of the line, as stored (UTF-8, "/" separators).
#include <cstdio>
#include <ostream>

#include "archive/zip_errors.h"
#include "archive/zip_numbers.h"
#include "archive/zip_reader.h"
#include "platform/file_time.h"
#include "tools/vzip.h"

namespace vzip {

namespace {

std::string MethodText(const archive::TZipHeaderInfo& entry) {
  switch (entry.Method) {
    case 0:
      return "Stored";
    case 1:
      return "Shrunk";
    case 2:
    case 3:
    case 4:
    case 5:
      return "Reduce" + std::to_string(entry.Method - 1);
    case 6:
      return "Implode";
    case 8: {
      // Flag bits 1 and 2 tell the deflate level class: normal, maximum, fast, super fast.
      static const char kLevel[] = {'N', 'X', 'F', 'S'};
      return std::string("Defl:") + kLevel[(entry.Flags >> 1) & 3];
    }
    default: {
      char text[16];
      std::snprintf(text, sizeof text, "Unk:%03u", entry.Method);
      return text;
    }
  }
}

std::string DateText(std::uint32_t dos) {
  const platform::DosDateTimeFields f = platform::SplitDosDateTime(dos);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                f.minute, f.second);
  return text;
}

}  // namespace

int List(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) {
    err << "usage: vzip l ARCHIVE\n";
    return 2;
  }
  archive::TZipReader reader;
  try {
    reader.SetZipName(args[0]);
    reader.ReadZip();
  } catch (const std::exception& e) {
    err << "vzip: " << args[0] << ": " << e.what() << "\n";
    return 1;
  }
  char line[160];
  out << "  Length  Method     Size  Cmpr       Date     Time    CRC-32  Name\n";
  out << "--------  -------  -------- ----  ---------- --------  --------  ----\n";
  std::uint64_t totalLength = 0, totalSize = 0;
  for (int i = 0; i < reader.Count(); ++i) {
    const archive::TZipHeaderInfo& entry = reader.Entry(i);
    std::snprintf(
        line, sizeof line, "%8llu  %-7s  %8llu %3d%%  %s  %08x  ",
        static_cast<unsigned long long>(entry.UncompressedSize), MethodText(entry).c_str(),
        static_cast<unsigned long long>(entry.CompressedSize),
        entry.UncompressedSize == 0
            ? 0
            : 100 - archive::CompressionRate(static_cast<std::int64_t>(entry.UncompressedSize),
                                             static_cast<std::int64_t>(entry.CompressedSize)),
        DateText(entry.DosDateTime).c_str(), entry.Crc32);
    out << line << entry.Directory << entry.FileName << "\n";
    totalLength += entry.UncompressedSize;
    totalSize += entry.CompressedSize;
  }
  std::snprintf(line, sizeof line, "%8llu           %8llu        %d file%s\n",
                static_cast<unsigned long long>(totalLength),
                static_cast<unsigned long long>(totalSize), reader.Count(),
                reader.Count() == 1 ? "" : "s");
  out << "--------           --------\n" << line;
  return 0;
}

}  // namespace vzip
