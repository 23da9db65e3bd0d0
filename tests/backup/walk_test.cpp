// Protects the backup's walk: what it enters, what it hands to the store action, which
// target directories it creates, and that a directory it cannot read is never skipped
// without a word.
#include "backup/walk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/no_io_uring.h"
#include "tests/support/unprivileged.h"

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteText;

namespace {

// Both ways the looks may go to the system: together (where the kernel takes them so, as
// here) and one by one (as where it does not, and shared between two threads).
constexpr platform::LookupMode kBothWays[] = {platform::LookupMode::Batched,
                                              platform::LookupMode::OneByOne};

const char* WayName(platform::LookupMode mode) {
  return mode == platform::LookupMode::Batched ? "looks together" : "looks one by one";
}

// Records what the walk hands to the store action.
struct Recorder {
  platform::LookupMode mode = platform::LookupMode::Batched;
  std::vector<std::string> stored;      // "<sourceDir>/<name> -> <targetDir>"
  std::vector<std::string> unreadable;  // "<dir>: <reason>"
  int entries = 0;
  backup::FolderWalk Walk(const std::string& masks, bool include) {
    backup::FolderWalk walk;
    walk.looks = mode;
    walk.masks = store::MaskList(masks);
    walk.include = include;
    walk.store = [this](const std::shared_ptr<const backup::WalkLevel>& level,
                        const std::string& name) {
      stored.push_back(level->source.Path() + "/" + name + " -> " + level->target.Path());
    };
    walk.afterEntry = [this] { ++entries; };
    walk.unreadable = [this](const std::string& dir, std::error_code reason) {
      unreadable.push_back(dir + ": " + reason.message());
    };
    return walk;
  }
};

// Gives a walk a second thread for the looks of large directories, as a run with workers
// does, and counts how often it was used.
void ShareLooks(backup::FolderWalk& walk, int& calls) {
  walk.runBoth = [&calls](const std::function<void()>& first, const std::function<void()>& second) {
    ++calls;
    std::thread other(second);
    first();
    other.join();
  };
}

TEST(ProcessDirectory, WalksDepthFirstAndMirrorsEveryDirectory) {
  for (const platform::LookupMode mode : kBothWays) {
    SCOPED_TRACE(WayName(mode));
    TempDir dir;
    const std::string src = dir / "src";
    WriteText(src + "/a.txt", "x");
    WriteText(src + "/.hidden", "x");
    WriteText(src + "/sub/b.txt", "x");
    WriteText(src + "/sub/deeper/c.txt", "x");
    fs::create_directories(src + "/empty");
    WriteText(src + "/.cache/d.txt", "x");
    Recorder rec{mode};
    backup::ProcessDirectory(src, dir / "dst", rec.Walk("", false));
    std::vector<std::string> expected = {
        src + "/.hidden -> " + (dir / "dst"),
        src + "/a.txt -> " + (dir / "dst"),
        src + "/sub/b.txt -> " + (dir / "dst/sub"),
        src + "/sub/deeper/c.txt -> " + (dir / "dst/sub/deeper"),
    };
    std::sort(rec.stored.begin(), rec.stored.end());
    EXPECT_EQ(rec.stored, expected);
    EXPECT_TRUE(fs::is_directory(dir / "dst/empty"));
    EXPECT_TRUE(fs::is_directory(dir / "dst/sub/deeper"));
    EXPECT_FALSE(fs::exists(dir / "dst/.cache"));
    // One call per entry of every walked directory: src has 5, sub 2, deeper 1, empty 0.
    EXPECT_EQ(rec.entries, 8);
  }
}

// In a target directory the walk makes (nothing in it to look up) and in one that exists.
TEST(ProcessDirectory, AppliesMasksInBothModes) {
  for (const platform::LookupMode mode : kBothWays) {
    SCOPED_TRACE(WayName(mode));
    TempDir dir;
    const std::string src = dir / "src";
    WriteText(src + "/Letter.DOC", "x");
    WriteText(src + "/letter.doc.bak", "x");
    WriteText(src + "/a.tmp", "x");
    WriteText(src + "/a.b.tmp", "x");
    for (const bool exists : {false, true}) {
      const std::string dst1 = dir / (exists ? "old1" : "dst1");
      const std::string dst2 = dir / (exists ? "old2" : "dst2");
      if (exists) fs::create_directories(dst1), fs::create_directories(dst2);
      Recorder inc{mode};
      backup::ProcessDirectory(src, dst1, inc.Walk("*.doc; ", true));
      EXPECT_EQ(inc.stored, (std::vector<std::string>{src + "/Letter.DOC -> " + dst1}));
      Recorder exc{mode};
      backup::ProcessDirectory(src, dst2, exc.Walk("*.tmp; ", false));
      std::sort(exc.stored.begin(), exc.stored.end());
      EXPECT_EQ(exc.stored, (std::vector<std::string>{src + "/Letter.DOC -> " + dst2,
                                                      src + "/a.b.tmp -> " + dst2,
                                                      src + "/letter.doc.bak -> " + dst2}));
    }
  }
}

TEST(ProcessDirectory, LinksToDirectoriesAreNotWalkedLinksToFilesAreStored) {
  for (const platform::LookupMode mode : kBothWays) {
    SCOPED_TRACE(WayName(mode));
    TempDir dir;
    const std::string src = dir / "src";
    WriteText(src + "/real/f.txt", "x");
    WriteText(dir / "outside/g.txt", "x");
    fs::create_directory_symlink(src, src + "/loop");
    fs::create_directory_symlink(dir / "outside", src + "/out");
    fs::create_symlink(dir / "outside/g.txt", src + "/g-link.txt");
    fs::create_symlink(dir / "missing", src + "/dangling");
    ASSERT_EQ(mkfifo((src + "/pipe").c_str(), 0600), 0);
    Recorder rec{mode};
    backup::ProcessDirectory(src, dir / "dst", rec.Walk("", false));
    std::sort(rec.stored.begin(), rec.stored.end());
    EXPECT_EQ(rec.stored, (std::vector<std::string>{src + "/g-link.txt -> " + (dir / "dst"),
                                                    src + "/real/f.txt -> " + (dir / "dst/real")}));
    EXPECT_FALSE(fs::exists(dir / "dst/loop"));
    EXPECT_FALSE(fs::exists(dir / "dst/out"));
  }
}

TEST(ProcessDirectory, LeftOutDirectoriesAreNotEntered) {
  for (const platform::LookupMode mode : kBothWays) {
    SCOPED_TRACE(WayName(mode));
    TempDir dir;
    const std::string src = dir / "src";
    WriteText(src + "/keep/a.txt", "x");
    WriteText(src + "/store/old.txt.ZIP", "x");
    Recorder rec{mode};
    backup::FolderWalk walk = rec.Walk("", false);
    store::DirectoryId storeId;
    ASSERT_TRUE(store::GetDirectoryId(src + "/store", storeId));
    walk.leftOut = {storeId};
    backup::ProcessDirectory(src, dir / "dst", walk);
    EXPECT_EQ(rec.stored, (std::vector<std::string>{src + "/keep/a.txt -> " + (dir / "dst/keep")}));
    EXPECT_FALSE(fs::exists(dir / "dst/store"));
  }
}

TEST(ProcessDirectory, MissingSourceCreatesTargetAndStoresNothing) {
  for (const platform::LookupMode mode : kBothWays) {
    SCOPED_TRACE(WayName(mode));
    TempDir dir;
    Recorder rec{mode};
    EXPECT_FALSE(backup::ProcessDirectory(dir / "nowhere", dir / "dst", rec.Walk("", false)));
    EXPECT_TRUE(rec.stored.empty());
    EXPECT_EQ(rec.entries, 0);
    EXPECT_TRUE(fs::is_directory(dir / "dst"));
    EXPECT_EQ(rec.unreadable,
              (std::vector<std::string>{(dir / "nowhere") + ": No such file or directory"}));
  }
}

TEST(ProcessDirectory, UnreadableSubdirectoryEndsOnlyItsOwnLevel) {
  for (const platform::LookupMode mode : kBothWays) {
    SCOPED_TRACE(WayName(mode));
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all);
    const std::string src = dir / "src";
    WriteText(src + "/locked/a.txt", "x");
    WriteText(src + "/z.txt", "x");
    fs::permissions(src + "/locked", fs::perms::none);
    // The walk runs unprivileged; the child reports through its exit status.
    const int status = testsupport::RunUnprivileged([&] {
      Recorder rec{mode};
      if (!backup::ProcessDirectory(src, dir / "dst", rec.Walk("", false))) return 4;
      if (rec.stored != std::vector<std::string>{src + "/z.txt -> " + (dir / "dst")}) return 1;
      if (!fs::is_directory(dir / "dst/locked")) return 2;
      // Skipped, but never without a word.
      if (rec.unreadable != std::vector<std::string>{src + "/locked: Permission denied"}) return 3;
      return 0;
    });
    EXPECT_EQ(status, 0);
  }
}

