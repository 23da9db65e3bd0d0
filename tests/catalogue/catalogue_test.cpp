// Protects the project and folder operations of the catalogue: id assignment (never reused
// until the files are emptied), name matching without regard to case (accented letters
// too), the cut of long names before uniqueness tests, enumeration that survives in-place
// updates, and the refusal to go past a damaged (incomplete) last record. Expectations are
// checked against the raw bytes of the files where it matters, not only through the API.
#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/catalogue/catalogue_test_util.h"

namespace catalogue {
namespace {

using catalogue_test::FileSize;
using catalogue_test::ReadAll;
using catalogue_test::TempDir;
using catalogue_test::WriteAll;

class CatalogueTest : public catalogue_test::OpenCatalogueTest {
 protected:
  // Id of the project record at index i, read straight from the file (offset 0, int32 LE).
  std::int32_t RawProjectId(std::size_t i) const {
    return static_cast<std::int32_t>(testsupport::Le32(ReadAll(ProjectPath()), i * 321));
  }

  std::vector<std::string> FolderPaths(const std::string& project) {
    std::vector<std::string> paths;
    TFolderRecord folder;
    for (bool ok = catalogue_->FirstFolder(project, folder); ok;
         ok = catalogue_->NextFolder(project, folder)) {
      paths.push_back(folder.Path);
    }
    return paths;
  }
};

TEST_F(CatalogueTest, OpenCreatesThreeEmptyFiles) {
  EXPECT_TRUE(catalogue_->IsOpen());
  EXPECT_EQ(FileSize(ProjectPath()), 0u);
  EXPECT_EQ(FileSize(FolderPath()), 0u);
  EXPECT_EQ(FileSize(LogPath()), 0u);
}

TEST_F(CatalogueTest, ReopenKeepsExistingRecords) {
  ASSERT_TRUE(catalogue_->AddProject("Docs", "/store", false));
  catalogue_->CloseCatalogue();
  EXPECT_FALSE(catalogue_->IsOpen());
  ASSERT_TRUE(Open());
  EXPECT_EQ(catalogue_->ProjectId("Docs"), 1);
  EXPECT_EQ(FileSize(ProjectPath()), 321u);
}

TEST_F(CatalogueTest, AddProjectWritesItsRecordAtOnce) {
  clock_ = 46365.75;
  ASSERT_TRUE(catalogue_->AddProject("Docs", "/store", true));
  const auto bytes = ReadAll(ProjectPath());
  ASSERT_EQ(bytes.size(), 321u);
  EXPECT_EQ(bytes[4], 1);  // live
  EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 10), "Docs");
  EXPECT_EQ(bytes[56], 6);  // "/store"
  const std::vector<std::uint8_t> created(bytes.begin() + 312, bytes.begin() + 320);
  EXPECT_EQ(created, (std::vector<std::uint8_t>{0, 0, 0, 0, 0xb8, 0xa3, 0xe6, 0x40}));
  EXPECT_EQ(bytes[320], 1);
}

TEST_F(CatalogueTest, FirstProjectGetsIdOneAndIdsRise) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddProject("B", "/b", false));
  EXPECT_EQ(RawProjectId(0), 1);
  EXPECT_EQ(RawProjectId(1), 2);
  EXPECT_EQ(catalogue_->ProjectId("B"), 2);
}

// Ids are taken from the last record, live or deleted, so a deleted project's id is never
// given to a new one (its stray folder records would otherwise come back).
TEST_F(CatalogueTest, IdAfterDeletingTheHighestIsNotReused) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddProject("B", "/b", false));
  catalogue_->DeleteProject("B");
  ASSERT_TRUE(catalogue_->AddProject("C", "/c", false));
  EXPECT_EQ(RawProjectId(2), 3);
  EXPECT_EQ(catalogue_->ProjectId("C"), 3);
  EXPECT_EQ(catalogue_->ProjectId("B"), 0);
}

TEST_F(CatalogueTest, DeleteKeepsTheRecordWithLiveZero) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/src", "", true, 6));
  catalogue_->DeleteFolder("A", "/src");
  catalogue_->DeleteProject("A");
  EXPECT_EQ(FileSize(ProjectPath()), 321u);
  EXPECT_EQ(FileSize(FolderPath()), 372u);
  EXPECT_EQ(ReadAll(ProjectPath())[4], 0);
  EXPECT_EQ(ReadAll(FolderPath())[0], 0);
}

