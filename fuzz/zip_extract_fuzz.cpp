// Fuzz target: extracts arbitrary bytes as a ZIP archive.
//
// The bytes become an archive file in a memory-backed directory, and TZipReader extracts
// every entry (all methods: stored, Shrink, Reduce 1-4, Implode, Deflate; encrypted entries
// with a password and one retry through OnBadPassword) into a scratch directory, recreating
// stored directories, then tests them again without writing. The layer's own errors
// (EZipError) are expected outcomes; any other exception, a crash, a leak, undefined
// behaviour, a file written outside the scratch directory, or a change to the good file
// that sits beside it is a finding.
// Archives announcing more than 16 MB of output are stopped before decoding (through
// OnStartUnZipInfo), so that one input cannot fill the disk.
//   build: see fuzz/CMakeLists.txt
//   run:   build/fuzz/fuzz/zip_extract_fuzz fuzz/corpus/zip_extract \
//            -dict=fuzz/zip.dict -max_total_time=600
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "archive/zip_reader.h"

namespace {

constexpr std::int64_t kMaxOutputBytes = 16 << 20;

std::string ScratchBase() {
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(base) + "/zip_extract_fuzz_" + std::to_string(getpid());
}

// An existing file one level above the destination, under the name the hostile seed
// "..\0/existing.txt" aims at: extraction must neither replace nor change it.
constexpr const char* kGuardName = "existing.txt";
constexpr const char kGuardText[] = "good file beside the destination\n";

void WriteGuard(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fwrite(kGuardText, 1, sizeof kGuardText - 1, file);
  std::fclose(file);
}

bool GuardIntact(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec))) return false;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[sizeof kGuardText] = {};
  const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
  std::fclose(file);
  return n == sizeof kGuardText - 1 && std::memcmp(buffer, kGuardText, n) == 0;
}

long EntryCount(const std::string& folder) {
  std::error_code ec;
  return std::distance(std::filesystem::directory_iterator(folder, ec),
                       std::filesystem::directory_iterator());
}

class TQuietInteraction : public archive::TZipInteraction {
 public:
  bool ChooseFile(const std::string&, const std::string&, const std::string&,
                  std::string&) override {
    return false;
  }
  bool ChooseDirectory(const std::string&, std::string&) override { return false; }
  bool ConfirmOkCancel(const std::string&, const std::string&) override { return false; }
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  void ShowMessage(const std::string&, const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string base = ScratchBase();
  static const std::string archive = base + ".zip";
  static const std::string outer = base + ".d";
  static const std::string dest = outer + "/a/b/dest";
  FILE* file = std::fopen(archive.c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  std::error_code ec;
  std::filesystem::remove_all(outer, ec);
  std::filesystem::create_directories(dest, ec);
  WriteGuard(outer + "/a/b/" + kGuardName);

  TQuietInteraction interaction;
  archive::TZipReader reader;
  reader.Interaction = &interaction;
  reader.IncompleteZipMode = archive::TIncompleteZipMode::izAssumeBad;
  reader.OnGetNextDisk = [](archive::TZipReader&, int, std::string& name) { name.clear(); };
  reader.DoAll = (size % 2) == 0;
  reader.FilesList = {"*"};
  reader.RecreateDirs = true;
  reader.OverwriteMode =
      (size % 3) == 0 ? archive::TUZOverwriteMode::Prompt : archive::TUZOverwriteMode::Always;
  reader.Password = "fuzz";
  reader.OnBadPassword = [](archive::TZipReader&, int, std::string& password) {
    if (password == "fuzz") password = "again";
  };
  reader.OnStartUnZipInfo = [](archive::TZipReader&, int, std::int64_t totalBytes, bool& stopNow) {
    stopNow = totalBytes > kMaxOutputBytes;
  };
  try {
    reader.SetZipName(archive);
    reader.SetDestDir(dest);
    reader.ReadZip();
    reader.UnZip();
    reader.Password = "fuzz";
    reader.TestZip();
  } catch (const archive::EZipError&) {
  }
  // Nothing may land beside the destination or above it (a/b holds dest and the untouched
  // guard file, a only b, the outer folder only a).
  if (EntryCount(outer + "/a/b") != 2 || EntryCount(outer + "/a") != 1 || EntryCount(outer) != 1 ||
      !GuardIntact(outer + "/a/b/" + kGuardName)) {
    std::abort();
  }
  return 0;
}