TEST(ProcessDirectory, DirectoryThatMayBeReadButNotEnteredIsReported) {
  for (const platform::LookupMode mode : kBothWays) {
    SCOPED_TRACE(WayName(mode));
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all);
    const std::string src = dir / "src";
    WriteText(src + "/listonly/a.txt", "x");
    WriteText(src + "/z.txt", "x");
    fs::permissions(src + "/listonly", fs::perms::owner_read | fs::perms::others_read);
    fs::permissions(src, fs::perms::all);
    const int status = testsupport::RunUnprivileged([&] {
      Recorder rec{mode};
      backup::ProcessDirectory(src, dir / "dst", rec.Walk("", false));
      if (rec.stored != std::vector<std::string>{src + "/z.txt -> " + (dir / "dst")}) return 1;
      if (rec.unreadable != std::vector<std::string>{src + "/listonly: Permission denied"})
        return 3;
      return 0;
    });
    EXPECT_EQ(status, 0);
  }
}

// A directory large enough for two threads to share the looks is decided exactly as one
// thread decides it, and as the kernel decides it with the looks taken together: the
// masks, the archives' times, links and subdirectories alike, and its leftovers are still
// cleared before anything is stored.
TEST(ProcessDirectory, LargeDirectoryIsDecidedTheSameWhenTwoThreadsShareTheLooks) {
  TempDir dir;
  const std::string src = dir / "src";
  const std::string dst = dir / "dst";
  char name[32];
  for (int k = 0; k < 90; ++k) {
    std::snprintf(name, sizeof name, "/f%02d.txt", k);
    WriteText(src + name, "x");
  }
  for (int k = 0; k < 10; ++k) {
    std::snprintf(name, sizeof name, "/x%02d.tmp", k);
    WriteText(src + name, "x");
  }
  WriteText(src + "/sub/inner.txt", "x");
  fs::create_symlink(src + "/f00.txt", src + "/zz-link.txt");
  const auto walkOnce = [&](platform::LookupMode mode, bool shared, int& calls) {
    Recorder rec{mode};
    backup::FolderWalk walk = rec.Walk("*.tmp; ", false);
    if (shared) ShareLooks(walk, calls);
    backup::ProcessDirectory(src, dst, walk);
    return rec.stored;
  };
  int calls = 0;
  // Into a new mirror: nothing to look up, so nothing shared; every file but the masked.
  const std::vector<std::string> first = walkOnce(platform::LookupMode::OneByOne, true, calls);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(first.size(), 92u);
  EXPECT_EQ(first.back(), src + "/zz-link.txt -> " + dst);

  // Archives of the same time for f00-f44, of an older one for f45-f59, none for the rest.
  for (int k = 0; k < 60; ++k) {
    std::snprintf(name, sizeof name, "/f%02d.txt", k);
    WriteText(dst + name + ".ZIP", "archive");
    auto time = fs::last_write_time(src + name);
    if (k >= 45) time -= std::chrono::hours(1);
    fs::last_write_time(dst + name + ".ZIP", time);
  }
  for (const platform::LookupMode mode : kBothWays) {
    SCOPED_TRACE(WayName(mode));
    WriteText(dst + "/.vrn-tmp.Ab3dE9", "partial");
    calls = 0;
    const std::vector<std::string> shared = walkOnce(mode, true, calls);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(fs::exists(dst + "/.vrn-tmp.Ab3dE9"));
    const std::vector<std::string> alone = walkOnce(mode, false, calls);
    EXPECT_EQ(shared, alone);
    ASSERT_EQ(shared.size(), 47u);  // f45-f89, sub/inner.txt, zz-link.txt
    EXPECT_EQ(shared.front(), src + "/f45.txt -> " + dst);
    EXPECT_EQ(shared[44], src + "/f89.txt -> " + dst);
    EXPECT_EQ(shared[45], src + "/sub/inner.txt -> " + (dst + "/sub"));
  }
}