TEST_F(CatalogueTest, ClearCatalogueRestartsIdsAndKeepsTheLog) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddProject("B", "/b", false));
  ASSERT_TRUE(catalogue_->AddFolder("B", "/src", "", true, 6));
  catalogue_->AddLogEntry("kept");
  catalogue_->ClearCatalogue();
  EXPECT_EQ(FileSize(ProjectPath()), 0u);
  EXPECT_EQ(FileSize(FolderPath()), 0u);
  EXPECT_EQ(FileSize(LogPath()), 109u);
  TProjectRecord project;
  EXPECT_FALSE(catalogue_->FirstProject(project));
  ASSERT_TRUE(catalogue_->AddProject("C", "/c", false));
  EXPECT_EQ(RawProjectId(0), 1);
  EXPECT_EQ(catalogue_->CountFolders("C"), 0);
}

TEST_F(CatalogueTest, NamesMatchWithoutRegardToCase) {
  ASSERT_TRUE(catalogue_->AddProject("Docs", "/a", false));
  EXPECT_FALSE(catalogue_->AddProject("DOCS", "/b", false));
  EXPECT_FALSE(catalogue_->AddProject("docs", "/b", false));
  TProjectRecord project;
  ASSERT_TRUE(catalogue_->GetProject("dOcS", project));
  EXPECT_EQ(project.StoreFolder, "/a");
  EXPECT_EQ(FileSize(ProjectPath()), 321u);
}

TEST_F(CatalogueTest, AccentedNamesFoldToo) {
  ASSERT_TRUE(catalogue_->AddProject("Éléments", "/a", false));
  EXPECT_FALSE(catalogue_->AddProject("éléments", "/b", false));
  EXPECT_FALSE(catalogue_->AddProject("ÉLÉMENTS", "/b", false));
  EXPECT_EQ(catalogue_->ProjectId("éLÉmEnts"), 1);
  // Different letters stay different.
  EXPECT_TRUE(catalogue_->AddProject("Elements", "/c", false));
}

TEST_F(CatalogueTest, PathsAreNotNormalised) {
  ASSERT_TRUE(catalogue_->AddProject("P", "/s", false));
  EXPECT_TRUE(catalogue_->AddFolder("P", "/data", "", true, 6));
  EXPECT_TRUE(catalogue_->AddFolder("P", "/data/", "", true, 6));
  EXPECT_TRUE(catalogue_->AddFolder("P", "/data ", "", true, 6));
  EXPECT_FALSE(catalogue_->AddFolder("P", "/DATA", "", true, 6));
  EXPECT_EQ(catalogue_->CountFolders("P"), 3);
}

TEST_F(CatalogueTest, SixtyCharacterNameIsStoredAsItsFirstFifty) {
  const std::string longName = std::string(50, 'N') + "0123456789";
  ASSERT_TRUE(catalogue_->AddProject(longName, "/s", false));
  const auto bytes = ReadAll(ProjectPath());
  EXPECT_EQ(bytes[5], 50);
  EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 56), std::string(50, 'N'));

  TProjectRecord project;
  ASSERT_TRUE(catalogue_->FirstProject(project));
  EXPECT_EQ(project.Name, std::string(50, 'N'));
  // The name the user typed still finds the project it was stored as ...
  EXPECT_EQ(catalogue_->ProjectId(longName), 1);
  EXPECT_TRUE(catalogue_->AddFolder(longName, "/src", "", true, 6));
  EXPECT_EQ(catalogue_->CountFolders(longName), 1);
  // ... and another long name with the same first 50 characters is the same project.
  EXPECT_FALSE(catalogue_->AddProject(std::string(50, 'N') + "something else", "/t", false));
  EXPECT_EQ(FileSize(ProjectPath()), 321u);
}

TEST_F(CatalogueTest, SixtyAccentedCharactersAreCutOnACharacterBoundary) {
  std::string longName;
  for (int i = 0; i < 60; ++i) longName += "é";  // 120 bytes
  ASSERT_TRUE(catalogue_->AddProject(longName, "/s", false));
  const auto bytes = ReadAll(ProjectPath());
  EXPECT_EQ(bytes[5], 50);  // 25 characters of 2 bytes
  TProjectRecord project;
  ASSERT_TRUE(catalogue_->FirstProject(project));
  std::string expected;
  for (int i = 0; i < 25; ++i) expected += "é";
  EXPECT_EQ(project.Name, expected);
}

TEST_F(CatalogueTest, DeletedNameCanBeAddedAgainWithoutItsFolders) {
  ASSERT_TRUE(catalogue_->AddProject("Docs", "/s", false));
  ASSERT_TRUE(catalogue_->AddFolder("Docs", "/src", "", true, 6));
  catalogue_->DeleteProject("Docs");
  ASSERT_TRUE(catalogue_->AddProject("Docs", "/s2", false));
  EXPECT_EQ(catalogue_->ProjectId("Docs"), 2);
  EXPECT_EQ(catalogue_->CountFolders("Docs"), 0);
  TFolderRecord folder;
  EXPECT_FALSE(catalogue_->FirstFolder("Docs", folder));
}

