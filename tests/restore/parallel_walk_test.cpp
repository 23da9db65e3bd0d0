// The walk of a restore with workers does not wait at directory boundaries: archives of
// several directories are in flight at once. What the user sees must still be what one
// worker gives: the observer calls and the log in walk order, the same files with their
// bytes, modes and times, leftovers of killed runs removed, and, when the log fails in the
// middle, no directory that one worker would not have made.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/catalogue.h"
#include "restore/restore_run.h"
#include "tests/restore/restore_fixture.h"

namespace fs = std::filesystem;
using restore::RestoreOption;
using namespace restore_test;

namespace {

// What happened, in the order it happened, across the run thread and the workers.
class Events {
 public:
  void Add(std::string line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(std::move(line));
  }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Records every observer call; closes the catalogue at the archive of that number, so that
// logging it fails as a full disk would.
class Recorder : public restore::RestoreObserver {
 public:
  Events* events = nullptr;
  catalogue::TCatalogue* catalogue = nullptr;
  int closeAtArchive = 0;
  std::vector<std::string> lines;

  void ProgressStarted(int count) override { lines.push_back("Progress " + std::to_string(count)); }
  void FolderStarted(const std::string& path) override { lines.push_back("Folder " + path); }
  void ArchiveStarted(const std::string& path) override {
    lines.push_back("Archive " + path);
    events->Add("shown " + path);
    // The last archive of the top directory before its first subdirectory.
    const bool m0 = fs::is_directory(fs::path(path).parent_path() / "m0");
    if (fs::path(path).filename() == "b9.ZIP") events->Add(m0 ? "b9, m0 made" : "b9, m0 not made");
    if (++archives_ == closeAtArchive) {
      catalogue->CloseCatalogue();
      events->Add(m0 ? "log closed, m0 made" : "log closed, m0 not made");
    }
  }
  void FolderFinished() override { lines.push_back("FolderFinished"); }
  void ProcessMessages() override {}
  void ShowError(const std::string& text) override { lines.push_back("Error " + text); }
  restore::ReplaceAnswer AskReplace(const std::string& question) override {
    lines.push_back("Ask " + question);
    return restore::ReplaceAnswer::Yes;
  }
  void ArchiveFailed(const std::string& path, const std::string& reason) override {
    lines.push_back("Failed " + path + ": " + reason);
  }

 private:
  int archives_ = 0;
};

// The real unpacker, slowed down, telling when it starts an archive; an archive named
// "broken..." fails as a damaged one does.
class Slow : public restore::ArchiveUnpacker {
 public:
  Slow(Events& events, std::chrono::milliseconds delay) : events_(events), delay_(delay) {}
  int Unpack(const std::string& archivePath, const std::string& destDir) override {
    return inner_->Unpack(archivePath, destDir);
  }
  restore::ArchiveResult Restore(const restore::ArchiveJob& job) override {
    events_.Add("started " + job.destDir + "/" + fs::path(job.archivePath).filename().string());
    std::this_thread::sleep_for(delay_);
    return inner_->Restore(job);
  }

 private:
  Events& events_;
  std::chrono::milliseconds delay_;
  std::unique_ptr<restore::ArchiveUnpacker> inner_ = MakeUnpacker();
};

class ParallelWalk : public RestoreTest {
 protected:
  struct Outcome {
    std::vector<std::string> lines;
    std::vector<std::string> log;
    std::vector<std::string> tree;               // TreeListing of the destination
    std::map<std::string, std::string> files;    // path -> mode, times, bytes
    std::vector<std::string> events;             // worker starts and commits
    int staleRemoved = 0;
    bool logFailed = false;
  };