// Every way an archive can answer, in a directory of more looks than the kernel takes in
// one submission, decided alike whichever way the looks go: an archive of the same minute
// (also behind a link, and for a file the listing cannot call regular), of another minute,
// none, a directory or a dangling link where the archive would be.
TEST(ProcessDirectory, ArchivesAreComparedAlikeWhicheverWayTheLooksGo) {
  TempDir dir(TempDir::Medium::kMemory);
  const std::string src = dir / "src";
  const std::string dst = dir / "dst";
  char name[32];
  std::vector<std::string> expected;
  const long long minute = 1700000040;  // a whole minute
  for (int k = 0; k < 300; ++k) {
    std::snprintf(name, sizeof name, "/f%03d.dat", k);
    WriteText(src + name, "x");
    testsupport::SetMtime(src + name, minute + 10);
    const std::string archive = dst + name + ".ZIP";
    switch (k % 6) {
      case 0:  // same minute, other second: unchanged
        WriteText(archive, "a");
        testsupport::SetMtime(archive, minute + 50);
        continue;
      case 1:  // the minute before
        WriteText(archive, "a");
        testsupport::SetMtime(archive, minute - 1);
        break;
      case 2:  // no archive
        break;
      case 3:  // a directory where the archive would be
        fs::create_directories(archive);
        break;
      case 4:  // a link to an archive of the same minute: unchanged
        WriteText(dst + name + ".real", "a");
        testsupport::SetMtime(dst + name + ".real", minute);
        fs::create_symlink(dst + name + ".real", archive);
        continue;
      case 5:  // a dangling link where the archive would be
        fs::create_directories(dst);
        fs::create_symlink(dst + "/nowhere", archive);
        break;
    }
    expected.push_back(src + name + " -> " + dst);
  }
  // A link to a file: the listing cannot call it regular, so its archive is looked at
  // after the file itself.
  fs::create_symlink(src + "/f000.dat", src + "/link-same.dat");
  WriteText(dst + "/link-same.dat.ZIP", "a");
  testsupport::SetMtime(dst + "/link-same.dat.ZIP", minute);
  fs::create_symlink(src + "/f000.dat", src + "/link-old.dat");
  WriteText(dst + "/link-old.dat.ZIP", "a");
  testsupport::SetMtime(dst + "/link-old.dat.ZIP", minute + 60);
  expected.push_back(src + "/link-old.dat -> " + dst);  // sorts after the f-files
  for (const platform::LookupMode mode : kBothWays) {
    for (const bool shared : {false, true}) {
      SCOPED_TRACE(std::string(WayName(mode)) + (shared ? ", shared" : ""));
      Recorder rec{mode};
      backup::FolderWalk walk = rec.Walk("", false);
      int calls = 0;
      if (shared) ShareLooks(walk, calls);
      backup::ProcessDirectory(src, dst, walk);
      EXPECT_EQ(rec.stored, expected);
      EXPECT_TRUE(rec.unreadable.empty());
      EXPECT_EQ(calls, shared ? 1 : 0);
    }
  }
}