TEST_F(CatalogueTest, UpdateProjectRefusesAnotherProjectsName) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddProject("B", "/b", false));
  const auto before = ReadAll(ProjectPath());
  EXPECT_FALSE(catalogue_->UpdateProject("A", "b", "/x", true));
  EXPECT_EQ(ReadAll(ProjectPath()), before);
}

TEST_F(CatalogueTest, UpdateProjectRenamesInPlaceKeepingIdAndFolders) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/src", "", true, 6));
  clock_ = 46000.0;
  EXPECT_TRUE(catalogue_->UpdateProject("A", "a", "/a2", true));  // same name, other case
  EXPECT_TRUE(catalogue_->UpdateProject("a", "Renamed", "/a3", true));
  EXPECT_EQ(FileSize(ProjectPath()), 321u);
  TProjectRecord project;
  ASSERT_TRUE(catalogue_->GetProject("renamed", project));
  EXPECT_EQ(project.Name, "Renamed");
  EXPECT_EQ(project.Id, 1);
  EXPECT_EQ(project.StoreFolder, "/a3");
  EXPECT_TRUE(project.RaiseErrors);
  EXPECT_EQ(project.Created, 46000.0);
  EXPECT_EQ(FolderPaths("Renamed"), std::vector<std::string>{"/src"});
  EXPECT_EQ(catalogue_->ProjectId("A"), 0);
}

TEST_F(CatalogueTest, UpdateProjectOfUnknownNameFails) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  EXPECT_FALSE(catalogue_->UpdateProject("Z", "Y", "/y", false));
  EXPECT_EQ(catalogue_->ProjectId("Y"), 0);
}

TEST_F(CatalogueTest, FolderOperationsOfUnknownProjectTouchNothing) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/src", "*.txt; ", true, 6));
  const auto before = ReadAll(FolderPath());
  TFolderRecord folder;
  EXPECT_FALSE(catalogue_->AddFolder("Nope", "/x", "", true, 6));
  EXPECT_FALSE(catalogue_->UpdateFolder("Nope", "/src", "/y", "", true, 6));
  EXPECT_FALSE(catalogue_->GetFolder("Nope", "/src", folder));
  EXPECT_FALSE(catalogue_->FirstFolder("Nope", folder));
  EXPECT_FALSE(catalogue_->MarkFolderStored("Nope", "/src"));
  EXPECT_EQ(catalogue_->CountFolders("Nope"), 0);
  catalogue_->DeleteFolder("Nope", "/src");
  catalogue_->DeleteAllFolders("Nope");
  EXPECT_EQ(ReadAll(FolderPath()), before);
}

TEST_F(CatalogueTest, EmptyPathsAreRefused) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  EXPECT_FALSE(catalogue_->AddFolder("A", "", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/src", "", true, 6));
  EXPECT_FALSE(catalogue_->UpdateFolder("A", "/src", "", "", true, 6));
  EXPECT_EQ(FileSize(FolderPath()), 372u);
}

TEST_F(CatalogueTest, GetFolderReturnsTheStoredFields) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/src", "*.doc; *.txt; ", false, 9));
  TFolderRecord folder;
  ASSERT_TRUE(catalogue_->GetFolder("a", "/SRC", folder));
  EXPECT_EQ(folder.Path, "/src");
  EXPECT_EQ(folder.Masks, "*.doc; *.txt; ");
  EXPECT_FALSE(folder.Include);
  EXPECT_EQ(folder.Level, 9);
  EXPECT_EQ(folder.LastStored, 0.0);
}

TEST_F(CatalogueTest, UpdateFolderKeepsLastStoredUnlessThePathChanges) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/src", "", true, 6));
  clock_ = 46000.25;
  ASSERT_TRUE(catalogue_->MarkFolderStored("A", "/src"));
  TFolderRecord folder;

  ASSERT_TRUE(catalogue_->UpdateFolder("A", "/src", "/src", "*.c; ", false, 3));
  ASSERT_TRUE(catalogue_->GetFolder("A", "/src", folder));
  EXPECT_EQ(folder.LastStored, 46000.25);
  EXPECT_EQ(folder.Masks, "*.c; ");
  EXPECT_FALSE(folder.Include);
  EXPECT_EQ(folder.Level, 3);

  ASSERT_TRUE(catalogue_->UpdateFolder("A", "/src", "/SRC", "*.c; ", false, 3));
  ASSERT_TRUE(catalogue_->GetFolder("A", "/src", folder));
  EXPECT_EQ(folder.Path, "/SRC");
  EXPECT_EQ(folder.LastStored, 46000.25);

  ASSERT_TRUE(catalogue_->UpdateFolder("A", "/src", "/other", "*.c; ", false, 3));
  ASSERT_TRUE(catalogue_->GetFolder("A", "/other", folder));
  EXPECT_EQ(folder.LastStored, 0.0);
  EXPECT_EQ(FileSize(FolderPath()), 372u);
}

