// Protects the file-system view the walks and the settings depend on: listings (order,
// attributes, links), path folding, the File wrapper's errors, temporary files and the
// INI profile format with its Windows semantics.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/directory.h"
#include "platform/file.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "tests/support/files.h"
#include "tests/support/unprivileged.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

class TempDir : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return scratch_.File(name); }
  void Write(const std::string& name, const std::string& content) const {
    testsupport::WriteText(Path(name), content);
  }
  std::string Read(const std::string& name) const { return testsupport::ReadText(Path(name)); }
  testsupport::TempDir scratch_;
  const std::string dir_ = scratch_.Path();
};

}  // namespace

TEST_F(TempDir, ListingIsSortedWithAttributesAndLinks) {
  Write("b.txt", "12345");
  Write(".hidden", "");
  fs::create_directory(Path("a_dir"));
  fs::create_symlink(Path("b.txt"), Path("link_to_b"));
  fs::create_symlink(Path("a_dir"), Path("link_to_dir"));
  fs::create_symlink(Path("missing"), Path("dangling"));
  chmod(Path("b.txt").c_str(), 0444);

  std::vector<DirEntry> entries;
  ASSERT_FALSE(ListDirectory(dir_, entries));
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{".hidden", "a_dir", "b.txt", "link_to_b", "link_to_dir"}));
  EXPECT_EQ(entries[0].info.attributes, faHidden | faArchive);
  EXPECT_EQ(entries[1].info.attributes, faDirectory);
  EXPECT_TRUE(entries[1].info.isDirectory);
  EXPECT_EQ(entries[2].info.attributes, faReadOnly | faArchive);
  EXPECT_EQ(entries[2].info.size, 5u);
  EXPECT_FALSE(entries[2].info.isSymlink);
  EXPECT_TRUE(entries[3].info.isSymlink);
  EXPECT_TRUE(entries[3].info.isRegular);
  EXPECT_TRUE(entries[4].info.isSymlink);
  EXPECT_TRUE(entries[4].info.isDirectory);

  EXPECT_TRUE(ListDirectory(Path("nope"), entries));
}

// The listing's own word on each entry, for walks that look at an entry only when they
// must: sure of files and directories, and of nothing a look would tell otherwise.
TEST_F(TempDir, ListKindsTellsOnlyWhatTheListingKnows) {
  Write("b.txt", "12345");
  fs::create_directory(Path("a_dir"));
  fs::create_symlink(Path("b.txt"), Path("link_to_b"));
  fs::create_symlink(Path("a_dir"), Path("link_to_dir"));
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  std::vector<ListedName> listed;
  ASSERT_FALSE(ListKinds(dir_, listed));
  std::vector<std::pair<std::string, ListedKind>> got;
  for (const auto& entry : listed) got.emplace_back(entry.name, entry.kind);
  EXPECT_EQ(got, (std::vector<std::pair<std::string, ListedKind>>{
                     {"a_dir", ListedKind::Directory},
                     {"b.txt", ListedKind::Regular},
                     {"link_to_b", ListedKind::Unknown},
                     {"link_to_dir", ListedKind::Unknown},
                     {"pipe", ListedKind::Unknown}}));
  EXPECT_EQ(ListKinds(Path("nope"), listed), std::errc::no_such_file_or_directory);
}

// Identity and the exact last-write time are what tell a changed or a linked file: a link
// and its target are one object, a rewrite one nanosecond later is another state.
TEST_F(TempDir, InfoCarriesIdentityAndTheNanosecondTime) {
  Write("a.txt", "a");
  Write("b.txt", "b");
  fs::create_symlink(Path("a.txt"), Path("link_to_a"));
  const timespec times[2] = {{1709633720, 123456789}, {1709633720, 123456789}};
  ASSERT_EQ(utimensat(AT_FDCWD, Path("a.txt").c_str(), times, 0), 0);
  FileInfo a, b, link;
  ASSERT_FALSE(GetFileInfo(Path("a.txt"), a));
  ASSERT_FALSE(GetFileInfo(Path("b.txt"), b));
  ASSERT_FALSE(GetFileInfo(Path("link_to_a"), link));
  EXPECT_EQ(a.lastWriteNs, 1709633720123456789LL);
  EXPECT_TRUE(SameObject(a, link));
  EXPECT_FALSE(SameObject(a, b));
  struct stat st {};
  ASSERT_EQ(stat(Path("a.txt").c_str(), &st), 0);
  EXPECT_EQ(a.inode, st.st_ino);
  EXPECT_EQ(a.device, st.st_dev);
}

