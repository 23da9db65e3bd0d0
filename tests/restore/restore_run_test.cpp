// Protects the restore run end to end: archives in a store folder, laid out as the backup
// run leaves them, come back byte for byte with their directory tree and their times; the
// three options touch exactly the files they should; the prompt, All and Abort act across
// folders; missing backups and damaged archives are reported without losing what the
// destination already holds. Expected trees and log texts are written out by hand.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "restore_fixture.h"
#include "tests/support/peers.h"

namespace fs = std::filesystem;

namespace restore_test {
namespace {

using restore::ReplaceAnswer;
using restore::RestoreOption;
using restore::RestoreRequest;
using testsupport::RandomBytes;

std::vector<TreeFile> DocsTree() {
  return {
      {"report.doc", "report v1\r\n", UtcTime(2021, 3, 4, 10, 15, 20, 1234567)},
      {"Old/a.tar.gz", RandomBytes(100000, 7), UtcTime(2019, 1, 2, 3, 4, 5, 6)},
      {"Old/Deep/notes.txt", std::string(5000, 'n') + "end", UtcTime(2020, 12, 31, 23, 59, 59)},
      {"empty.txt", "", UtcTime(2018, 6, 7, 8, 9, 10)},
      {"Empty Dir/", "", 0},
      {"with space & 'quote'.txt", "odd name", UtcTime(2017, 2, 3, 4, 5, 6, 7654321)},
      {".profile", "dot file", UtcTime(2016, 5, 5, 5, 5, 5)},
      {"\xC3\x9Cml\xC3\xA4ut.txt", "umlaut", UtcTime(2015, 4, 4, 4, 4, 4)},
  };
}

std::vector<TreeFile> PhotosTree() {
  return {
      {"x.jpg", RandomBytes(30000, 11), UtcTime(2022, 8, 9, 10, 11, 12)},
      {"sub/y.png", RandomBytes(2000, 13), UtcTime(2022, 8, 9, 10, 11, 13)},
  };
}

// The log of one folder restored from DocsTree with every archive unpacked, in the
// listing's byte order, depth first.
std::vector<std::string> DocsUnpackedLog() {
  return {
      "File \".profile.ZIP\" was unpacked.",
      "File \"notes.txt.ZIP\" was unpacked.",
      "File \"a.tar.gz.ZIP\" was unpacked.",
      "File \"empty.txt.ZIP\" was unpacked.",
      "File \"report.doc.ZIP\" was unpacked.",
      "File \"with space & 'quote'.txt.ZIP\" was unpacked.",
      "File \"\xC3\x9Cml\xC3\xA4ut.txt.ZIP\" was unpacked.",
  };
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(RestoreTest, AllFoldersComeBackInPlace) {
  const std::string docs = Path("src/Docs");
  const std::string photos = Path("src/Photos");
  const auto docsFiles = MakeTree(docs, DocsTree());
  const auto photosFiles = MakeTree(photos, PhotosTree());
  const auto docsListing = TreeListing(docs);
  const auto photosListing = TreeListing(photos);
  BackUp(docs);
  BackUp(photos);
  ASSERT_TRUE(catalogue_.AddFolder("P", docs, "*; ", true, 6));
  ASSERT_TRUE(catalogue_.AddFolder("P", photos, "*; ", true, 6));
  fs::remove_all(Path("src"));

  Run({.prompt = true, .option = RestoreOption::AppendMissed});

  EXPECT_EQ(TreeListing(docs), docsListing);
  EXPECT_EQ(TreeListing(photos), photosListing);
  ExpectTree(docs, docsFiles);
  ExpectTree(photos, photosFiles);
  EXPECT_TRUE(observer_.questions.empty());
  EXPECT_TRUE(observer_.errors.empty());
  EXPECT_EQ(observer_.folders, (std::vector<std::string>{docs, photos}));
  EXPECT_EQ(observer_.progressMax, 2);
  EXPECT_EQ(observer_.progressSteps, 2);
  EXPECT_EQ(observer_.archives.front(), docs + "/.profile.ZIP");
  EXPECT_EQ(LogTexts(),
            Concat({{"Starting restore process...", "Restoring folder \"" + docs + "\"..."},
                    DocsUnpackedLog(),
                    {"Folder \"" + docs + "\" restored.", "Restoring folder \"" + photos + "\"...",
                     "File \"y.png.ZIP\" was unpacked.", "File \"x.jpg.ZIP\" was unpacked.",
                     "Folder \"" + photos + "\" restored.", "Restoring complette!", ""}}));
}

TEST_F(RestoreTest, SelectedFolderIntoAnotherFolderRecreatesTheTree) {
  const std::string docs = Path("src/Docs");
  const auto docsFiles = MakeTree(docs, DocsTree());
  BackUp(docs);
  ASSERT_TRUE(catalogue_.AddFolder("P", docs, "*; ", true, 6));
  const auto sourceListing = TreeListing(docs);
  const std::string elsewhere = Path("elsewhere/new place");

  Run({.selectedFolderOnly = true,
       .selectedFolder = docs,
       .destination = elsewhere,
       .prompt = false,
       .option = RestoreOption::RewriteAll});

  EXPECT_EQ(TreeListing(elsewhere), sourceListing);
  ExpectTree(elsewhere, docsFiles);
  EXPECT_EQ(TreeListing(docs), sourceListing);  // the source itself is not touched
  EXPECT_EQ(observer_.progressMax, 1);
  EXPECT_EQ(observer_.progressSteps, 1);
  EXPECT_EQ(observer_.folders, std::vector<std::string>{docs});
  EXPECT_EQ(LogTexts(),
            Concat({{"Starting restore process...", "Restoring folder \"" + elsewhere + "\"..."},
                    DocsUnpackedLog(),
                    {"Folder \"" + elsewhere + "\" restored.", "Restoring complette!", ""}}));
}

TEST_F(RestoreTest, AppendMissedRestoresOnlyMissingFilesAndNeverAsks) {
  const std::string docs = Path("src/Docs");
  const auto files = MakeTree(docs, DocsTree());
  BackUp(docs);
  ASSERT_TRUE(catalogue_.AddFolder("P", docs, "*; ", true, 6));
  // A newer and an older edit stay; two deleted files come back.
  WriteText(docs + "/report.doc", "edited later");
  SetTimes(docs + "/report.doc", files[0].lastAccess, UtcTime(2023, 1, 1, 0, 0, 0));
  WriteText(docs + "/empty.txt", "edited earlier");
  SetTimes(docs + "/empty.txt", files[3].lastAccess, UtcTime(2000, 1, 1, 0, 0, 0));
  fs::remove(docs + "/Old/a.tar.gz");
  fs::remove(docs + "/Old/Deep/notes.txt");

  Run({.prompt = true, .option = RestoreOption::AppendMissed});

  EXPECT_TRUE(observer_.questions.empty());
  EXPECT_EQ(ReadBytes(docs + "/report.doc"), "edited later");
  EXPECT_EQ(ReadBytes(docs + "/empty.txt"), "edited earlier");
  ExpectTree(docs, {files[1], files[2]});
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{
                "Starting restore process...", "Restoring folder \"" + docs + "\"...",
                "File \"notes.txt.ZIP\" was unpacked.", "File \"a.tar.gz.ZIP\" was unpacked.",
                "Folder \"" + docs + "\" restored.", "Restoring complette!", ""}));
}

// Four files backed up at 10:05:xx; afterwards one is edited within the same minute, one
// is set an earlier minute, one a later minute, and one is deleted.
class RefreshTest : public RestoreTest {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    folder_ = Path("src/R");
    files_ = MakeTree(folder_, {
                                   {"a-same", "archived a", UtcTime(2021, 3, 4, 10, 5, 0)},
                                   {"b-older", "archived b", UtcTime(2021, 3, 4, 10, 5, 59)},
                                   {"c-newer", "archived c", UtcTime(2021, 3, 4, 10, 5, 59)},
                                   {"d-missing", "archived d", UtcTime(2021, 3, 4, 10, 5, 30)},
                               });
    BackUp(folder_);
    ASSERT_TRUE(catalogue_.AddFolder("P", folder_, "*; ", true, 6));
    Edit("a-same", UtcTime(2021, 3, 4, 10, 5, 59, 9999999));
    Edit("b-older", UtcTime(2021, 3, 4, 10, 4, 59));
    Edit("c-newer", UtcTime(2021, 3, 4, 10, 6, 1));
    fs::remove(folder_ + "/d-missing");
  }
  void Edit(const std::string& name, platform::FileTime lastWrite) {
    WriteText(folder_ + "/" + name, "edited " + name);
    SetTimes(folder_ + "/" + name, lastWrite, lastWrite);
  }
  std::string folder_;
  std::vector<TreeFile> files_;
};