TEST_F(CatalogueTest, UpdateFolderRefusesAPathTheProjectAlreadyHas) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddProject("B", "/b", false));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/one", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/two", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("B", "/three", "", true, 6));
  const auto before = ReadAll(FolderPath());
  EXPECT_FALSE(catalogue_->UpdateFolder("A", "/one", "/TWO", "", true, 6));
  EXPECT_EQ(ReadAll(FolderPath()), before);
  // Another project's path is no conflict.
  EXPECT_TRUE(catalogue_->UpdateFolder("A", "/one", "/three", "", true, 6));
  EXPECT_FALSE(catalogue_->UpdateFolder("A", "/missing", "/four", "", true, 6));
}

TEST_F(CatalogueTest, FoldersComeInTheOrderTheyWereAdded) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddProject("B", "/b", false));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/1", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("B", "/x", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/2", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/3", "", true, 6));
  catalogue_->DeleteFolder("A", "/2");
  ASSERT_TRUE(catalogue_->UpdateFolder("A", "/1", "/1b", "", true, 6));
  EXPECT_EQ(FolderPaths("A"), (std::vector<std::string>{"/1b", "/3"}));
  EXPECT_EQ(catalogue_->CountFolders("A"), 2);
  EXPECT_EQ(catalogue_->CountFolders("B"), 1);
}

// The backup run marks each folder stored while it enumerates them.
TEST_F(CatalogueTest, EnumerationInterruptedByMarkFolderStoredVisitsEveryFolderOnce) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddProject("B", "/b", false));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/1", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("B", "/x", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/2", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/3", "", true, 6));
  clock_ = 46001.5;
  std::vector<std::string> visited;
  TFolderRecord folder;
  for (bool ok = catalogue_->FirstFolder("A", folder); ok;
       ok = catalogue_->NextFolder("A", folder)) {
    visited.push_back(folder.Path);
    EXPECT_EQ(catalogue_->CountFolders("A"), 3);  // a full scan in between
    ASSERT_TRUE(catalogue_->MarkFolderStored("A", folder.Path));
  }
  EXPECT_EQ(visited, (std::vector<std::string>{"/1", "/2", "/3"}));
  for (const std::string& path : visited) {
    ASSERT_TRUE(catalogue_->GetFolder("A", path, folder));
    EXPECT_EQ(folder.LastStored, 46001.5);
  }
  ASSERT_TRUE(catalogue_->GetFolder("B", "/x", folder));
  EXPECT_EQ(folder.LastStored, 0.0);
}

// Start all projects enumerates folders inside an enumeration of projects.
TEST_F(CatalogueTest, ProjectAndFolderEnumerationsNest) {
  for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(catalogue_->AddProject(name, "/s", false));
  catalogue_->DeleteProject("B");
  ASSERT_TRUE(catalogue_->AddFolder("A", "/a1", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("C", "/c1", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/a2", "", true, 6));
  std::vector<std::string> seen;
  TProjectRecord project;
  for (bool ok = catalogue_->FirstProject(project); ok; ok = catalogue_->NextProject(project)) {
    seen.push_back(project.Name);
    for (const std::string& path : FolderPaths(project.Name)) seen.push_back(path);
    catalogue_->AddLogEntry("run " + project.Name);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"A", "/a1", "/a2", "C", "/c1"}));
}

TEST_F(CatalogueTest, DeleteAllFoldersDeletesOnlyThatProjectsFolders) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddProject("B", "/b", false));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/1", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("B", "/x", "", true, 6));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/2", "", true, 6));
  catalogue_->DeleteAllFolders("a");
  EXPECT_EQ(catalogue_->CountFolders("A"), 0);
  EXPECT_EQ(FolderPaths("B"), std::vector<std::string>{"/x"});
  const auto bytes = ReadAll(FolderPath());
  ASSERT_EQ(bytes.size(), 3u * 372u);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[372], 1);
  EXPECT_EQ(bytes[744], 0);
}

TEST_F(CatalogueTest, BoolToText) {
  EXPECT_EQ(TCatalogue::BoolToText(true), "TRUE");
  EXPECT_EQ(TCatalogue::BoolToText(false), "FALSE");
}

