// A run that stores several files at once must look exactly like a run with one worker:
// the same archives byte for byte (with their times), the same log, the same observer calls
// (File field, folders, boxes, standard-error lines) in the same order, the same totals,
// and no temporary file left, also when stores fail, a folder cannot be read, the user
// cancels between folders, or a catalogue error ends the run in the middle of a folder.
//
// Each run goes on a freshly generated tree, as the unprivileged user when the tests run
// as root (so that unreadable files and folders are unreadable), with the real archive
// writer behind an archiver that provokes the other failures by file name.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "backup/backup_run.h"
#include "backup/zip_archiver.h"
#include "catalogue/catalogue.h"
#include "tests/support/files.h"
#include "tests/support/records.h"
#include "tests/support/unprivileged.h"

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteText;

namespace {

// The real writer, but a file whose name starts with "grow" grows while it is read, one
// starting with "vanish" is deleted first, and one starting with "throw" makes the writer
// raise.
class HookedArchiver : public backup::Archiver {
 public:
  int StoreOne(platform::File&& archive, platform::File&& source, int level) override {
    const std::string sourcePath = source.Path();
    const std::string name = fs::path(sourcePath).filename().string();
    if (name.rfind("grow", 0) == 0) std::ofstream(sourcePath, std::ios::app) << "more\n";
    if (name.rfind("vanish", 0) == 0) fs::remove(sourcePath);
    if (name.rfind("throw", 0) == 0) throw std::runtime_error("read error");
    return real_->StoreOne(std::move(archive), std::move(source), level);
  }

 private:
  std::unique_ptr<backup::Archiver> real_ = backup::MakeOwnWriterArchiver();
};

// Every observer call as a line, in order.
class Recorder : public backup::BackupObserver {
 public:
  std::vector<std::string> lines;
  std::string cancelAtFolder;    // cancel when this folder starts
  int closeAtAttempt = 0;        // close the catalogue at this FileAttempted (1-based)
  catalogue::TCatalogue* catalogue = nullptr;

  void RunStarted(const std::string& project, int folderCount) override {
    cancel_ = false;
    lines.push_back("RunStarted " + project + " " + std::to_string(folderCount));
  }
  void FolderStarted(const std::string& path) override {
    lines.push_back("FolderStarted " + path);
    if (path == cancelAtFolder) cancel_ = true;
  }
  void FileAttempted(const std::string& filePath) override {
    lines.push_back("FileAttempted " + filePath);
    if (++attempts_ == closeAtAttempt) catalogue->CloseCatalogue();
  }
  void FolderFinished() override { lines.push_back("FolderFinished"); }
  void RunFinished(const std::string& project) override {
    lines.push_back("RunFinished " + project);
  }
  void PumpMessages() override {}
  bool CancelRequested() override { return cancel_; }
  void ShowMessage(const std::string& text) override { lines.push_back("Box " + text); }
  void ShowError(const std::string& text) override { lines.push_back("Error " + text); }
  void ReportFailure(const std::string& line) override { lines.push_back("Report " + line); }

 private:
  bool cancel_ = false;
  int attempts_ = 0;
};

// Deterministic bytes: compressible text, or noise, of the given size.
std::string Content(std::uint32_t seed, std::size_t size, bool text) {
  static const char* const kWords[] = {"alpha ", "beta ", "gamma\n", "delta ", "store ",
                                       "folder ", "archive ", "x"};
  std::string out;
  out.reserve(size);
  std::uint32_t state = seed * 2654435761u + 1;
  while (out.size() < size) {
    state = state * 1664525u + 1013904223u;
    if (text) {
      out += kWords[(state >> 24) % 8];
    } else {
      out.push_back(static_cast<char>(state >> 24));
    }
  }
  out.resize(size);
  return out;
}

class ParallelBackup : public ::testing::Test {
 protected:
  void SetUp() override { fs::permissions(dir_.Path(), fs::perms::all); }

  std::string Src(const std::string& rel) { return dir_ / ("src/" + rel); }
  std::string Store() { return dir_ / "store"; }

  void File(const std::string& rel, const std::string& content) {
    WriteText(Src(rel), content);
    testsupport::SetMtime(Src(rel), 1709633720 + static_cast<long long>(content.size() % 977),
                          123456700);
  }