TEST_F(RefreshTest, SkipsOnlyTheSameMinuteOlderAndNewerComeBack) {
  Run({.prompt = false, .option = RestoreOption::Refresh});

  EXPECT_TRUE(observer_.questions.empty());
  EXPECT_EQ(ReadBytes(folder_ + "/a-same"), "edited a-same");
  ExpectTree(folder_, {files_[1], files_[2], files_[3]});
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{
                "Starting restore process...", "Restoring folder \"" + folder_ + "\"...",
                "File \"b-older.ZIP\" was unpacked.", "File \"c-newer.ZIP\" was unpacked.",
                "File \"d-missing.ZIP\" was unpacked.", "Folder \"" + folder_ + "\" restored.",
                "Restoring complette!", ""}));
}

TEST_F(RefreshTest, WithThePromptAsksOnlyForFilesItWouldRestore) {
  observer_.answers = {ReplaceAnswer::Yes, ReplaceAnswer::No, ReplaceAnswer::Yes};

  Run({.prompt = true, .option = RestoreOption::Refresh});

  EXPECT_EQ(observer_.questions, (std::vector<std::string>{
                                     "Are you want to replace file \"" + folder_ + "/b-older\"?",
                                     "Are you want to replace file \"" + folder_ + "/c-newer\"?",
                                     "Are you want to replace file \"" + folder_ + "/d-missing\"?",
                                 }));
  EXPECT_EQ(ReadBytes(folder_ + "/a-same"), "edited a-same");
  EXPECT_EQ(ReadBytes(folder_ + "/c-newer"), "edited c-newer");
  ExpectTree(folder_, {files_[1], files_[3]});
}

