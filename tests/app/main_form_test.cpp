// Protects the main window's start-up and shutdown: the catalogue files it creates, its
// design layout and captions, the settings it reads and writes back (all nine keys), the
// remembered project and its folder rows, the enabling of the command groups, and a clean
// end when the catalogue cannot be opened. Runs on Qt's offscreen platform with scripted
// message boxes; expected values come from the window's design table, not from the code.
#include "app/main_form.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "catalogue/catalogue.h"
#include "platform/clock.h"
#include "tests/dialogs/scripted_prompter.h"
#include "tests/support/files.h"

namespace app {
namespace {

using testing_support::ScriptedPrompter;
using testsupport::ReadText;
using testsupport::TempDir;
using testsupport::WriteText;

// Key/value pairs of section [Main], parsed by hand from the file's text.
std::map<std::string, std::string> ReadMainSection(const std::string& path) {
  std::map<std::string, std::string> values;
  std::istringstream in(ReadText(path));
  std::string line;
  bool inMain = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inMain = line == "[Main]";
      continue;
    }
    const auto eq = line.find('=');
    if (inMain && eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

std::vector<std::string> RowTexts(const QTreeWidget* list, int row) {
  std::vector<std::string> cells;
  for (int c = 0; c < 4; ++c) cells.push_back(list->topLevelItem(row)->text(c).toStdString());
  return cells;
}

class MainFormTest : public ::testing::Test {
 protected:

  // One start of the program: a fresh catalogue object, as a new process would have.
  std::unique_ptr<TMainForm> Start(const QStringList& arguments = {}) {
    catalogues_.push_back(std::make_unique<catalogue::TCatalogue>([] { return 46000.5; }));
    return std::make_unique<TMainForm>(*catalogues_.back(), prompter_,
                                       QString::fromStdString(dir_.File("Vrnh.ini")),
                                       QString::fromStdString(dir_.Path()), arguments);
  }

  // Fills the catalogue of the working folder the way earlier runs would have.
  void PrepareDocs() {
    catalogue::TCatalogue catalogue([] { return 45999.75; });  // 2025-12-08 18:00
    ASSERT_TRUE(catalogue.OpenCatalogue(dir_.File("Rpoject.vrn"), dir_.File("Folder.vrn"),
                                        dir_.File("Log.vrn")));
    ASSERT_TRUE(catalogue.AddProject("Docs", "/store", false));
    ASSERT_TRUE(catalogue.AddFolder("Docs", "/home/u/Docs", "*.doc; *.txt; ", true, 6));
    ASSERT_TRUE(catalogue.AddFolder("Docs", "/home/u/Mail", "", false, 9));
    ASSERT_TRUE(catalogue.MarkFolderStored("Docs", "/home/u/Mail"));
    catalogue.CloseCatalogue();
  }

  bool NoFatalBoxes() const {
    for (const auto& box : prompter_.boxes) {
      if (box.kind == "fatal") return false;
    }
    return true;
  }

  TempDir dir_;
  ScriptedPrompter prompter_;
  std::vector<std::unique_ptr<catalogue::TCatalogue>> catalogues_;
};

TEST_F(MainFormTest, FirstStartInAnEmptyFolder) {
  auto form = Start();
  for (const char* name : {"Rpoject.vrn", "Folder.vrn", "Log.vrn"}) {
    ASSERT_TRUE(std::filesystem::exists(dir_.File(name))) << name;
    EXPECT_EQ(std::filesystem::file_size(dir_.File(name)), 0u) << name;
  }
  EXPECT_EQ(form->width(), 533);
  EXPECT_EQ(form->height(), 224);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b"));
  ASSERT_EQ(form->ListView1->columnCount(), 4);
  const char* captions[] = {"Folder", "Mask", "Mode", "Last stored"};
  const int widths[] = {250, 100, 70, 80};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(form->ListView1->headerItem()->text(c).toStdString(), captions[c]);
    EXPECT_EQ(form->ListView1->columnWidth(c), widths[c]) << c;
  }
  EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
  EXPECT_EQ(form->Button1->text(), QStringLiteral("Start!"));
  EXPECT_EQ(form->Button10->text(), QStringLiteral("Restore..."));
  EXPECT_EQ(form->Button9->text(), QStringLiteral("View log"));
  EXPECT_TRUE(form->Panel4->text().isEmpty());
  EXPECT_TRUE(form->CurrentProject.isEmpty());
  EXPECT_FALSE(form->EndRequested());
  EXPECT_TRUE(prompter_.boxes.empty());

  form.reset();  // shutdown
  const auto values = ReadMainSection(dir_.File("Vrnh.ini"));
  EXPECT_EQ(values.size(), 9u);
  EXPECT_EQ(values.at("Width"), "533");
  EXPECT_EQ(values.at("Height"), "224");
  EXPECT_EQ(values.at("Frame0"), "250");
  EXPECT_EQ(values.at("Frame1"), "100");
  EXPECT_EQ(values.at("Frame2"), "70");
  EXPECT_EQ(values.at("Frame3"), "80");
  EXPECT_EQ(values.count("Top"), 1u);
  EXPECT_EQ(values.count("Left"), 1u);
  EXPECT_EQ(values.at("Project"), "");
}

TEST_F(MainFormTest, MenuHoldsEveryItemOfTheDesign) {
  auto form = Start();
  std::vector<std::string> items;
  for (QAction* top : form->menuBar()->actions()) {
    items.push_back("[" + top->text().toStdString() + "]");
    for (QAction* item : top->menu()->actions()) {
      items.push_back(item->isSeparator() ? "-" : item->text().toStdString());
    }
  }
  const std::vector<std::string> expected = {"[Project]",
                                             "New...",
                                             "Open...",
                                             "Edit...",
                                             "Delete",
                                             "-",
                                             "Exit",
                                             "[Folder]",
                                             "Add...",
                                             "Edit...",
                                             "Delete",
                                             "Delete all",
                                             "[Processing]",
                                             "Start!",
                                             "Start all projects",
                                             "-",
                                             "Restore...",
                                             "-",
                                             "View log file...",
                                             "Verify backup...",
                                             "[Cleaning]",
                                             "Clear log",
                                             "Clear all projects",
                                             "[Help]",
                                             "Command line...",
                                             "-",
                                             "About..."};
  EXPECT_EQ(items, expected);
}

TEST_F(MainFormTest, NoProjectMeansProjectAndFolderCommandsOff) {
  auto form = Start();
  EXPECT_FALSE(form->EditProject1->isEnabled());
  EXPECT_FALSE(form->DeleteProject1->isEnabled());
  EXPECT_FALSE(form->FolderMenu->menuAction()->isEnabled());
  EXPECT_FALSE(form->Start1->isEnabled());
  EXPECT_FALSE(form->Restore1->isEnabled());
  EXPECT_FALSE(form->Verify1->isEnabled());
  EXPECT_FALSE(form->Button1->isEnabled());
  EXPECT_FALSE(form->Button10->isEnabled());
  EXPECT_FALSE(form->EditFolder1->isEnabled());
  EXPECT_FALSE(form->DeleteFolder1->isEnabled());
  // Always available.
  for (QAction* action : {form->NewProject1, form->OpenProject1, form->Exit1,
                          form->Startallprojects1, form->Viewlogfile1, form->Clearlog1,
                          form->Clearallprojects1, form->Commandline1, form->About1}) {
    EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
  }
  EXPECT_TRUE(form->Button9->isEnabled());
}

TEST_F(MainFormTest, SecondStartShowsTheRememberedProjectWithItsFolders) {
  PrepareDocs();
  {
    auto first = Start();
    first->CurrentProject = QStringLiteral("Docs");
    first->LoadProject(first->CurrentProject);
  }
  EXPECT_EQ(ReadMainSection(dir_.File("Vrnh.ini")).at("Project"), "Docs");

  auto form = Start();
  EXPECT_EQ(form->CurrentProject, QStringLiteral("Docs"));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Docs"));
  ASSERT_EQ(form->ListView1->topLevelItemCount(), 2);
  EXPECT_EQ(RowTexts(form->ListView1, 0),
            (std::vector<std::string>{"/home/u/Docs", "*.doc; *.txt; ", "Include", "N/A"}));
  EXPECT_EQ(
      RowTexts(form->ListView1, 1),
      (std::vector<std::string>{"/home/u/Mail", "", "Exclude", platform::TimestampText(45999.75)}));
  EXPECT_NE(form->ListView1->topLevelItem(1)->text(3).indexOf(QLatin1Char(' ')), -1)
      << "a time of day other than midnight shows date and time";
  EXPECT_TRUE(form->EditProject1->isEnabled());
  EXPECT_TRUE(form->FolderMenu->menuAction()->isEnabled());
  EXPECT_TRUE(form->Start1->isEnabled());
  EXPECT_TRUE(form->Button1->isEnabled());
  EXPECT_TRUE(form->Button10->isEnabled());
  EXPECT_FALSE(form->EditFolder1->isEnabled());
  EXPECT_TRUE(NoFatalBoxes());
}

TEST_F(MainFormTest, RememberedProjectThatNoLongerExistsShowsAnEmptyList) {
  WriteText(dir_.File("Vrnh.ini"), "[Main]\nProject=Gone\n");
  auto form = Start();
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Gone"));
  EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
  EXPECT_TRUE(form->EditProject1->isEnabled());
  EXPECT_TRUE(form->Button1->isEnabled());
}

TEST_F(MainFormTest, SavedGeometryAndColumnWidthsAreApplied) {
  WriteText(dir_.File("Vrnh.ini"),
            "[Main]\nWidth=640\nHeight=0x12C\nFrame0=123\nFrame1=45\nFrame2=x\nFrame3=99\n");
  auto form = Start();
  EXPECT_EQ(form->width(), 640);
  EXPECT_EQ(form->height(), 300);
  EXPECT_EQ(form->ListView1->columnWidth(0), 123);
  EXPECT_EQ(form->ListView1->columnWidth(1), 45);
  EXPECT_EQ(form->ListView1->columnWidth(2), 70);  // unreadable: the current width stays
  EXPECT_EQ(form->ListView1->columnWidth(3), 99);
  form->ListView1->setColumnWidth(2, 77);
  form.reset();
  const auto values = ReadMainSection(dir_.File("Vrnh.ini"));
  EXPECT_EQ(values.at("Height"), "300");
  EXPECT_EQ(values.at("Frame2"), "77");
}

TEST_F(MainFormTest, ClickingARowEnablesTheFolderCommands) {
  PrepareDocs();
  WriteText(dir_.File("Vrnh.ini"), "[Main]\nProject=Docs\n");
  auto form = Start();
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  QTreeWidgetItem* row = form->ListView1->topLevelItem(1);
  const QRect rect = form->ListView1->visualItemRect(row);
  QTest::mouseClick(form->ListView1->viewport(), Qt::LeftButton, {}, rect.center());
  EXPECT_TRUE(form->HasSelectedRow());
  EXPECT_EQ(form->SelectedPath(), QStringLiteral("/home/u/Mail"));
  EXPECT_TRUE(form->EditFolder1->isEnabled());
  EXPECT_TRUE(form->DeleteFolder1->isEnabled());

  form->LoadProject(form->CurrentProject);  // reload: no row selected any more
  EXPECT_FALSE(form->HasSelectedRow());
  EXPECT_FALSE(form->EditFolder1->isEnabled());
  EXPECT_FALSE(form->DeleteFolder1->isEnabled());
}

TEST_F(MainFormTest, CloseProjectForgetsTheProject) {
  PrepareDocs();
  WriteText(dir_.File("Vrnh.ini"), "[Main]\nProject=Docs\n");
  auto form = Start();
  form->ListView1->setCurrentItem(form->ListView1->topLevelItem(0));
  ASSERT_TRUE(form->EditFolder1->isEnabled());
  form->CloseProject();
  EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
  EXPECT_TRUE(form->CurrentProject.isEmpty());
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b"));
  EXPECT_FALSE(form->EditProject1->isEnabled());
  EXPECT_FALSE(form->Button1->isEnabled());
  EXPECT_FALSE(form->EditFolder1->isEnabled());
  form.reset();
  EXPECT_EQ(ReadMainSection(dir_.File("Vrnh.ini")).at("Project"), "");
}

// With parameters on the command line the remembered project is not read, and the one the
// switches left current (none here) is written back.
TEST_F(MainFormTest, CommandLineParametersSkipTheRememberedProject) {
  PrepareDocs();
  WriteText(dir_.File("Vrnh.ini"), "[Main]\nProject=Docs\n");
  auto form = Start({QStringLiteral("/NOSUCHSWITCH")});
  EXPECT_TRUE(form->CurrentProject.isEmpty());
  EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b"));
  form.reset();
  EXPECT_EQ(ReadMainSection(dir_.File("Vrnh.ini")).at("Project"), "");
}

TEST_F(MainFormTest, CatalogueThatDoesNotOpenShowsTheMessageAndEndsCleanly) {
  // Folder.vrn is a directory, so it cannot be opened as a file.
  std::filesystem::create_directory(dir_.File("Folder.vrn"));
  WriteText(dir_.File("Vrnh.ini"), "[Main]\nProject=Docs\n");
  const std::string settingsBefore = ReadText(dir_.File("Vrnh.ini"));
  auto form = Start();
  ASSERT_EQ(prompter_.boxes.size(), 1u);
  EXPECT_EQ(prompter_.boxes[0].kind, "message");
  EXPECT_EQ(prompter_.boxes[0].text, "Can't open project database!");
  EXPECT_EQ(prompter_.boxes[0].caption, "Error!");
  EXPECT_TRUE(form->EndRequested());
  EXPECT_EQ(form->ExitStatus(), 2);
  EXPECT_FALSE(form->Button1->isEnabled());
  form.reset();
  QCoreApplication::processEvents();  // the queued end request finds no loop: harmless
  EXPECT_TRUE(NoFatalBoxes());
  EXPECT_EQ(prompter_.boxes.size(), 1u);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("Folder.vrn")));
  // The files that did open are still empty, and the remembered project is kept.
  EXPECT_EQ(std::filesystem::file_size(dir_.File("Rpoject.vrn")), 0u);
  EXPECT_EQ(std::filesystem::file_size(dir_.File("Log.vrn")), 0u);
  EXPECT_EQ(ReadText(dir_.File("Vrnh.ini")), settingsBefore);
}