// A directory that may be listed but not entered gives names without status: they are
// left out, and the caller learns why.
TEST_F(TempDir, ListingSaysWhyEntriesWereLeftOut) {
  Write("x.txt", "x");
  fs::create_symlink(Path("missing"), Path("dangling"));
  std::vector<DirEntry> entries;
  std::error_code statusError = std::make_error_code(std::errc::io_error);
  ASSERT_FALSE(ListDirectory(dir_, entries, &statusError));
  EXPECT_FALSE(statusError) << "a dangling link is no failure";
  EXPECT_EQ(entries.size(), 1u);

  fs::create_directory(Path("listonly"));
  Write("listonly/a.txt", "a");
  chmod(dir_.c_str(), 0755);
  chmod(Path("listonly").c_str(), 0444);
  // Root enters every directory: the listing runs as "nobody" then, in a child process.
  const int status = testsupport::RunUnprivileged([&] {
    std::vector<DirEntry> listed;
    std::error_code why;
    if (ListDirectory(Path("listonly"), listed, &why)) return 11;
    if (!listed.empty()) return 12;
    return why == std::make_error_code(std::errc::permission_denied) ? 0 : 13;
  });
  chmod(Path("listonly").c_str(), 0700);
  EXPECT_EQ(status, 0);
}

TEST_F(TempDir, ListNamesGivesBareNamesWithoutDots) {
  Write("b", "");
  Write(".vrn-tmp.abcdef", "");
  fs::create_directory(Path("d"));
  std::vector<std::string> names;
  ASSERT_FALSE(ListNames(dir_, names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".vrn-tmp.abcdef", "b", "d"}));
  EXPECT_TRUE(ListNames(Path("nope"), names));
}

TEST(Paths, AbsolutePathFoldsDotsAndSlashes) {
  EXPECT_EQ(AbsolutePath("/a/./b//c/../d"), "/a/b/d");
  EXPECT_EQ(AbsolutePath("/.."), "/");
  EXPECT_EQ(AbsolutePath("x/y"), AbsolutePath(CurrentDirectory() + "/x/y"));
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
  EXPECT_EQ(ParentPath("/a/b"), "/a");
  EXPECT_EQ(ParentPath("/a"), "/");
  EXPECT_EQ(BaseName("/a/b.txt"), "b.txt");
}