TEST_F(RefreshTest, RewriteAllWithThePromptAsksForEveryArchive) {
  observer_.answers = {ReplaceAnswer::No, ReplaceAnswer::Yes, ReplaceAnswer::No,
                       ReplaceAnswer::Yes};

  Run({.prompt = true, .option = RestoreOption::RewriteAll});

  EXPECT_EQ(observer_.questions, (std::vector<std::string>{
                                     "Are you want to replace file \"" + folder_ + "/a-same\"?",
                                     "Are you want to replace file \"" + folder_ + "/b-older\"?",
                                     "Are you want to replace file \"" + folder_ + "/c-newer\"?",
                                     "Are you want to replace file \"" + folder_ + "/d-missing\"?",
                                 }));
  EXPECT_EQ(ReadBytes(folder_ + "/a-same"), "edited a-same");
  EXPECT_EQ(ReadBytes(folder_ + "/c-newer"), "edited c-newer");
  ExpectTree(folder_, {files_[1], files_[3]});
}

TEST_F(RefreshTest, RewriteAllWithoutThePromptRestoresEverything) {
  Run({.prompt = false, .option = RestoreOption::RewriteAll});

  EXPECT_TRUE(observer_.questions.empty());
  ExpectTree(folder_, files_);
}

// Two folders, each with edited files, for answers that reach across folders.
class TwoFolderTest : public RestoreTest {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    first_ = Path("src/First");
    second_ = Path("src/Second");
    firstFiles_ = MakeTree(first_, {
                                       {"a", "archived a", UtcTime(2021, 1, 1, 1, 1, 0)},
                                       {"b", "archived b", UtcTime(2021, 1, 1, 1, 2, 0)},
                                       {"c", "archived c", UtcTime(2021, 1, 1, 1, 3, 0)},
                                   });
    secondFiles_ = MakeTree(second_, {{"d", "archived d", UtcTime(2021, 1, 1, 1, 4, 0)}});
    BackUp(first_);
    BackUp(second_);
    ASSERT_TRUE(catalogue_.AddFolder("P", first_, "*; ", true, 6));
    ASSERT_TRUE(catalogue_.AddFolder("P", second_, "*; ", true, 6));
    // a and d in another minute, b within its archive's minute, c as archived.
    Edit(first_ + "/a", UtcTime(2021, 1, 1, 2, 0, 0));
    Edit(first_ + "/b", UtcTime(2021, 1, 1, 1, 2, 30));
    Edit(second_ + "/d", UtcTime(2021, 1, 1, 2, 0, 0));
  }
  void Edit(const std::string& path, platform::FileTime lastWrite) {
    WriteText(path, "edited");
    SetTimes(path, lastWrite, lastWrite);
  }
  std::string first_, second_;
  std::vector<TreeFile> firstFiles_, secondFiles_;
};