// Where the kernel refuses io_uring, a walk that asks for the looks together gets them one
// by one, with the same decisions.
TEST(ProcessDirectory, KernelThatRefusesIoUringWalksAlike) {
  TempDir dir(TempDir::Medium::kMemory);
  const std::string src = dir / "src";
  const std::string dst = dir / "dst";
  char name[32];
  for (int k = 0; k < 100; ++k) {
    std::snprintf(name, sizeof name, "/f%03d.dat", k);
    WriteText(src + name, "x");
    if (k % 2) continue;
    WriteText(dst + name + ".ZIP", "a");
    fs::last_write_time(dst + name + ".ZIP", fs::last_write_time(src + name));
  }
  WriteText(src + "/sub/a.dat", "x");
  const auto walkOnce = [&](int& calls) {
    Recorder rec{platform::LookupMode::Batched};
    backup::FolderWalk walk = rec.Walk("", false);
    ShareLooks(walk, calls);
    backup::ProcessDirectory(src, dst, walk);
    return rec.stored;
  };
  int calls = 0;
  const std::vector<std::string> here = walkOnce(calls);
  ASSERT_EQ(here.size(), 51u);
  const int status = testsupport::RunWithoutIoUring(ENOSYS, [&] {
    int refusedCalls = 0;
    std::vector<std::string> refused;
    std::thread fresh([&] { refused = walkOnce(refusedCalls); });
    fresh.join();
    if (refused != here) return 1;
    return refusedCalls == 1 ? 0 : 2;
  });
  EXPECT_EQ(status, 0);
}