  // Restores the folder with that many workers into a fresh copy of what destination
  // holds (when given).
  Outcome Restore(int workers, RestoreOption option, const std::string& tag,
                  const std::string& before = "", int closeAtArchive = 0,
                  std::chrono::milliseconds delay = std::chrono::milliseconds(4)) {
    const std::string destination = Path("dest-" + tag);
    if (!before.empty()) {
      fs::copy(before, destination, fs::copy_options::recursive);
      // The copies get the same times in every round.
      const platform::FileTime old = UtcTime(2021, 5, 5, 5, 5, 5);
      for (const auto& entry : fs::recursive_directory_iterator(destination)) {
        if (entry.is_regular_file()) SetTimes(entry.path().string(), old, old);
      }
    }
    Events events;
    Recorder recorder;
    recorder.events = &events;
    recorder.catalogue = &catalogue_;
    recorder.closeAtArchive = closeAtArchive;
    Slow unpacker(events, std::chrono::milliseconds(0));
    restore::TRestoreRun run(catalogue_, unpacker, recorder);
    run.SetWorkers(workers, [&]() -> std::unique_ptr<restore::ArchiveUnpacker> {
      return std::make_unique<Slow>(events, delay);
    });
    catalogue_.ClearLog();
    Outcome outcome;
    try {
      run.Run({.projectName = "P",
               .selectedFolderOnly = true,
               .selectedFolder = source_,
               .destination = destination,
               .prompt = false,
               .option = option});
    } catch (const catalogue::ECatalogueError&) {
      outcome.logFailed = true;
      catalogue_.CloseCatalogue();
      EXPECT_TRUE(catalogue_.OpenCatalogue(Path("Rpoject.vrn"), Path("Folder.vrn"),
                                           Path("Log.vrn")));
    }
    auto untagged = [&](std::string line) {
      for (std::size_t at; (at = line.find(destination)) != std::string::npos;) {
        line.replace(at, destination.size(), "<dest>");
      }
      return line;
    };
    for (const std::string& line : recorder.lines) outcome.lines.push_back(untagged(line));
    for (const std::string& line : LogTexts()) outcome.log.push_back(untagged(line));
    for (const std::string& line : events.Lines()) outcome.events.push_back(untagged(line));
    outcome.tree = TreeListing(destination);
    for (const auto& entry : fs::recursive_directory_iterator(destination)) {
      if (!entry.is_regular_file()) continue;
      const std::string path = entry.path().string();
      struct stat st {};
      EXPECT_EQ(stat(path.c_str(), &st), 0);
      const platform::FileTimes times = TimesOf(path);
      outcome.files[fs::relative(path, destination).string()] =
          std::to_string(st.st_mode & 07777) + " " + std::to_string(times.lastWrite) + " " +
          std::to_string(times.lastAccess) + " " + ReadBytes(path);
    }
    outcome.staleRemoved = run.Totals().staleRemoved;
    return outcome;
  }

  // Many small directories, nested, some holding only subdirectories, one empty, with
  // archives before and after the subdirectories in name order. The top directory starts
  // with twelve archives before its first subdirectory.
  void MakeSource() {
    source_ = Path("src");
    std::vector<TreeFile> files;
    int n = 0;
    auto add = [&](const std::string& dir, int count, bool firstOnly = false) {
      for (int f = 0; f < count; ++f, ++n) {
        files.push_back({dir + (firstOnly ? "b" : f % 2 == 0 ? "a" : "z") + std::to_string(f),
                         std::string(static_cast<std::size_t>(n * 37 % 900), 'a' + n % 26),
                         UtcTime(2024, 1 + n % 12, 1 + n % 28, n % 24, n % 60, n % 59, n)});
      }
    };
    add("", 10, true);
    add("", 3);
    for (int d = 0; d < 6; ++d) {
      const std::string dir = "m" + std::to_string(d) + "/";
      add(dir, d % 3 + 1);
      add(dir + "n/", 2);
      if (d % 2 == 0) add(dir + "n/o/", 3);
    }
    files.push_back({"only/", "", 0});
    add("only/p/q/", 2);
    files.push_back({"void/", "", 0});
    add("zz/", 4);
    MakeTree(source_, files);
    BackUp(source_);
    ASSERT_TRUE(catalogue_.AddFolder("P", source_, "*; ", true, 6));
    sourceFiles_ = n;
  }

