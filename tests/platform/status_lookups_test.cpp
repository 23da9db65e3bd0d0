// Protects the batched status lookups: every answer is the one a lookup by itself gives
// (files, directories, links that resolve, dangle or loop, missing names, directories that
// may not be entered, a directory that goes by its path), in batches larger than one
// submission, after a fork, and where the kernel refuses io_uring.
#include "platform/status_lookups.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/no_io_uring.h"
#include "tests/support/unprivileged.h"

namespace fs = std::filesystem;
using platform::FileInfo;
using platform::GetFileInfos;
using platform::LookupMode;
using platform::OpenDirectory;
using platform::StatusLookup;

namespace {

bool SameInfo(const FileInfo& a, const FileInfo& b) {
  return a.isDirectory == b.isDirectory && a.isRegular == b.isRegular &&
         a.isSymlink == b.isSymlink && a.attributes == b.attributes && a.unixMode == b.unixMode &&
         a.size == b.size && a.times.lastWrite == b.times.lastWrite &&
         a.times.lastAccess == b.times.lastAccess && a.times.creation == b.times.creation &&
         a.lastWriteNs == b.lastWriteNs && a.device == b.device && a.inode == b.inode;
}

// A directory of every kind of entry a walk meets, and 300 files besides (more lookups than
// one submission carries).
struct Tree {
  testsupport::TempDir scratch{testsupport::TempDir::Medium::kMemory};
  std::string dir = scratch.Path();
  std::vector<std::string> names;
  Tree() {
    fs::permissions(dir, fs::perms::all);
    testsupport::WriteText(dir + "/file.txt", "12345");
    testsupport::WriteText(dir + "/.hidden", "x");
    testsupport::WriteText(dir + "/sub/inner.txt", "abc");
    testsupport::WriteText(dir + "/closed/inside.txt", "abc");
    fs::permissions(dir + "/closed", fs::perms::owner_read | fs::perms::others_read);
    fs::create_symlink(dir + "/file.txt", dir + "/to-file");
    fs::create_directory_symlink(dir + "/sub", dir + "/to-dir");
    fs::create_symlink(dir + "/missing", dir + "/dangling");
    fs::create_symlink("loop", dir + "/loop");
    chmod((dir + "/file.txt").c_str(), 0444);
    names = {"file.txt", ".hidden",  "sub",  "closed/inside.txt", "sub/inner.txt", "to-file",
             "to-dir",   "dangling", "loop", "missing",           "closed",        "sub/no"};
    char name[32];
    for (int k = 0; k < 300; ++k) {
      std::snprintf(name, sizeof name, "f%03d.dat", k);
      testsupport::WriteText(dir + "/" + name, std::string(k, 'x'));
      names.push_back(name);
    }
  }
  ~Tree() { fs::permissions(dir + "/closed", fs::perms::owner_all); }
};

// 0 when the lookups in dir (and in a directory handle of a path that did not exist when it
// was made, which goes by its path) answer as one lookup each does; otherwise the number of
// the first lookup that differs, plus one.
int CompareWithSingleLookups(const std::string& dir, const std::vector<std::string>& names,
                             LookupMode mode) {
  const OpenDirectory held(dir);
  const OpenDirectory byPath(dir + "/later");
  fs::create_directory(dir + "/later");
  testsupport::WriteText(dir + "/later/x", "12");
  std::vector<StatusLookup> lookups;
  for (const std::string& name : names) lookups.push_back({&held, name, {}, {}});
  lookups.push_back({&byPath, "x", {}, {}});
  lookups.push_back({&byPath, "y", {}, {}});
  GetFileInfos(lookups, mode);
  fs::remove_all(dir + "/later");
  for (std::size_t k = 0; k < lookups.size(); ++k) {
    const StatusLookup& lookup = lookups[k];
    FileInfo alone;
    std::error_code error;
    if (lookup.dir == &held) {
      error = held.GetFileInfo(lookup.name, alone);
    } else {
      fs::create_directory(dir + "/later");
      testsupport::WriteText(dir + "/later/x", "12");
      error = byPath.GetFileInfo(lookup.name, alone);
      // The file was written anew: its identity and times differ, its size does not.
      fs::remove_all(dir + "/later");
      if (lookup.error != error || (!error && lookup.info.size != 2u)) return int(k) + 1;
      continue;
    }
    if (lookup.error != error || !SameInfo(lookup.info, alone)) return int(k) + 1;
  }
  return 0;
}

TEST(StatusLookups, AnswerAsOneLookupEachDoes) {
  Tree tree;
  for (const LookupMode mode : {LookupMode::Batched, LookupMode::OneByOne}) {
    EXPECT_EQ(CompareWithSingleLookups(tree.dir, tree.names, mode), 0);
  }
  // The kinds of answers are really there: an error for a missing name, a loop and a
  // dangling link, a link that says it is one, and the hidden and read-only bits.
  const OpenDirectory held(tree.dir);
  std::vector<StatusLookup> lookups;
  for (const char* name : {"missing", "loop", "dangling", "to-file", ".hidden", "file.txt"}) {
    lookups.push_back({&held, name, {}, {}});
  }
  GetFileInfos(lookups);
  EXPECT_EQ(lookups[0].error, std::errc::no_such_file_or_directory);
  EXPECT_EQ(lookups[1].error, std::errc::too_many_symbolic_link_levels);
  EXPECT_EQ(lookups[2].error, std::errc::no_such_file_or_directory);
  EXPECT_TRUE(lookups[3].info.isSymlink && lookups[3].info.isRegular);
  EXPECT_EQ(lookups[3].info.size, 5u);
  EXPECT_TRUE(lookups[4].info.attributes & platform::faHidden);
  EXPECT_TRUE(lookups[5].info.attributes & platform::faReadOnly);
}

// Without root's rights the directory that may be listed but not entered answers EACCES.
TEST(StatusLookups, AnswerAsOneLookupEachDoesWithoutRootsRights) {
  Tree tree;
  const int status = testsupport::RunUnprivileged([&] {
    for (const LookupMode mode : {LookupMode::Batched, LookupMode::OneByOne}) {
      if (const int differs = CompareWithSingleLookups(tree.dir, tree.names, mode)) return differs;
    }
    const OpenDirectory held(tree.dir);
    std::vector<StatusLookup> lookups(8, {&held, "closed/inside.txt", {}, {}});
    GetFileInfos(lookups);
    return lookups[7].error == std::errc::permission_denied ? 0 : 200;
  });
  EXPECT_EQ(status, 0);
}

// A batch keeps the thread on its processor only while the kernel answers.
TEST(StatusLookups, TheThreadMayRunAnywhereAgainAfterABatch) {
  Tree tree;
  cpu_set_t before;
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  const OpenDirectory held(tree.dir);
  std::vector<StatusLookup> lookups;
  for (const std::string& name : tree.names) lookups.push_back({&held, name, {}, {}});
  GetFileInfos(lookups);
  cpu_set_t after;
  ASSERT_EQ(sched_getaffinity(0, sizeof after, &after), 0);
  EXPECT_TRUE(CPU_EQUAL(&before, &after));
  EXPECT_FALSE(lookups.back().error);
}

// A child process does not use the ring it inherited (the parent's), and the parent's
// still works afterwards.
TEST(StatusLookups, ForkedChildAndParentEachLookUpRight) {
  Tree tree;
  const bool parentBatches = platform::BatchedLookupsWork();
  EXPECT_EQ(CompareWithSingleLookups(tree.dir, tree.names, LookupMode::Batched), 0);
  const int status = testsupport::RunUnprivileged([&] {
    if (platform::BatchedLookupsWork() != parentBatches) return 100;
    return CompareWithSingleLookups(tree.dir, tree.names, LookupMode::Batched);
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(CompareWithSingleLookups(tree.dir, tree.names, LookupMode::Batched), 0);
}

// Where the kernel has no io_uring (ENOSYS) or forbids it (EPERM), batched lookups are
// answered one by one, with the same answers, on every thread.
TEST(StatusLookups, KernelThatRefusesIoUringGetsTheSameAnswers) {
  Tree tree;
  for (const int error : {ENOSYS, EPERM}) {
    const int status = testsupport::RunWithoutIoUring(error, [&] {
      int result = 0;
      // A new thread: its ring is made only now, under the refusal.
      std::thread fresh([&] {
        if (platform::BatchedLookupsWork()) {
          result = 100;
          return;
        }
        result = CompareWithSingleLookups(tree.dir, tree.names, LookupMode::Batched);
      });
      fresh.join();
      if (result != 0) return result;
      return platform::BatchedLookupsWork() ? 101 : 0;
    });
    EXPECT_EQ(status, 0) << "errno " << error;
  }
}

}  // namespace