TEST_F(TwoFolderTest, AllUnpacksEveryLaterArchiveWithoutItsTestAcrossFolders) {
  observer_.answers = {ReplaceAnswer::All};

  Run({.prompt = true, .option = RestoreOption::Refresh});

  // b lies in its archive's minute, which Refresh alone would skip.
  EXPECT_EQ(observer_.questions,
            std::vector<std::string>{"Are you want to replace file \"" + first_ + "/a\"?"});
  EXPECT_TRUE(run_->YesToAll());
  ExpectTree(first_, firstFiles_);
  ExpectTree(second_, secondFiles_);
}

TEST_F(TwoFolderTest, AbortSkipsTheRestOfTheFolderAndStartsNoOther) {
  observer_.answers = {ReplaceAnswer::Yes, ReplaceAnswer::Abort};

  Run({.prompt = true, .option = RestoreOption::RewriteAll});

  EXPECT_EQ(observer_.questions.size(), 2u);
  EXPECT_TRUE(run_->Aborted());
  ExpectTree(first_, {firstFiles_[0]});
  EXPECT_EQ(ReadBytes(first_ + "/b"), "edited");
  EXPECT_EQ(ReadBytes(second_ + "/d"), "edited");
  EXPECT_EQ(observer_.folders, std::vector<std::string>{first_});
  EXPECT_EQ(observer_.progressSteps, 1);
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{
                            "Starting restore process...", "Restoring folder \"" + first_ + "\"...",
                            "File \"a.ZIP\" was unpacked.", "Folder \"" + first_ + "\" restored.",
                            "Restoring complette!", ""}));
}

TEST_F(TwoFolderTest, TheNextRunClearsAbortAndAll) {
  observer_.answers = {ReplaceAnswer::Abort};
  Run({.prompt = true, .option = RestoreOption::RewriteAll});
  ASSERT_TRUE(run_->Aborted());

  observer_.answers = {ReplaceAnswer::No, ReplaceAnswer::No, ReplaceAnswer::No, ReplaceAnswer::Yes};
  Run({.prompt = true, .option = RestoreOption::RewriteAll});

  EXPECT_FALSE(run_->Aborted());
  EXPECT_FALSE(run_->YesToAll());
  EXPECT_EQ(observer_.questions.size(), 5u);
  ExpectTree(second_, secondFiles_);
}