TEST_F(TempDir, FileReadsWritesSeeksAndReportsErrors) {
  File file;
  EXPECT_EQ(file.Open(Path("missing"), File::Mode::Read), std::errc::no_such_file_or_directory);
  ASSERT_FALSE(file.Open(Path("f"), File::Mode::Create));
  ASSERT_FALSE(file.Write("hello world", 11));
  std::uint64_t pos = 0;
  ASSERT_FALSE(file.Seek(6, File::Origin::Begin, pos));
  char buffer[16] = {};
  std::size_t got = 0;
  ASSERT_FALSE(file.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(std::string(buffer, got), "world");
  std::uint64_t size = 0;
  ASSERT_FALSE(file.Size(size));
  EXPECT_EQ(size, 11u);
  ASSERT_FALSE(file.Truncate(5));
  ASSERT_FALSE(file.Close());
  EXPECT_EQ(Read("f"), "hello");
  EXPECT_TRUE(file.Write("x", 1));  // closed
  EXPECT_EQ(file.Open(Path("f"), File::Mode::CreateNew), std::errc::file_exists);
  ASSERT_FALSE(file.Open(Path("f"), File::Mode::OpenOrCreate));
  ASSERT_FALSE(file.Size(size));
  EXPECT_EQ(size, 5u);  // never truncated
  EXPECT_EQ(File().Open(dir_, File::Mode::Read), std::errc::is_a_directory);
  EXPECT_EQ(File().Open(dir_, File::Mode::ReadWrite), std::errc::is_a_directory);
}

TEST_F(TempDir, FileKeepsItsOpeningStatusAndSetsModeAndDateThroughTheHandle) {
  Write("f", "0123456789");
  File file;
  ASSERT_FALSE(file.Open(Path("f"), File::Mode::Read));
  FileInfo info;
  ASSERT_FALSE(GetFileInfo(Path("f"), info));
  EXPECT_EQ(file.OpenedSize(), 10u);
  EXPECT_EQ(file.OpenedLastWrite(), info.times.lastWrite);
  Write("f", "grown to twenty bytes");  // later changes do not alter the opening status
  EXPECT_EQ(file.OpenedSize(), 10u);
  // One read returns what is there; the next finds the end.
  char buffer[64];
  std::size_t got = 0;
  ASSERT_FALSE(file.ReadSome(buffer, sizeof buffer, got));
  EXPECT_EQ(std::string(buffer, got), "grown to twenty bytes");
  ASSERT_FALSE(file.ReadSome(buffer, sizeof buffer, got));
  EXPECT_EQ(got, 0u);

  ASSERT_FALSE(file.Open(Path("g"), File::Mode::Create));
  EXPECT_EQ(file.OpenedSize(), 0u);
  const mode_t old = umask(0077);  // the handle's mode is exact, whatever the mask says
  ASSERT_FALSE(file.SetMode(0754));
  umask(old);
  const FileTime stamp = UnixToFileTime(1262304000, 123456700);
  ASSERT_FALSE(file.SetLastWriteTime(stamp));
  ASSERT_FALSE(file.Close());
  ASSERT_FALSE(GetFileInfo(Path("g"), info));
  EXPECT_EQ(info.unixMode, 0754u);
  EXPECT_EQ(info.times.lastWrite, stamp);
  EXPECT_TRUE(file.SetMode(0644));  // closed
}

TEST_F(TempDir, OpenDirectoryCreatesRenamesAndDeletesInside) {
  fs::create_directory(Path("d"));
  const OpenDirectory held(Path("d"));
  ASSERT_TRUE(held.IsOpen());
  File file;
  std::string first;
  std::string second;
  ASSERT_FALSE(held.CreateTempFile("unz", file, first));
  EXPECT_EQ(file.Path(), Path("d/" + first));
  ASSERT_FALSE(file.Write("data", 4));
  ASSERT_FALSE(file.Close());
  ASSERT_FALSE(held.CreateTempFile("unz", file, second));
  EXPECT_NE(first, second);
  EXPECT_EQ(first.substr(0, 3), "unz");
  EXPECT_EQ(first.size(), 9u);
  FileInfo info;
  ASSERT_FALSE(held.GetFileInfo(second, info));
  EXPECT_EQ(info.unixMode, 0600u);  // private while it is being written

  Write("d/target", "old");
  ASSERT_FALSE(held.Rename(first, "target"));
  EXPECT_EQ(Read("d/target"), "data");
  EXPECT_FALSE(FileExists(Path("d/" + first)));
  ASSERT_FALSE(held.DeleteFile(second));
  EXPECT_FALSE(FileExists(Path("d/" + second)));
  EXPECT_EQ(held.DeleteFile(second), std::errc::no_such_file_or_directory);
  ASSERT_FALSE(held.OpenFile("target", File::Mode::ReadWrite, file));
  EXPECT_EQ(held.OpenFile("nope", File::Mode::Read, file), std::errc::no_such_file_or_directory);

  // A missing directory answers by path: the same errors, and files once it exists.
  const OpenDirectory missing(Path("later"));
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.CreateTempFile("unz", file, first), std::errc::no_such_file_or_directory);
  fs::create_directory(Path("later"));
  ASSERT_FALSE(missing.CreateTempFile("unz", file, first));
  EXPECT_EQ(file.Path(), Path("later/" + first));
  ASSERT_FALSE(missing.Rename(first, "moved"));
  EXPECT_TRUE(FileExists(Path("later/moved")));
}