// A directory that may be listed but not entered holds files the walk cannot look at, and
// cannot store: it is reported once, whether its mirror is new (the listing alone would
// have picked its files) or exists and two threads share the looks.
TEST(ProcessDirectory, LargeDirectoryThatMayBeReadButNotEnteredIsReportedOnce) {
  TempDir dir;
  fs::permissions(dir.Path(), fs::perms::all);
  const std::string src = dir / "src";
  char name[40];
  for (int k = 0; k < 80; ++k) {
    std::snprintf(name, sizeof name, "/listonly/f%02d.txt", k);
    WriteText(src + name, "x");
  }
  fs::permissions(src + "/listonly", fs::perms::owner_read | fs::perms::others_read);
  fs::permissions(src, fs::perms::all);
  for (const platform::LookupMode mode : kBothWays) {
    SCOPED_TRACE(WayName(mode));
    const int status = testsupport::RunUnprivileged([&] {
      for (const bool mirrorExists : {false, true}) {
        const std::string dst =
            dir / ((mirrorExists ? "old-" : "new-") + std::string(WayName(mode)));
        if (mirrorExists && !fs::create_directories(dst)) return 5;
        Recorder rec{mode};
        backup::FolderWalk walk = rec.Walk("", false);
        int calls = 0;
        ShareLooks(walk, calls);
        backup::ProcessDirectory(src + "/listonly", dst, walk);
        if (!rec.stored.empty()) return 1;
        if (rec.unreadable != std::vector<std::string>{src + "/listonly: Permission denied"}) {
          return 3;
        }
        if (calls != (mirrorExists ? 1 : 0)) return 4;
      }
      return 0;
    });
    EXPECT_EQ(status, 0);
  }
}

}  // namespace