TEST_F(RestoreTest, MissingBackupFolderIsReportedAndTheDestinationStillCreated) {
  const std::string never = Path("never/backed/up");
  const std::string docs = Path("src/Docs");
  const auto docsFiles = MakeTree(docs, DocsTree());
  BackUp(docs);
  ASSERT_TRUE(catalogue_.AddFolder("P", never, "*; ", true, 6));
  ASSERT_TRUE(catalogue_.AddFolder("P", docs, "*; ", true, 6));
  fs::remove_all(docs);

  Run({.prompt = false, .option = RestoreOption::AppendMissed});

  EXPECT_TRUE(fs::is_directory(never));
  EXPECT_EQ(observer_.errors,
            std::vector<std::string>{"Can't find backup for selected folder, restoring failed!"});
  EXPECT_EQ(observer_.progressSteps, 2);
  ExpectTree(docs, docsFiles);  // the next folder is restored as usual
  const auto log = LogTexts();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[1], "Restoring folder \"" + never + "\"...");
  EXPECT_EQ(log[2], "Unable to restore folder \"" + never + "\"!");
}

TEST_F(RestoreTest, StoreFolderThatIsTheRootIsRefusedAndNothingIsUnpacked) {
  // Regression: with the store folder "/.." every source file's "archive" is the user's own
  // "<name>.ZIP" beside it, and "Rewrite all files" unpacked those over their namesakes.
  const std::string docs = Path("src/Docs");
  fs::create_directories(docs);
  std::ofstream(docs + "/report.txt") << "the user's own report";
  {
    std::ofstream zip(docs + "/report.txt.ZIP");
    zip << "PK not really an archive";
  }
  ASSERT_TRUE(catalogue_.AddProject("Rooted", "/..", false));
  ASSERT_TRUE(catalogue_.AddFolder("Rooted", docs, "*; ", true, 6));
  catalogue_.ClearLog();

  restore::RestoreRequest request{
      .projectName = "Rooted", .prompt = false, .option = RestoreOption::RewriteAll};
  EXPECT_FALSE(run_->Run(request));

  const std::string refusal = "Folder to store \"/..\" of project \"Rooted\" is the root folder!";
  EXPECT_EQ(observer_.errors, std::vector<std::string>{refusal});
  EXPECT_TRUE(observer_.folders.empty());
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"Starting restore process...", refusal, ""}));
  EXPECT_EQ(ReadBytes(docs + "/report.txt"), "the user's own report");

  request.projectName = "Nobody";
  EXPECT_FALSE(run_->Run(request));
  EXPECT_EQ(observer_.errors.back(), "Can't find project \"Nobody\"!");
}

TEST_F(RestoreTest, EmptyDestinationRestoresNothing) {
  const std::string docs = Path("src/Docs");
  MakeTree(docs, DocsTree());
  BackUp(docs);
  ASSERT_TRUE(catalogue_.AddFolder("P", docs, "*; ", true, 6));
  fs::remove_all(docs);

  Run({.selectedFolderOnly = true, .selectedFolder = docs, .destination = ""});

  EXPECT_EQ(observer_.errors, std::vector<std::string>{"You must specify destination folder!"});
  EXPECT_EQ(observer_.progressSteps, 0);
  EXPECT_FALSE(fs::exists(docs));
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{"Starting restore process...", "Restoring complette!", ""}));
}