  // The varied tree, made anew for every run.
  void MakeTree() {
    std::error_code ec;
    if (fs::exists(Src(""))) {
      for (auto& entry : fs::recursive_directory_iterator(Src(""))) {
        fs::permissions(entry.path(), fs::perms::all, ec);
      }
      fs::remove_all(Src(""));
    }
    std::uint32_t seed = 1;
    for (int d = 0; d < 4; ++d) {
      for (int f = 0; f < 24; ++f, ++seed) {
        const std::string sub = "a/d" + std::to_string(d) + (f % 3 == 0 ? "/deep/" : "/");
        const std::size_t size = (seed * 7919u) % 40000u;
        File(sub + "file" + std::to_string(f) + (f % 2 ? ".txt" : ".bin"),
             Content(seed, size, f % 2 == 1));
      }
    }
    // Large ones keep every worker busy while small ones pass them.
    File("a/d1/big1.dat", Content(101, 1500000, true));
    File("a/d1/big2.dat", Content(102, 1200000, false));
    File("a/d3/big3.dat", Content(103, 900000, true));
    File("a/d0/empty.txt", "");
    File("a/d0/what?.txt", "wildcard in the name");
    File("a/d1/grow.log", "line 1\n");
    File("a/d2/vanish.txt", "soon gone");
    File("a/d2/throw.bin", Content(7, 5000, false));
    File("a/d3/locked.txt", "nobody reads this");
    fs::permissions(Src("a/d3/locked.txt"), fs::perms::none);
    File("a/d2/closed/inside.txt", "never listed");
    fs::permissions(Src("a/d2/closed"), fs::perms::none);
    for (int f = 0; f < 6; ++f) File("c/c" + std::to_string(f) + ".TXT", Content(f, 3000, true));
    File("c/skipped.bin", "not matched by the masks");
    for (const char* f : {"e", "f", "g"}) File(std::string(f) + "/x.txt", f);
    fs::permissions(dir_.Path(), fs::perms::all);
    for (auto& entry : fs::recursive_directory_iterator(Src(""))) {
      const std::string name = entry.path().filename().string();
      if (name != "closed" && name != "locked.txt") {
        fs::permissions(entry.path(), fs::perms::all);
      }
    }
    fs::permissions(Src(""), fs::perms::all);
  }

  struct Outcome {
    std::vector<std::string> log;
    std::string record;  // the observer's lines and the totals, written by the run
    std::map<std::string, std::string> store;  // relative path -> bytes and mtime
  };

  // Runs the projects with workers stores at once (unprivileged), then moves the store
  // aside so that the next run writes the same paths.
  Outcome Run(int workers, bool catalogueError) {
    MakeTree();
    const std::string cat = dir_ / "cat";
    fs::create_directories(cat);
    fs::permissions(cat, fs::perms::all);
    fs::create_directories(Store());
    fs::permissions(Store(), fs::perms::all);
    const std::string recordPath = dir_ / "record.txt";
    const int status = testsupport::RunUnprivileged([&] {
      catalogue::TCatalogue catalogue;
      if (!catalogue.OpenCatalogue(cat + "/Rpoject.vrn", cat + "/Folder.vrn", cat + "/Log.vrn"))
        return 2;
      catalogue.AddProject("P1", Store(), true);
      catalogue.AddFolder("P1", Src("a"), "", false, 6);
      catalogue.AddFolder("P1", Src("missing"), "", false, 6);
      catalogue.AddFolder("P1", Src("c"), "*.TXT; ", true, 9);
      catalogue.AddProject("P2", Store(), false);
      for (const char* f : {"e", "f", "g"}) catalogue.AddFolder("P2", Src(f), "", false, 1);
      Recorder recorder;
      recorder.catalogue = &catalogue;
      recorder.cancelAtFolder = Src("f");
      if (catalogueError) recorder.closeAtAttempt = 40;
      HookedArchiver archiver;
      backup::BackupRun run(catalogue, archiver, recorder);
      run.SetWorkers(workers, [] { return std::make_unique<HookedArchiver>(); });
      try {
        run.ProcessAllProjects();
        recorder.lines.push_back("returned");
      } catch (const catalogue::ECatalogueError&) {
        recorder.lines.push_back("catalogue error");
      }
      const auto& t = run.Totals();
      recorder.lines.push_back("totals " + std::to_string(t.stored) + " " +
                               std::to_string(t.failed) + " " + std::to_string(t.foldersFailed));
      std::ofstream out(recordPath);
      for (const std::string& line : recorder.lines) out << line << '\n';
      return out ? 0 : 3;
    });
    EXPECT_EQ(status, 0);
    Outcome outcome;
    outcome.log = testsupport::ReadLogTexts(cat + "/Log.vrn");
    outcome.record = testsupport::ReadText(recordPath);
    for (auto& entry : fs::recursive_directory_iterator(Store())) {
      const std::string rel = fs::relative(entry.path(), Store()).string();
      outcome.store[rel] = entry.is_directory()
                               ? "dir"
                               : testsupport::ReadText(entry.path().string()) + "@" +
                                     std::to_string(testsupport::MtimeNs(entry.path().string()));
    }
    fs::rename(Store(), Store() + "." + std::to_string(workers) + (catalogueError ? "e" : ""));
    fs::remove_all(cat);
    return outcome;
  }

