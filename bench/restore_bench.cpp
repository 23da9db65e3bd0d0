// Restore of a whole store folder: the restore run (walk, per-archive decision, reader,
// times, log) against the same per-file work done directly with zlib's inflate.
//
// Run through bench/restore_bench.sh, which builds the tree on tmpfs, has this program back
// it up (--prepare) and also times Info-ZIP's "unzip -q" of the same files in one archive.
// The work directory W holds:
//   W/src                the tree; after the backup, the restore destination (the folder's
//                        own path), removed before each restore
//   W/store<W>/src/...   one single-entry archive per source file (the placement rule)
// Both benchmarks restore the complete tree once per iteration into an empty destination.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "archive/zip_writer.h"
#include "backup/backup_run.h"
#include "backup/zip_archiver.h"
#include "catalogue/catalogue.h"
#include "platform/file.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/file_time.h"
#include "restore/restore_run.h"
#include "restore/zip_reader_unpacker.h"

namespace fs = std::filesystem;

namespace {

std::string g_work;  // W

class QuietObserver : public restore::RestoreObserver {
 public:
  void ProgressStarted(int) override {}
  void FolderStarted(const std::string&) override {}
  void ArchiveStarted(const std::string&) override {}
  void FolderFinished() override {}
  void ProcessMessages() override {}
  void ShowError(const std::string& text) override { std::cerr << text << "\n"; }
  restore::ReplaceAnswer AskReplace(const std::string&) override {
    return restore::ReplaceAnswer::No;
  }
};

class QuietBackupObserver : public backup::BackupObserver {
 public:
  void RunStarted(const std::string&, int) override {}
  void FolderStarted(const std::string&) override {}
  void FileAttempted(const std::string&) override {}
  void FolderFinished() override {}
  void RunFinished(const std::string&) override {}
  void PumpMessages() override {}
  bool CancelRequested() override { return false; }
  void ShowMessage(const std::string& text) override { std::cerr << text << "\n"; }
};

// The store the restore reads: W/src backed up by the backup run at level 6.
int Prepare() {
  const std::string logDir = g_work + "/catalogue";
  fs::create_directories(logDir);
  catalogue::TCatalogue catalogue;
  catalogue.OpenCatalogue(logDir + "/Rpoject.vrn", logDir + "/Folder.vrn", logDir + "/Log.vrn");
  archive::TZipWriter writer;
  backup::ZipWriterArchiver archiver(writer);
  QuietBackupObserver observer;
  backup::BackupRun run(catalogue, archiver, observer);
  run.ProcessFolder(g_work + "/store", g_work + "/src", "*; ", true, false, 6);
  catalogue.CloseCatalogue();
  fs::remove_all(logDir);
  std::cout << "backed up: " << run.Totals().stored << " stored, " << run.Totals().failed
            << " failed\n";
  return run.Totals().failed == 0 ? 0 : 1;
}

std::size_t CountFiles(const std::string& root) {
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) ++files;
  }
  return files;
}

void BM_RestoreRun(benchmark::State& state) {
  const std::string source = g_work + "/src";
  const std::string logDir = g_work + "/catalogue";
  fs::remove_all(logDir);
  fs::create_directories(logDir);
  catalogue::TCatalogue catalogue;
  catalogue.OpenCatalogue(logDir + "/Rpoject.vrn", logDir + "/Folder.vrn", logDir + "/Log.vrn");
  catalogue.AddProject("Bench", g_work + "/store", false);
  catalogue.AddFolder("Bench", source, "*; ", true, 6);
  archive::TZipReader reader;
  restore::ConfigureReaderForRestore(reader);
  restore::ZipReaderUnpacker unpacker(reader);
  QuietObserver observer;
  restore::TRestoreRun run(catalogue, unpacker, observer);
  restore::RestoreRequest request;
  request.projectName = "Bench";
  request.prompt = false;
  request.option = restore::RestoreOption::RewriteAll;
  std::size_t files = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(source);
    catalogue.ClearLog();
    state.ResumeTiming();
    run.Run(request);
    state.PauseTiming();
    files = CountFiles(source);
    state.ResumeTiming();
  }
  catalogue.CloseCatalogue();
  state.counters["files"] = static_cast<double>(files);
}

// The peer: for each archive of the tree, read it, inflate its one entry with zlib, write
// the file and give it the archive's times; directories are created as they are met.
std::uint32_t Le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool ZlibExtract(const std::string& archive, const std::string& target, std::vector<char>& in,
                 std::vector<char>& out) {
  std::ifstream file(archive, std::ios::binary | std::ios::ate);
  const std::streamsize size = file.tellg();
  in.resize(static_cast<std::size_t>(size));
  file.seekg(0);
  file.read(in.data(), size);
  if (size < 30) return false;
  const auto* header = reinterpret_cast<const unsigned char*>(in.data());
  const std::uint32_t method = Le16(header + 8);
  const std::uint32_t compressed = Le32(header + 18);
  const std::uint32_t uncompressed = Le32(header + 22);
  const std::size_t dataStart = 30 + Le16(header + 26) + Le16(header + 28);
  if (dataStart + compressed > in.size()) return false;
  out.resize(uncompressed);
  if (method == 8) {
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    stream.next_in = reinterpret_cast<Bytef*>(in.data() + dataStart);
    stream.avail_in = compressed;
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uncompressed;
    const int result = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    if (result != Z_STREAM_END) return false;
  } else {
    std::memcpy(out.data(), in.data() + dataStart, uncompressed);
  }
  if (crc32(0, reinterpret_cast<const Bytef*>(out.data()), uncompressed) != Le32(header + 14)) {
    return false;
  }
  std::ofstream(target, std::ios::binary).write(out.data(), uncompressed);
  return true;
}

void ZlibTree(const std::string& backupDir, const std::string& targetDir, std::vector<char>& in,
              std::vector<char>& out) {
  platform::CreateDirectory(targetDir);
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(backupDir, entries);
  for (const auto& entry : entries) {
    const std::string from = backupDir + "/" + entry.name;
    if (entry.info.isDirectory) {
      ZlibTree(from, targetDir + "/" + entry.name, in, out);
    } else {
      const std::string target = targetDir + "/" + entry.name.substr(0, entry.name.size() - 4);
      if (ZlibExtract(from, target, in, out)) {
        platform::WriteFileTimes(target, entry.info.times.lastAccess, entry.info.times.lastWrite);
      }
    }
  }
}

void BM_ZlibPerFile(benchmark::State& state) {
  const std::string target = g_work + "/zlib-out";
  std::vector<char> in;
  std::vector<char> out;
  std::size_t files = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(target);
    state.ResumeTiming();
    ZlibTree(g_work + "/store" + g_work + "/src", target, in, out);
    state.PauseTiming();
    files = CountFiles(target);
    state.ResumeTiming();
  }
  fs::remove_all(target);
  state.counters["files"] = static_cast<double>(files);
}

BENCHMARK(BM_RestoreRun)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ZlibPerFile)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bool prepare = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--work=", 7) == 0) g_work = argv[i] + 7;
    if (std::strcmp(argv[i], "--prepare") == 0) prepare = true;
  }
  if (g_work.empty()) {
    std::cerr << "usage: restore_bench --work=DIR [--prepare] [benchmark flags]"
                 " (see restore_bench.sh)\n";
    return 2;
  }
  if (prepare) return Prepare();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