TEST_F(RestoreTest, ArchiveExtensionIgnoresCaseOtherFilesAndDotDirectoriesAreLeft) {
  const std::string folder = Path("src/N");
  ASSERT_TRUE(catalogue_.AddFolder("P", folder, "*; ", true, 6));
  const std::string backup = store_ + folder;
  const std::string source = Path("made/notes");
  WriteText(source, "notes inside");
  fs::create_directories(backup + "/.cache");
  ASSERT_EQ(testsupport::Shell("zip -q -X -j '" + backup + "/notes.zip' '" + source + "'"), 0);
  fs::copy_file(backup + "/notes.zip", backup + "/.cache/hidden.ZIP");
  WriteText(backup + "/notes.txt", "not an archive");

  Run({.prompt = false, .option = RestoreOption::AppendMissed});

  EXPECT_EQ(TreeListing(folder), std::vector<std::string>{"f notes"});
  EXPECT_EQ(ReadBytes(folder + "/notes"), "notes inside");
}

TEST_F(RestoreTest, LinkedDirectoriesInTheStoreAreNotFollowed) {
  // A link back up the tree would otherwise make the walk endless.
  const std::string folder = Path("src/L");
  const auto files = MakeTree(folder, {{"a.txt", "a", UtcTime(2020, 1, 1, 0, 0, 0)}});
  BackUp(folder);
  ASSERT_TRUE(catalogue_.AddFolder("P", folder, "*; ", true, 6));
  fs::create_directory_symlink(store_ + folder, store_ + folder + "/loop");
  fs::remove_all(folder);

  Run({.prompt = false, .option = RestoreOption::AppendMissed});

  EXPECT_EQ(TreeListing(folder), std::vector<std::string>{"f a.txt"});
  ExpectTree(folder, files);
}

TEST_F(RestoreTest, DamagedArchiveLeavesTheExistingFileIntact) {
  const std::string folder = Path("src/D");
  const auto files =
      MakeTree(folder, {
                           {"damaged.txt", RandomBytes(3000, 17), UtcTime(2021, 5, 6, 7, 8, 9)},
                           {"good.txt", "good", UtcTime(2021, 5, 6, 7, 8, 10)},
                       });
  BackUp(folder);
  ASSERT_TRUE(catalogue_.AddFolder("P", folder, "*; ", true, 6));
  // Flip a byte in the middle of the entry's data (local header: compressed size at 18,
  // name and extra field lengths at 26 and 28, data after the 30 fixed bytes).
  const std::string archive = store_ + folder + "/damaged.txt.ZIP";
  std::string bytes = ReadBytes(archive);
  const std::size_t compressedSize = testsupport::Le32(bytes, 18);
  ASSERT_GT(compressedSize, 100u);
  bytes[30 + testsupport::Le16(bytes, 26) + testsupport::Le16(bytes, 28) + compressedSize / 2] ^= 0x55;
  WriteText(archive, bytes);
  WriteText(folder + "/damaged.txt", "the user's own file");
  const platform::FileTime kept = UtcTime(2024, 1, 2, 3, 4, 5);
  SetTimes(folder + "/damaged.txt", kept, kept);
  fs::remove(folder + "/good.txt");

  Run({.prompt = false, .option = RestoreOption::RewriteAll});

  EXPECT_EQ(ReadBytes(folder + "/damaged.txt"), "the user's own file");
  EXPECT_EQ(TimesOf(folder + "/damaged.txt").lastWrite, kept);
  ExpectTree(folder, {files[1]});
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{
                "Starting restore process...", "Restoring folder \"" + folder + "\"...",
                "Error unpacking file \"damaged.txt.ZIP\"!", "File \"good.txt.ZIP\" was unpacked.",
                "Folder \"" + folder + "\" restored.", "Restoring complette!", ""}));
}

