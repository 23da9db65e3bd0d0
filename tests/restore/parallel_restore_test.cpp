// A restore that unpacks several archives at once must look exactly like one with one
// worker: the same questions in the same places, the same observer calls and reader boxes
// in the same order, the same log, and the same files with the same bytes and times, also
// with damaged archives, an archive the reader shows a box for, a target two archives share,
// and the answers No, All and Abort.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "archive/zip_reader.h"
#include "restore/restore_run.h"
#include "restore/zip_reader_unpacker.h"
#include "tests/restore/restore_fixture.h"
#include "tests/support/silent_interaction.h"

namespace fs = std::filesystem;
using restore::ReplaceAnswer;
using restore::RestoreOption;
using namespace restore_test;

namespace {

// Every observer call and reader box as one line, in order; questions answered from a
// script, then with Yes.
class Recorder : public restore::RestoreObserver, public testsupport::SilentInteraction {
 public:
  std::vector<std::string> lines;
  std::deque<ReplaceAnswer> answers;

  void ProgressStarted(int folderCount) override {
    lines.push_back("Progress " + std::to_string(folderCount));
  }
  void FolderStarted(const std::string& path) override { lines.push_back("Folder " + path); }
  void ArchiveStarted(const std::string& path) override { lines.push_back("Archive " + path); }
  void FolderFinished() override { lines.push_back("FolderFinished"); }
  void ProcessMessages() override {}
  void ShowError(const std::string& text) override { lines.push_back("Error " + text); }
  void ArchiveFailed(const std::string& archivePath, const std::string& reason) override {
    lines.push_back("Failed " + archivePath + ": " + reason);
  }
  ReplaceAnswer AskReplace(const std::string& question) override {
    lines.push_back("Ask " + question);
    if (answers.empty()) return ReplaceAnswer::Yes;
    const ReplaceAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  void ShowMessage(const std::string& text, const std::string& caption) override {
    lines.push_back("Box " + caption + ": " + text);
  }
};

// A worker's unpacker that takes its time, so that the walk gets ahead of the workers.
class DelayedUnpacker : public restore::ArchiveUnpacker {
 public:
  DelayedUnpacker(std::unique_ptr<restore::ArchiveUnpacker> inner, std::chrono::milliseconds delay)
      : inner_(std::move(inner)), delay_(delay) {}
  int Unpack(const std::string& archivePath, const std::string& destDir) override {
    std::this_thread::sleep_for(delay_);
    return inner_->Unpack(archivePath, destDir);
  }
  restore::ArchiveResult Restore(const restore::ArchiveJob& job) override {
    std::this_thread::sleep_for(delay_);
    return inner_->Restore(job);
  }
  std::function<void()> TakeKept() override { return inner_->TakeKept(); }

 private:
  std::unique_ptr<restore::ArchiveUnpacker> inner_;
  std::chrono::milliseconds delay_;
};

class ParallelRestore : public RestoreTest {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    source_ = Path("src");
    std::vector<TreeFile> files;
    for (int d = 0; d < 3; ++d) {
      for (int f = 0; f < 30; ++f) {
        std::string content;
        for (int k = 0; k < (f * 977 + d * 131) % 20000; ++k) {
          content.push_back(static_cast<char>((k * (f + 3)) ^ (k >> 7)));
        }
        const std::string dir = "d" + std::to_string(d) + (f % 4 == 0 ? "/deep/" : "/");
        files.push_back({dir + "f" + std::to_string(f), content,
                         UtcTime(2022, 3, 1 + d, 10, f, 7, 1234567)});
      }
    }
    files.push_back({"d1/big", std::string(1500000, 'v') + "end", UtcTime(2022, 4, 1, 1, 1, 1)});
    files.push_back({"d1/crc", "its data will be damaged", UtcTime(2022, 4, 1, 1, 1, 2)});
    files.push_back({"d2/method", "its method will be unknown", UtcTime(2022, 4, 1, 1, 1, 3)});
    files.push_back({"d2/twin", "the upper-case archive's file", UtcTime(2022, 4, 1, 1, 1, 4)});
    MakeTree(source_, files);
    BackUp(source_);
    ASSERT_TRUE(catalogue_.AddFolder("P", source_, "*; ", true, 6));
    const std::string backup = store_ + source_;
    // A byte of the deflated data changed: the CRC check fails, nothing comes out.
    Patch(backup + "/d1/crc.ZIP", 30 + 3 + 2, 0x55);
    // Method 99 in both headers: the reader shows its box and extracts nothing.
    Patch(backup + "/d2/method.ZIP", 8, 99);
    const std::string central = ReadBytes(backup + "/d2/method.ZIP");
    Patch(backup + "/d2/method.ZIP", central.rfind("PK\x01\x02") + 10, 99);
    // A second archive of another name whose target is the same file.
    fs::copy_file(backup + "/d2/twin.ZIP", backup + "/d2/twin.zip");
  }

  static void Patch(const std::string& path, std::size_t offset, char value) {
    std::string bytes = ReadBytes(path);
    ASSERT_LT(offset, bytes.size());
    bytes[offset] ^= value;
    WriteText(path, bytes);
    // The archive keeps its times: the restore gives them to the file.
  }

  struct Outcome {
    std::vector<std::string> lines;
    std::vector<std::string> log;
    std::map<std::string, std::string> files;  // relative path -> bytes @ last write
  };

