// Fuzz target: loads a ZIP directory from arbitrary bytes.
//
// The bytes become a file in a memory-backed directory, and TZipReader reads it in both
// incomplete-archive modes and touches every accessor (comments on demand, dates, sorted
// views). The layer's own errors (EZipError) are expected outcomes; any other exception,
// crash, leak or undefined behaviour is a finding.
//   run: scripts/fuzz.sh 600 zip_directory_fuzz
//        (clang with ASan and UBSan, on a scratch copy of fuzz/corpus/zip_directory)
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/zip_reader.h"

namespace {

std::string ScratchPath() {
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(base) + "/zip_directory_fuzz_" + std::to_string(getpid()) + ".zip";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = ScratchPath();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  for (archive::TIncompleteZipMode mode :
       {archive::TIncompleteZipMode::izAssumeMulti, archive::TIncompleteZipMode::izAssumeBad}) {
    archive::TZipReader reader;
    reader.IncompleteZipMode = mode;
    // Split archives: never wait for another disk.
    reader.OnGetNextDisk = [](archive::TZipReader&, int, std::string& name) { name.clear(); };
    try {
      reader.SetZipName(path);
      reader.ReadZip();
      for (int i = 0; i < reader.Count(); ++i) {
        (void)reader.FileComment(i);
        (void)reader.DateTime(i);
        (void)reader.Entry(i).CentralHeaderSize();
      }
      (void)reader.ZipComment();
      reader.Sort(archive::TZipSortMode::ByName);
      reader.Sort(archive::TZipSortMode::ByDate);
      reader.Sort(archive::TZipSortMode::ByRate);
      reader.Sort(archive::TZipSortMode::ByNone);
    } catch (const archive::EZipError&) {
    }
  }
  return 0;
}
