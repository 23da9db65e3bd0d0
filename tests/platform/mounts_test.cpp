// Protects the folder picker's drive list: which mounted file systems are offered. A wrong
// filter either buries the user's disks among dozens of pseudo file systems or hides the
// USB stick they want to back up to; a wrong decoder breaks mount points with blanks.
#include "platform/mounts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;

// A mount table as a Debian desktop shows it, written by hand.
constexpr const char* kDesktopTable =
    "sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0\n"
    "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n"
    "udev /dev devtmpfs rw,nosuid,relatime,size=8000000k 0 0\n"
    "tmpfs /run tmpfs rw,nosuid,nodev,noexec,relatime 0 0\n"
    "/dev/nvme0n1p2 / ext4 rw,relatime,errors=remount-ro 0 0\n"
    "/dev/nvme0n1p1 /boot/efi vfat rw,relatime 0 0\n"
    "/dev/loop3 /snap/core22/1380 squashfs ro,nodev,relatime 0 0\n"
    "tmpfs /run/user/1000 tmpfs rw,nosuid,nodev,relatime 0 0\n"
    "/dev/sdb1 /media/anna/USB\\040STICK vfat rw,nosuid,nodev 0 0\n"
    "nas:/export/backup /mnt/nas nfs4 rw,relatime 0 0\n";

TEST(ParseMountTable, ReadsDeviceMountPointAndTypeOfEachLine) {
  const auto entries = platform::ParseMountTable(kDesktopTable);
  ASSERT_EQ(entries.size(), 10u);
  EXPECT_EQ(entries[4].device, "/dev/nvme0n1p2");
  EXPECT_EQ(entries[4].mountPoint, "/");
  EXPECT_EQ(entries[4].type, "ext4");
  EXPECT_EQ(entries[9].device, "nas:/export/backup");
  EXPECT_EQ(entries[9].type, "nfs4");
}

TEST(ParseMountTable, DecodesEscapedBlanksTabsAndBackslashes) {
  const auto entries =
      platform::ParseMountTable("/dev/sdc1 /media/a\\040b\\011c\\134d vfat rw 0 0\n");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].mountPoint, "/media/a b\tc\\d");
}

TEST(ParseMountTable, SkipsShortLinesAndToleratesMissingFinalNewline) {
  const auto entries = platform::ParseMountTable("garbage\n\n/dev/sda1 /data ext4 rw 0 0");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].mountPoint, "/data");
}

class BrowsableRootsTest : public ::testing::Test {
 protected:
  std::string MakeDir(const std::string& name) {
    const std::string path = scratch_.File(name);
    fs::create_directories(path);
    return path;
  }
  testsupport::TempDir scratch_;
  const std::string dir_ = scratch_.Path();
};

TEST_F(BrowsableRootsTest, OffersRootHomeDisksMediaAndSharesButNoPseudoFileSystems) {
  const std::string home = MakeDir("home");
  const std::string usb = MakeDir("media/USB STICK");
  const std::string nas = MakeDir("nas");
  const std::string data = MakeDir("data");
  const std::string table =
      "proc /proc proc rw 0 0\n"
      "tmpfs /run/user/1000 tmpfs rw 0 0\n"
      "/dev/nvme0n1p2 / ext4 rw 0 0\n"
      "/dev/nvme0n1p1 /boot/efi vfat rw 0 0\n"
      "/dev/loop3 /snap/core22/1 squashfs ro 0 0\n"
      "tmpfs " +
      dir_ +
      " tmpfs rw 0 0\n"
      "/dev/sdb1 " +
      dir_ +
      "/media/USB\\040STICK vfat rw 0 0\n"
      "nas:/export " +
      nas +
      " nfs4 rw 0 0\n"
      "/dev/sda1 " +
      data + " ext4 rw 0 0\n";
  const auto roots = platform::BrowsableRoots(platform::ParseMountTable(table), home);
  const std::vector<std::string> expected{"/", home, data, usb, nas};
  EXPECT_EQ(roots, expected);
}

TEST_F(BrowsableRootsTest, LeavesOutMountPointsThatAreGoneOrNotDirectories) {
  const std::string file = dir_ + "/hosts";
  std::FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  const std::string table = "/dev/sda1 " + dir_ +
                            "/gone ext4 rw 0 0\n"
                            "/dev/vda1 " +
                            file + " ext4 rw 0 0\n";
  const auto roots = platform::BrowsableRoots(platform::ParseMountTable(table), "");
  EXPECT_EQ(roots, std::vector<std::string>{"/"});
}

TEST_F(BrowsableRootsTest, NamesEachPlaceOnceEvenWhenHomeIsItselfAMountPoint) {
  const std::string home = MakeDir("home");
  const std::string table =
      "/dev/sda1 / ext4 rw 0 0\n"
      "/dev/sda2 " +
      home +
      " ext4 rw 0 0\n"
      "/dev/sda2 " +
      home + " ext4 rw 0 0\n";
  const auto roots = platform::BrowsableRoots(platform::ParseMountTable(table), home);
  EXPECT_EQ(roots, (std::vector<std::string>{"/", home}));
}

TEST(BrowsableRootsOfThisProcess, StartWithTheRoot) {
  const auto roots = platform::BrowsableRoots();
  ASSERT_FALSE(roots.empty());
  EXPECT_EQ(roots.front(), "/");
}

}  // namespace