TEST_F(TempDir, TempFilesAreUniqueAndCarryThePrefix) {
  std::string a, b;
  ASSERT_FALSE(CreateTempFile(dir_, "ZQT", a));
  ASSERT_FALSE(CreateTempFile(dir_, "ZQT", b));
  EXPECT_NE(a, b);
  EXPECT_EQ(BaseName(a).substr(0, 3), "ZQT");
  EXPECT_TRUE(FileExists(a));
  EXPECT_EQ(ParentPath(a), dir_);
}

// What a backup needs of a directory held open: a new file with the usual permissions,
// none where files cannot be made, and times set by bare name.
TEST_F(TempDir, OpenDirectoryMakesPublicFilesAndDatesThem) {
  fs::create_directory(Path("d"));
  const OpenDirectory held(Path("d"));
  const mode_t old = umask(022);
  File file;
  std::string name;
  ASSERT_FALSE(held.CreateTempFile(".vrn-tmp.", file, name, 0666));
  umask(old);
  EXPECT_EQ(name.size(), 15u);
  FileInfo info;
  ASSERT_FALSE(held.GetFileInfo(name, info));
  EXPECT_EQ(info.unixMode, 0644u);
  const FileTime access = UnixToFileTime(1262304000, 500);
  const FileTime write = UnixToFileTime(1262390400, 123456700);
  ASSERT_FALSE(held.WriteFileTimes(name, access, write));
  ASSERT_FALSE(GetFileInfo(Path("d/" + name), info));
  EXPECT_EQ(info.times.lastAccess, access);
  EXPECT_EQ(info.times.lastWrite, write);
  EXPECT_EQ(held.WriteFileTimes("nope", access, write), std::errc::no_such_file_or_directory);

  fs::create_directory(Path("readonly"));
  chmod(dir_.c_str(), 0755);
  chmod(Path("readonly").c_str(), 0555);
  const int status = testsupport::RunUnprivileged([&] {
    const OpenDirectory locked(Path("readonly"));
    File denied;
    std::string none;
    return locked.CreateTempFile("x", denied, none, 0666) ==
                   std::make_error_code(std::errc::permission_denied)
               ? 0
               : 1;
  });
  chmod(Path("readonly").c_str(), 0700);
  EXPECT_EQ(status, 0);
}

// The status an open for reading takes is the file's status by name: the backup uses it in
// place of a lookup of its own.
TEST_F(TempDir, AnOpenForReadingKnowsTheStatusOfWhatItOpened) {
  Write(".hidden", "twelve bytes");
  chmod(Path(".hidden").c_str(), 0640);
  FileInfo byName;
  ASSERT_FALSE(GetFileInfo(Path(".hidden"), byName));
  File file;
  ASSERT_FALSE(file.Open(Path(".hidden"), File::Mode::Read));
  const FileInfo& opened = file.OpenedInfo();
  EXPECT_EQ(opened.size, 12u);
  EXPECT_EQ(opened.unixMode, 0640u);
  EXPECT_EQ(opened.attributes, byName.attributes);
  EXPECT_NE(opened.attributes & faHidden, 0u);
  EXPECT_EQ(opened.times.lastWrite, byName.times.lastWrite);
  EXPECT_EQ(opened.times.lastAccess, byName.times.lastAccess);
  EXPECT_EQ(opened.lastWriteNs, byName.lastWriteNs);
  EXPECT_TRUE(SameObject(opened, byName));
  ASSERT_FALSE(file.Open(Path(".hidden"), File::Mode::ReadWrite));
  EXPECT_EQ(file.OpenedInfo().size, 0u);  // taken only by an open for reading
}