// Regression: the reader's error on one archive used to end the whole run, so a store of
// a, b, c, d with b cut in half restored a only.
TEST_F(RestoreTest, DamagedArchivesFailAloneAndTheRunGoesOn) {
  const std::string folder = Path("src/Z");
  const auto files =
      MakeTree(folder, {
                           {"a.txt", "first", UtcTime(2021, 1, 1, 1, 1, 1)},
                           {"b.bin", RandomBytes(40000, 3), UtcTime(2021, 1, 1, 1, 1, 2)},
                           {"c.txt", "third", UtcTime(2021, 1, 1, 1, 1, 3)},
                           {"d.txt", "fourth", UtcTime(2021, 1, 1, 1, 1, 4)},
                       });
  BackUp(folder);
  ASSERT_TRUE(catalogue_.AddFolder("P", folder, "*; ", true, 6));
  const std::string cut = store_ + folder + "/b.bin.ZIP";
  const std::string bytes = ReadBytes(cut);
  WriteText(cut, bytes.substr(0, bytes.size() / 2));
  // And one that is no ZIP archive at all, which the reader refuses outright.
  WriteText(store_ + folder + "/bb.txt.ZIP", "this is not a zip file at all");
  fs::remove_all(folder);

  Run({.prompt = false, .option = RestoreOption::AppendMissed});

  ExpectTree(folder, {files[0], files[2], files[3]});
  EXPECT_EQ(TreeListing(folder), (std::vector<std::string>{"f a.txt", "f c.txt", "f d.txt"}));
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{
                "Starting restore process...", "Restoring folder \"" + folder + "\"...",
                "File \"a.txt.ZIP\" was unpacked.", "Error unpacking file \"b.bin.ZIP\"!",
                "Error unpacking file \"bb.txt.ZIP\"!", "File \"c.txt.ZIP\" was unpacked.",
                "File \"d.txt.ZIP\" was unpacked.", "Folder \"" + folder + "\" restored.",
                "Restoring complette!", ""}));
  EXPECT_EQ(run_->Totals().unpacked, 3);
  EXPECT_EQ(run_->Totals().failed, 2);
  EXPECT_FALSE(run_->Totals().AllRestored());
  ASSERT_EQ(observer_.failures.size(), 2u);
  EXPECT_EQ(observer_.failures[0].rfind(cut + ": ", 0), 0u) << observer_.failures[0];
  EXPECT_EQ(observer_.failures[1], store_ + folder + "/bb.txt.ZIP: Incomplete Zip File");
  EXPECT_TRUE(observer_.errors.empty());
}

TEST_F(RestoreTest, TotalsCountMissingBackupsAndAnAllRestoredRun) {
  const std::string docs = Path("src/Docs");
  MakeTree(docs, PhotosTree());
  BackUp(docs);
  ASSERT_TRUE(catalogue_.AddFolder("P", docs, "*; ", true, 6));
  fs::remove_all(docs);

  Run({.prompt = false, .option = RestoreOption::AppendMissed});
  EXPECT_EQ(run_->Totals().unpacked, 2);
  EXPECT_TRUE(run_->Totals().AllRestored());

  ASSERT_TRUE(catalogue_.AddFolder("P", Path("src/Never"), "*; ", true, 6));
  Run({.prompt = false, .option = RestoreOption::AppendMissed});
  EXPECT_EQ(run_->Totals().unpacked, 0);  // the totals are the last run's
  EXPECT_EQ(run_->Totals().foldersMissing, 1);
  EXPECT_FALSE(run_->Totals().AllRestored());
}

TEST_F(RestoreTest, RelativeFolderPathResolvesAgainstTheCurrentDirectory) {
  // The catalogue may hold a path as typed; the run resolves it without changing directory.
  const std::string docs = Path("src/Docs");
  const auto docsFiles = MakeTree(docs, DocsTree());
  BackUp(docs);
  const std::string relative = fs::relative(docs, fs::current_path()).string();
  ASSERT_NE(relative[0], '/');
  ASSERT_TRUE(catalogue_.AddFolder("P", relative, "*; ", true, 6));
  fs::remove_all(docs);
  const std::string before = fs::current_path().string();

  Run({.prompt = false, .option = RestoreOption::AppendMissed});

  EXPECT_EQ(fs::current_path().string(), before);
  ExpectTree(docs, docsFiles);
}

}  // namespace
}  // namespace restore_test