  // Restores the folder into a fresh destination with workers unpacking at once.
  Outcome Restore(int workers, RestoreOption option, std::deque<ReplaceAnswer> answers,
                  const std::string& tag) {
    Recorder recorder;
    recorder.answers = std::move(answers);
    archive::TZipReader reader;
    restore::ConfigureReaderForRestore(reader);
    reader.Interaction = &recorder;
    restore::ZipReaderUnpacker unpacker(reader);
    restore::TRestoreRun run(catalogue_, unpacker, recorder);
    run.SetWorkers(workers, [&]() -> std::unique_ptr<restore::ArchiveUnpacker> {
      auto own = restore::MakeOwnReaderUnpacker(&recorder);
      if (workerDelay_.count() == 0) return own;
      return std::make_unique<DelayedUnpacker>(std::move(own), workerDelay_);
    });
    const std::string destination = Path("dest-" + tag);
    // Two files there already: one in its archive's minute, one in another.
    WriteText(destination + "/d0/f1", "older");
    SetTimes(destination + "/d0/f1", UtcTime(2022, 3, 1, 10, 1, 0), UtcTime(2022, 3, 1, 10, 1, 0));
    WriteText(destination + "/d0/f2", "other minute");
    SetTimes(destination + "/d0/f2", UtcTime(2020, 1, 1, 0, 0, 0), UtcTime(2020, 1, 1, 0, 0, 0));
    catalogue_.ClearLog();
    run.Run({.projectName = "P",
             .selectedFolderOnly = true,
             .selectedFolder = source_,
             .destination = destination,
             .prompt = true,
             .option = option});
    Outcome outcome;
    for (std::string line : recorder.lines) {
      // The destinations differ by their tag only.
      for (std::size_t at; (at = line.find(destination)) != std::string::npos;) {
        line.replace(at, destination.size(), "<dest>");
      }
      outcome.lines.push_back(line);
    }
    for (std::string line : LogTexts()) {
      for (std::size_t at; (at = line.find(destination)) != std::string::npos;) {
        line.replace(at, destination.size(), "<dest>");
      }
      outcome.log.push_back(line);
    }
    for (const auto& entry : fs::recursive_directory_iterator(destination)) {
      if (!entry.is_regular_file()) continue;
      const std::string path = entry.path().string();
      outcome.files[fs::relative(path, destination).string()] =
          ReadBytes(path) + "@" + std::to_string(TimesOf(path).lastWrite);
    }
    return outcome;
  }

  void ExpectSame(RestoreOption option, const std::deque<ReplaceAnswer>& answers) {
    const std::string round = std::to_string(++rounds_);
    const Outcome one = Restore(1, option, answers, "one" + round);
    const Outcome many = Restore(4, option, answers, "many" + round);
    EXPECT_EQ(one.lines, many.lines);
    EXPECT_EQ(one.log, many.log);
    EXPECT_EQ(one.files.size(), many.files.size());
    EXPECT_TRUE(one.files == many.files) << "restored files differ";
    one_ = one;
  }

  std::string source_;
  std::chrono::milliseconds workerDelay_{0};
  Outcome one_;
  int rounds_ = 0;
};

bool Has(const std::vector<std::string>& lines, const std::string& text) {
  return std::find(lines.begin(), lines.end(), text) != lines.end();
}

TEST_F(ParallelRestore, QuestionsAnsweredInOrderGiveWhatOneWorkerGives) {
  ExpectSame(RestoreOption::RewriteAll,
             {ReplaceAnswer::Yes, ReplaceAnswer::No, ReplaceAnswer::Yes, ReplaceAnswer::No,
              ReplaceAnswer::Yes, ReplaceAnswer::Yes, ReplaceAnswer::Yes, ReplaceAnswer::All});
  // The scenario reaches what it is meant to: questions, boxes, failed archives.
  EXPECT_EQ(std::count_if(one_.lines.begin(), one_.lines.end(),
                          [](const std::string& l) { return l.rfind("Ask ", 0) == 0; }),
            8);
  EXPECT_TRUE(Has(one_.lines, "Box Zip Error: Unknown Compression Method"));
  EXPECT_TRUE(Has(one_.log, "Error unpacking file \"crc.ZIP\"!"));
  EXPECT_TRUE(Has(one_.log, "File \"twin.zip\" was unpacked."));
  EXPECT_GT(one_.files.size(), 80u);
}

TEST_F(ParallelRestore, RefreshWithoutQuestionsAndAbortGiveWhatOneWorkerGives) {
  // Refresh asks only for files it would restore, answered Yes.
  ExpectSame(RestoreOption::Refresh, {});
  EXPECT_FALSE(Has(one_.lines, "Archive <dest>/d0/f1.ZIP")) << "same minute: left alone";
  ExpectSame(RestoreOption::AppendMissed, {});
  ExpectSame(RestoreOption::RewriteAll,
             {ReplaceAnswer::Yes, ReplaceAnswer::Yes, ReplaceAnswer::Yes, ReplaceAnswer::Abort});
  EXPECT_EQ(one_.files.size(), 5u) << "three restored before the abort, two there before";
}

// More archives in one folder than the workers may hold in flight: the run commits them in
// batches, and still in the one order a single worker gives.
TEST_F(ParallelRestore, AFolderOfMoreArchivesThanFitInFlightGivesWhatOneWorkerGives) {
  std::vector<TreeFile> files;
  for (int f = 0; f < 150; ++f) {
    files.push_back({"d3/many" + std::to_string(f), std::string(f % 7 * 300, 'a' + f % 26),
                     UtcTime(2023, 5, 1, 8, f % 60, f % 50)});
  }
  MakeTree(source_, files);
  BackUp(source_);
  // Slow workers, so that the walk fills every slot and waits for a batch.
  workerDelay_ = std::chrono::milliseconds(3);
  // No question (each would first commit everything in flight): the targets are missing.
  ExpectSame(RestoreOption::AppendMissed, {});
  EXPECT_TRUE(Has(one_.log, "File \"many149.ZIP\" was unpacked."));
  EXPECT_GT(one_.files.size(), 230u);
}

}  // namespace