TEST_F(TempDir, IniReadsLikeTheProfileFunctions) {
  Write("s.ini",
        "; comment\r\n[Other]\r\nTop=5\r\n[main]\r\n top = 0x1F \r\nLeft=abc\r\nWidth=-12\r\n"
        "Project=My Docs\r\n");
  IniFile ini(Path("s.ini"));
  EXPECT_EQ(ini.ReadInteger("Main", "Top", 7), 31);
  EXPECT_EQ(ini.ReadInteger("Main", "Left", 7), 7);
  EXPECT_EQ(ini.ReadInteger("Main", "Width", 7), -12);
  EXPECT_EQ(ini.ReadInteger("Main", "Height", 7), 7);
  EXPECT_EQ(ini.ReadString("MAIN", "project", ""), "My Docs");
  EXPECT_EQ(IniFile(Path("none.ini")).ReadString("Main", "Top", "d"), "d");
}

TEST_F(TempDir, IniWritesKeepEverythingElse) {
  Write("s.ini", "[Other]\nKeep=1\n\n[Main]\nTop=5\n");
  IniFile ini(Path("s.ini"));
  ASSERT_FALSE(ini.WriteInteger("main", "TOP", 111));
  ASSERT_FALSE(ini.WriteInteger("Main", "Left", 201));
  ASSERT_FALSE(ini.WriteString("New", "Project", "Docs"));
  EXPECT_EQ(Read("s.ini"), "[Other]\nKeep=1\n\n[Main]\nTOP=111\nLeft=201\n\n[New]\nProject=Docs\n");
  EXPECT_EQ(ini.ReadInteger("Main", "Top", 0), 111);
  // No temporary file is left beside it.
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir_)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  IniFile fresh(Path("fresh.ini"));
  ASSERT_FALSE(fresh.WriteString("Main", "Project", ""));
  EXPECT_EQ(Read("fresh.ini"), "[Main]\nProject=\n");
}

// A value written again as it stands leaves the file alone (the same file, not a copy put
// in its place); any difference, even of the key's case, is written.
TEST_F(TempDir, IniWriteOfTheValueThereLeavesTheFileAlone) {
  Write("s.ini", "[Main]\r\nTop=5\r\nLeft=7\r\n");
  const auto inode = [this] {
    struct stat st {};
    EXPECT_EQ(stat(Path("s.ini").c_str(), &st), 0);
    return st.st_ino;
  };
  const auto before = inode();
  IniFile ini(Path("s.ini"));
  ASSERT_FALSE(ini.WriteInteger("main", "Top", 5));
  ASSERT_FALSE(ini.WriteString("Main", "Left", "7"));
  EXPECT_EQ(inode(), before);
  EXPECT_EQ(Read("s.ini"), "[Main]\r\nTop=5\r\nLeft=7\r\n");
  ASSERT_FALSE(ini.WriteInteger("Main", "TOP", 5));
  EXPECT_EQ(Read("s.ini"), "[Main]\nTOP=5\nLeft=7\n");
  ASSERT_FALSE(ini.WriteInteger("Main", "Left", 8));
  EXPECT_EQ(Read("s.ini"), "[Main]\nTOP=5\nLeft=8\n");
}

TEST_F(TempDir, OpenDirectoryAnswersLikeThePathLookup) {
  Write("a.txt", "abc");
  fs::create_symlink(Path("a.txt"), Path("link"));
  const OpenDirectory held(dir_);
  for (const std::string name : {"a.txt", "link", "missing"}) {
    FileInfo byPath;
    FileInfo byHandle;
    const std::error_code pathError = GetFileInfo(Path(name), byPath);
    EXPECT_EQ(held.GetFileInfo(name, byHandle), pathError) << name;
    EXPECT_EQ(byHandle.isSymlink, byPath.isSymlink) << name;
    EXPECT_EQ(byHandle.size, byPath.size) << name;
    EXPECT_EQ(byHandle.times.lastWrite, byPath.times.lastWrite) << name;
  }
  // A directory missing when the handle was made is looked up by path, so a later one counts.
  const OpenDirectory later(Path("sub"));
  FileInfo info;
  EXPECT_TRUE(later.GetFileInfo("x", info));
  fs::create_directory(Path("sub"));
  std::ofstream(Path("sub/x")) << "12";
  ASSERT_FALSE(later.GetFileInfo("x", info));
  EXPECT_EQ(info.size, 2u);
}