TEST_F(MainFormTest, MissingWorkingFolderShowsTheMessageAndCreatesNothing) {
  const QString missing = QString::fromStdString(dir_.File("missing"));
  catalogues_.push_back(std::make_unique<catalogue::TCatalogue>());
  auto form = std::make_unique<TMainForm>(*catalogues_.back(), prompter_,
                                          QString::fromStdString(dir_.File("Vrnh.ini")), missing,
                                          QStringList());
  ASSERT_EQ(prompter_.boxes.size(), 1u);
  EXPECT_EQ(prompter_.boxes[0].text, "Can't open project database!");
  form.reset();
  EXPECT_FALSE(std::filesystem::exists(dir_.File("missing")));
  EXPECT_TRUE(NoFatalBoxes());
}

// The settings are written at shutdown; a write the system refuses is reported once,
// naming the file, and the program still ends normally.
TEST_F(MainFormTest, RefusedSettingsWriteIsShownNamingTheFile) {
  const QString settings = QString::fromStdString(dir_.File("no-such-folder/Vrnh.ini"));
  catalogues_.push_back(std::make_unique<catalogue::TCatalogue>());
  auto form = std::make_unique<TMainForm>(*catalogues_.back(), prompter_, settings,
                                          QString::fromStdString(dir_.Path()), QStringList());
  EXPECT_TRUE(prompter_.boxes.empty());
  form.reset();
  ASSERT_EQ(prompter_.boxes.size(), 1u);
  EXPECT_EQ(prompter_.boxes[0].kind, "fatal");
  EXPECT_EQ(prompter_.boxes[0].text, "Unable to write to " + settings.toStdString());
}

// A catalogue error during start-up goes to the general error box; the window still
// comes up and ends normally.
TEST_F(MainFormTest, CatalogueErrorDuringStartUpIsShownAndTheWindowGoesOn) {
  PrepareDocs();
  {
    std::ofstream damage(dir_.File("Folder.vrn"), std::ios::binary | std::ios::app);
    damage << "partial";
  }
  WriteText(dir_.File("Vrnh.ini"), "[Main]\nProject=Docs\n");
  auto form = Start();
  ASSERT_EQ(prompter_.boxes.size(), 1u);
  EXPECT_EQ(prompter_.boxes[0].kind, "fatal");
  EXPECT_NE(prompter_.boxes[0].text.find("Folder.vrn"), std::string::npos)
      << prompter_.boxes[0].text;
  EXPECT_FALSE(form->EndRequested());
  form.reset();
  EXPECT_EQ(prompter_.boxes.size(), 1u);
}

}  // namespace
}  // namespace app