  static void ExpectSame(const Outcome& one, const Outcome& many) {
    EXPECT_EQ(one.log, many.log);
    EXPECT_EQ(one.record, many.record);
    EXPECT_EQ(one.store.size(), many.store.size());
    for (const auto& [path, bytes] : one.store) {
      const auto other = many.store.find(path);
      if (other == many.store.end()) {
        ADD_FAILURE() << path << " missing from the run with several workers";
      } else {
        EXPECT_TRUE(other->second == bytes) << path << " differs";
      }
    }
    for (const auto& [path, bytes] : many.store) {
      EXPECT_EQ(path.find(".vrn-tmp"), std::string::npos) << "temporary file left: " << path;
      EXPECT_TRUE(one.store.count(path)) << path << " only in the run with several workers";
    }
  }

  TempDir dir_;
};

TEST_F(ParallelBackup, SeveralWorkersStoreAndReportExactlyAsOne) {
  const Outcome one = Run(1, false);
  const Outcome many = Run(4, false);
  ExpectSame(one, many);
  // The scenario reaches what it is meant to: failures of every kind, boxes, a folder not
  // read, the cancel and archives written.
  const std::string& r = one.record;
  EXPECT_NE(r.find("Report Can't store file \"" + Src("a/d1/grow.log") +
                   "\": changed while being stored"),
            std::string::npos)
      << r;
  EXPECT_NE(r.find("Report Can't store file \"" + Src("a/d2/throw.bin") + "\": read error"),
            std::string::npos);
  EXPECT_NE(r.find("Report Can't store file \"" + Src("a/d3/locked.txt") + "\""),
            std::string::npos);
  EXPECT_NE(r.find("Report Can't read folder \"" + Src("a/d2/closed") + "\""), std::string::npos);
  EXPECT_NE(r.find("Box Unable to process folder \"" + Src("a/d2/closed") + "\""),
            std::string::npos);
  EXPECT_NE(r.find("Box Unable to process file"), std::string::npos);
  EXPECT_EQ(r.find("FolderStarted " + Src("g")), std::string::npos) << "cancelled before g";
  EXPECT_NE(r.find("returned"), std::string::npos);
  EXPECT_GT(one.store.size(), 100u);
}

TEST_F(ParallelBackup, CatalogueErrorInTheMiddleOfAFolderLeavesWhatOneWorkerLeaves) {
  const Outcome one = Run(1, true);
  const Outcome many = Run(4, true);
  ExpectSame(one, many);
  EXPECT_NE(one.record.find("catalogue error"), std::string::npos) << one.record;
  // Stopped in the middle: files after the failure point have no archive.
  EXPECT_FALSE(one.store.count(fs::relative(Src("c/c0.TXT.ZIP"), "/").string()));
}

// A large directory has its archive lookups split between the run thread and a worker:
// a second run stores exactly the files that changed since the first, as one worker does.
TEST_F(ParallelBackup, ALargeDirectoryStoresOnlyWhatChangedSinceTheLastRun) {
  std::map<int, std::vector<std::string>> logs;
  for (const int workers : {1, 2}) {
    const std::string store = Store() + std::to_string(workers);
    for (int f = 0; f < 150; ++f) File("big/f" + std::to_string(f), Content(f, 50 + f, true));
    catalogue::TCatalogue catalogue;
    const std::string cat = dir_ / ("cat" + std::to_string(workers));
    fs::create_directories(cat);
    ASSERT_TRUE(catalogue.OpenCatalogue(cat + "/Rpoject.vrn", cat + "/Folder.vrn", cat + "/Log.vrn"));
    Recorder recorder;
    HookedArchiver archiver;
    backup::BackupRun run(catalogue, archiver, recorder);
    run.SetWorkers(workers, [] { return std::make_unique<HookedArchiver>(); });
    ASSERT_TRUE(run.ProcessFolder(store, Src("big"), "", false, false, 6));
    EXPECT_EQ(run.Totals().stored, 150);
    // Every third file gets a time of another minute; the archives keep the old one.
    for (int f = 0; f < 150; f += 3) {
      testsupport::SetMtime(Src("big/f" + std::to_string(f)), 1709640000, 0);
    }
    ASSERT_TRUE(run.ProcessFolder(store, Src("big"), "", false, false, 6));
    EXPECT_EQ(run.Totals().stored, 200);
    EXPECT_EQ(run.Totals().failed, 0);
    catalogue.CloseCatalogue();
    logs[workers] = testsupport::ReadLogTexts(cat + "/Log.vrn");
  }
  ASSERT_EQ(logs[1].size(), 200u);
  EXPECT_EQ(logs[1].back(), backup::FileStoredText(Src("big/f99")));  // names sort as bytes
  // The same files in the same order; only the store folder's name differs.
  EXPECT_EQ(logs[1], logs[2]);
}

}  // namespace