// A crash in the middle of a write can leave a partial record at the end of a file. A
// scan that reaches it must fail with a read error, and nothing may be appended after it.
TEST_F(CatalogueTest, TrailingIncompleteProjectRecordFailsTheScan) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  catalogue_->CloseCatalogue();
  auto bytes = ReadAll(ProjectPath());
  bytes.resize(321 + 100, 0x11);
  WriteAll(ProjectPath(), bytes);
  ASSERT_TRUE(Open());

  EXPECT_EQ(catalogue_->ProjectId("A"), 1);  // found before the damaged record
  try {
    catalogue_->ProjectId("B");
    FAIL() << "no error";
  } catch (const ECatalogueError& e) {
    EXPECT_EQ(e.Code(), std::make_error_code(std::errc::io_error));
    EXPECT_EQ(e.FileName(), ProjectPath());
    EXPECT_NE(std::string(e.what()).find("Rpoject.vrn"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Read"), std::string::npos) << e.what();
  }
  EXPECT_THROW(catalogue_->AddProject("B", "/b", false), ECatalogueError);
  EXPECT_EQ(ReadAll(ProjectPath()), bytes);
  TProjectRecord project;
  ASSERT_TRUE(catalogue_->FirstProject(project));
  EXPECT_THROW(catalogue_->NextProject(project), ECatalogueError);
}

TEST_F(CatalogueTest, TrailingIncompleteFolderRecordFailsTheScan) {
  ASSERT_TRUE(catalogue_->AddProject("A", "/a", false));
  ASSERT_TRUE(catalogue_->AddFolder("A", "/1", "", true, 6));
  catalogue_->CloseCatalogue();
  auto bytes = ReadAll(FolderPath());
  bytes.resize(372 + 1, 0x01);
  WriteAll(FolderPath(), bytes);
  ASSERT_TRUE(Open());

  EXPECT_THROW(catalogue_->AddFolder("A", "/2", "", true, 6), ECatalogueError);
  EXPECT_THROW(catalogue_->CountFolders("A"), ECatalogueError);
  EXPECT_EQ(ReadAll(FolderPath()), bytes);
  TFolderRecord folder;
  EXPECT_TRUE(catalogue_->GetFolder("A", "/1", folder));  // found before the damage
  // An interrupted operation keeps what it wrote before the failure, and no more.
  EXPECT_THROW(catalogue_->DeleteAllFolders("A"), ECatalogueError);
  const auto after = ReadAll(FolderPath());
  ASSERT_EQ(after.size(), 373u);
  EXPECT_EQ(after[0], 0);
  EXPECT_EQ(after[372], 0x01);
}

TEST(CatalogueOpen, FailsWhenAFileCannotBeOpenedAndThenRaisesFileNotOpen) {
  TempDir dir;
  TCatalogue catalogue;
  const std::string missingDir = dir.File("no-such-folder");
  EXPECT_FALSE(catalogue.OpenCatalogue(dir.File("Rpoject.vrn"), missingDir + "/Folder.vrn",
                                       dir.File("Log.vrn")));
  EXPECT_FALSE(catalogue.IsOpen());
  // The other two were still attempted.
  EXPECT_TRUE(std::filesystem::exists(dir.File("Rpoject.vrn")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("Log.vrn")));
  ASSERT_TRUE(catalogue.AddProject("P", "/s", false));  // the project file did open
  try {
    catalogue.CountFolders("P");
    FAIL() << "no error";
  } catch (const ECatalogueError& e) {
    EXPECT_EQ(e.Code(), std::make_error_code(std::errc::bad_file_descriptor));
    EXPECT_NE(std::string(e.what()).find("Folder.vrn"), std::string::npos) << e.what();
  }
  EXPECT_NO_THROW(catalogue.CloseCatalogue());
}

// Truncation of a file that never opened must not create one under the default name.
TEST(CatalogueOpen, OperationsOnAClosedCatalogueRaiseAndCreateNothing) {
  TCatalogue catalogue;
  const bool existedBefore = std::filesystem::exists("Rpoject.vrn");
  EXPECT_THROW(catalogue.AddProject("A", "/a", false), ECatalogueError);
  EXPECT_THROW(catalogue.AddLogEntry("x"), ECatalogueError);
  EXPECT_THROW(catalogue.ClearCatalogue(), ECatalogueError);
  EXPECT_THROW(catalogue.ClearLog(), ECatalogueError);
  EXPECT_EQ(std::filesystem::exists("Rpoject.vrn"), existedBefore);
}

}  // namespace
}  // namespace catalogue