  std::string source_;
  int sourceFiles_ = 0;
};

bool Has(const std::vector<std::string>& events, const std::string& event) {
  return std::find(events.begin(), events.end(), event) != events.end();
}

TEST_F(ParallelWalk, ArchivesOfManyDirectoriesInFlightGiveWhatOneWorkerGives) {
  MakeSource();
  // Slow workers: the walk gets ahead of them.
  const auto slow = std::chrono::milliseconds(10);
  const Outcome one = Restore(1, RestoreOption::AppendMissed, "one", "", 0, slow);
  const Outcome many = Restore(3, RestoreOption::AppendMissed, "many", "", 0, slow);
  EXPECT_EQ(one.lines, many.lines);
  EXPECT_EQ(one.log, many.log);
  EXPECT_EQ(one.tree, many.tree);
  EXPECT_TRUE(one.files == many.files) << "restored files differ";
  EXPECT_EQ(one.files.size(), static_cast<std::size_t>(sourceFiles_));
  EXPECT_TRUE(std::count(one.tree.begin(), one.tree.end(), "d void/")) << "empty ones too";
  // The walk entered the first subdirectory before the last archive in front of it was
  // done and shown.
  EXPECT_TRUE(Has(many.events, "b9, m0 made")) << "the walk waited at a boundary";
  EXPECT_TRUE(Has(one.events, "b9, m0 not made"));
}

TEST_F(ParallelWalk, IntoAnExistingTreeLeftoversGoAndTheRestIsAsOneWorkerLeavesIt) {
  MakeSource();
  // What a killed run left: the reader's temporaries (mode 0600, written before this run)
  // in directories the walk reaches while archives of earlier ones are still in flight,
  // and a user's file of the same form but another mode, which stays.
  const std::string before = Path("before");
  for (const char* dir : {"m1/n", "m4", "zz", "only/p"}) {
    fs::create_directories(before + "/" + dir);
    const std::string leftover = before + "/" + dir + "/.vrn-unz.Ab3dE9";
    WriteText(leftover, "half of a file");
    ASSERT_EQ(chmod(leftover.c_str(), 0600), 0);
  }
  WriteText(before + "/m4/.vrn-unz.Keep01", "the user's own");
  WriteText(before + "/zz/a0", "an older version");
  for (const RestoreOption option : {RestoreOption::RewriteAll, RestoreOption::Refresh}) {
    const std::string tag = option == RestoreOption::Refresh ? "refresh-" : "rewrite-";
    const Outcome one = Restore(1, option, tag + "one", before);
    const Outcome many = Restore(3, option, tag + "many", before);
    EXPECT_EQ(one.lines, many.lines);
    EXPECT_EQ(one.log, many.log);
    EXPECT_EQ(one.tree, many.tree);
    EXPECT_TRUE(one.files == many.files) << "restored files differ";
    EXPECT_EQ(one.staleRemoved, 4);
    EXPECT_EQ(many.staleRemoved, 4);
    EXPECT_TRUE(one.files.count("m4/.vrn-unz.Keep01"));
    EXPECT_FALSE(one.files.count("m1/n/.vrn-unz.Ab3dE9"));
    EXPECT_EQ(one.files.size(), static_cast<std::size_t>(sourceFiles_) + 1);
  }
}

TEST_F(ParallelWalk, ALogThatFailsInTheMiddleLeavesNoDirectoryOneWorkerWouldNotHaveMade) {
  MakeSource();
  // The second archive of the top directory is damaged: its error line goes to the log at
  // once, and the log fails there. Slow workers: by then the walk has handed out the
  // archives of every directory behind it and made them all.
  const std::string damaged = store_ + source_ + "/a2.ZIP";
  std::string bytes = ReadBytes(damaged);
  bytes[30 + 2 + 2] ^= 0x55;  // a byte of the deflated data, behind the local header
  WriteText(damaged, bytes);
  const auto slow = std::chrono::milliseconds(40);
  const Outcome one = Restore(1, RestoreOption::AppendMissed, "one", "", 2, slow);
  const Outcome many = Restore(3, RestoreOption::AppendMissed, "many", "", 2, slow);
  EXPECT_TRUE(one.logFailed);
  EXPECT_TRUE(many.logFailed);
  EXPECT_EQ(one.lines, many.lines);
  EXPECT_EQ(one.log, many.log);
  EXPECT_EQ(one.tree, std::vector<std::string>({"f a0"}));
  // The archives one worker unpacked are there, and besides them at most some of the top
  // directory's that the workers were on when the run ended: no directory.
  for (const auto& [path, file] : one.files) EXPECT_EQ(many.files.at(path), file) << path;
  for (const std::string& entry : many.tree) EXPECT_EQ(entry.find('/'), std::string::npos) << entry;
  EXPECT_TRUE(Has(many.events, "log closed, m0 made"))
      << "the walk was not ahead in the subdirectories when the log failed";
  EXPECT_TRUE(Has(one.events, "log closed, m0 not made"));
}

// An unpacker that only knows Unpack: the run still gives the file the archive's times,
// read before the archive was opened.
class PlainUnpacker : public restore::ArchiveUnpacker {
 public:
  int Unpack(const std::string& archivePath, const std::string& destDir) override {
    return inner_->Unpack(archivePath, destDir);
  }

 private:
  std::unique_ptr<restore::ArchiveUnpacker> inner_ = MakeUnpacker();
};

TEST_F(ParallelWalk, AnUnpackerWithoutRestoreStillGivesTheArchivesTimes) {
  MakeSource();
  const std::string destination = Path("plain");
  PlainUnpacker plain;
  restore::TRestoreRun run(catalogue_, plain, observer_);
  run.SetWorkers(2, [] { return std::make_unique<PlainUnpacker>(); });
  run.Run({.projectName = "P",
           .selectedFolderOnly = true,
           .selectedFolder = source_,
           .destination = destination,
           .prompt = false,
           .option = RestoreOption::RewriteAll});
  EXPECT_EQ(run.Totals().unpacked, sourceFiles_);
  const std::string archive = store_ + source_ + "/m2/n/o/a0.ZIP";
  const platform::FileTimes archiveTimes = TimesOf(archive);
  const platform::FileTimes restored = TimesOf(destination + "/m2/n/o/a0");
  EXPECT_EQ(restored.lastWrite, archiveTimes.lastWrite);
  EXPECT_EQ(restored.lastAccess, archiveTimes.lastAccess);
}

}  // namespace
