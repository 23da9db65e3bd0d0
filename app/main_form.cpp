#include "app/main_form.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <exception>

#include "app/qt_text.h"
#include "archive/zip_reader.h"
#include "catalogue/catalogue.h"
#include "dialogs/prompter.h"
#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "restore/zip_reader_unpacker.h"

namespace app {

using console::kFrames;
using console::kHeight;
using console::kLeft;
using console::kProject;
using console::kTop;
using console::kWidth;
using console::RunOutcome;

namespace {

// Design values of the window.
constexpr int kDesignWidth = 533;
constexpr int kDesignHeight = 224;
constexpr int kBottomStripHeight = 31;
constexpr int kButtonStripWidth = 285;

QString AppCaption() { return QString::fromLatin1(kAppCaption); }

}  // namespace

TMainForm::TMainForm(catalogue::TCatalogue& catalogue, dialogs::Prompter& prompter,
                     QString settingsPath, QString workingDir, QStringList arguments,
                     QWidget* parent)
    : QMainWindow(parent),
      catalogue_(catalogue),
      prompter_(prompter),
      settingsPath_(std::move(settingsPath)),
      workingDir_(std::move(workingDir)),
      arguments_(std::move(arguments)),
      ZipReader1(std::make_unique<archive::TZipReader>()) {
  restore::ConfigureReaderForRestore(*ZipReader1);
  CreateControls();
  CreateMenu();
  resize(kDesignWidth, kDesignHeight);
  // The design caption, so that a command line that shows no project leaves a named window.
  setWindowTitle(AppCaption());
  RunGuarded(&TMainForm::FormCreate);
}

TMainForm::~TMainForm() { FormDestroy(); }

// ---- construction

void TMainForm::CreateControls() {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  ListView1 = new QTreeWidget(central);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setColumnCount(4);
  ListView1->setHeaderLabels({QStringLiteral("Folder"), QStringLiteral("Mask"),
                              QStringLiteral("Mode"), QStringLiteral("Last stored")});
  ListView1->setRootIsDecorated(false);
  ListView1->setItemsExpandable(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setAllColumnsShowFocus(true);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Column widths are the user's (saved in the settings), so nothing stretches them.
  ListView1->header()->setStretchLastSection(false);
  for (int i = 0; i < 4; ++i) ListView1->setColumnWidth(i, kFrames[i].defaultValue);
  column->addWidget(ListView1, 1);

  auto* strip = new QWidget(central);
  strip->setFixedHeight(kBottomStripHeight);
  auto* stripRow = new QHBoxLayout(strip);
  stripRow->setContentsMargins(0, 0, 0, 0);
  stripRow->setSpacing(0);

  Panel4 = new QLabel(strip);
  Panel4->setObjectName(QStringLiteral("Panel4"));
  Panel4->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel4->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QFont bold = Panel4->font();
  bold.setBold(true);
  Panel4->setFont(bold);
  Panel4->setStyleSheet(QStringLiteral("color: red;"));
  stripRow->addWidget(Panel4, 1);

  auto* buttons = new QWidget(strip);
  buttons->setFixedWidth(kButtonStripWidth);
  auto* buttonRow = new QHBoxLayout(buttons);
  buttonRow->setContentsMargins(4, 3, 4, 3);
  Button1 = new QPushButton(QStringLiteral("Start!"), buttons);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button10 = new QPushButton(QStringLiteral("Restore..."), buttons);
  Button10->setObjectName(QStringLiteral("Button10"));
  Button9 = new QPushButton(QStringLiteral("View log"), buttons);
  Button9->setObjectName(QStringLiteral("Button9"));
  buttonRow->addWidget(Button1);
  buttonRow->addWidget(Button10);
  buttonRow->addWidget(Button9);
  stripRow->addWidget(buttons);
  column->addWidget(strip);
  setCentralWidget(central);

  connect(Button1, &QPushButton::clicked, this, [this] { RunGuarded(&TMainForm::Button6Click); });
  connect(Button10, &QPushButton::clicked, this, [this] { RunGuarded(&TMainForm::Button10Click); });
  connect(Button9, &QPushButton::clicked, this, [this] { RunGuarded(&TMainForm::Button9Click); });
  // Enter runs "Start!" wherever the focus is, as a default button does in a dialog.
  for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* shortcut = new QShortcut(QKeySequence(key), this);
    connect(shortcut, &QShortcut::activated, this, [this] {
      if (Button1->isEnabled()) Button1->click();
    });
  }
  // Clicks, clicks outside any row and keyboard moves all end up as a selection change.
  connect(ListView1, &QTreeWidget::itemSelectionChanged, this, [this] { ListView1Click(); });
}

QAction* TMainForm::AddMenuItem(QMenu* menu, const QString& caption, void (TMainForm::*handler)()) {
  QAction* action = menu->addAction(caption);
  connect(action, &QAction::triggered, this, [this, handler] { RunGuarded(handler); });
  return action;
}

void TMainForm::CreateMenu() {
  QMenuBar* bar = menuBar();
  ProjectMenu = bar->addMenu(QStringLiteral("Project"));
  NewProject1 = AddMenuItem(ProjectMenu, QStringLiteral("New..."), &TMainForm::Button4Click);
  OpenProject1 = AddMenuItem(ProjectMenu, QStringLiteral("Open..."), &TMainForm::Button7Click);
  EditProject1 = AddMenuItem(ProjectMenu, QStringLiteral("Edit..."), &TMainForm::Button8Click);
  DeleteProject1 = AddMenuItem(ProjectMenu, QStringLiteral("Delete"), &TMainForm::Button5Click);
  ProjectMenu->addSeparator();
  Exit1 = AddMenuItem(ProjectMenu, QStringLiteral("Exit"), &TMainForm::Exit1Click);

  FolderMenu = bar->addMenu(QStringLiteral("Folder"));
  AddFolder1 = AddMenuItem(FolderMenu, QStringLiteral("Add..."), &TMainForm::Button1Click);
  EditFolder1 = AddMenuItem(FolderMenu, QStringLiteral("Edit..."), &TMainForm::Button3Click);
  DeleteFolder1 = AddMenuItem(FolderMenu, QStringLiteral("Delete"), &TMainForm::Button2Click);
  Deleteall1 = AddMenuItem(FolderMenu, QStringLiteral("Delete all"), &TMainForm::Deleteall1Click);

  ProcessingMenu = bar->addMenu(QStringLiteral("Processing"));
  Start1 = AddMenuItem(ProcessingMenu, QStringLiteral("Start!"), &TMainForm::Button6Click);
  Startallprojects1 = AddMenuItem(ProcessingMenu, QStringLiteral("Start all projects"),
                                  &TMainForm::Startallprojects1Click);
  ProcessingMenu->addSeparator();
  Restore1 = AddMenuItem(ProcessingMenu, QStringLiteral("Restore..."), &TMainForm::Button10Click);
  ProcessingMenu->addSeparator();
  Viewlogfile1 =
      AddMenuItem(ProcessingMenu, QStringLiteral("View log file..."), &TMainForm::Button9Click);
  Verify1 =
      AddMenuItem(ProcessingMenu, QStringLiteral("Verify backup..."), &TMainForm::Verify1Click);

  CleaningMenu = bar->addMenu(QStringLiteral("Cleaning"));
  Clearlog1 = AddMenuItem(CleaningMenu, QStringLiteral("Clear log"), &TMainForm::Clearlog1Click);
  Clearallprojects1 = AddMenuItem(CleaningMenu, QStringLiteral("Clear all projects"),
                                  &TMainForm::Clearallprojects1Click);

  HelpMenu = bar->addMenu(QStringLiteral("Help"));
  Commandline1 =
      AddMenuItem(HelpMenu, QStringLiteral("Command line..."), &TMainForm::Commandline1Click);
  HelpMenu->addSeparator();
  About1 = AddMenuItem(HelpMenu, QStringLiteral("About..."), &TMainForm::About1Click);
}

// ---- start-up and shutdown

void TMainForm::FormCreate() {
  DisableFolderCommands();
  DisableProjectCommands();

  const std::string dir = ToUtf8(workingDir_);
  const std::string projectFile = platform::JoinPath(dir, catalogue::kProjectFileName);
  // Switches come from a scheduler's line, which may run in the wrong working directory: a
  // directory without a project file holds no catalogue, and one is not made there (empty
  // files beside the user's own, and a run that finds no project).
  const bool noCatalogueHere = !arguments_.isEmpty() && !platform::FileExists(projectFile);
  catalogueOpened_ =
      !noCatalogueHere &&
      catalogue_.OpenCatalogue(projectFile, platform::JoinPath(dir, catalogue::kFolderFileName),
                               platform::JoinPath(dir, catalogue::kLogFileName));
  if (!catalogueOpened_) {
    if (noCatalogueHere) {
      prompter_.Report(ToQString("No project database in \"" + dir + "\": \"" +
                                 catalogue::kProjectFileName + "\" does not exist"));
    }
    prompter_.ShowMessage(this, QStringLiteral("Can't open project database!"),
                          QStringLiteral("Error!"));
    exitStatus_.Note(RunOutcome::CatalogueFailed);
    RequestEnd();
  }

  SettingsFile = std::make_unique<console::TSettings>(ToUtf8(settingsPath_));
  ApplySavedGeometry();
  for (int i = 0; i < 4; ++i) {
    ListView1->setColumnWidth(i, SettingsFile->Read(kFrames[i], ListView1->columnWidth(i)));
  }

  // Without a catalogue nothing below could work: the program only shows the message and
  // ends, and the remembered project stays remembered.
  if (!catalogueOpened_) return;

  if (!arguments_.isEmpty()) {
    std::vector<std::string> arguments;
    for (const QString& argument : arguments_) arguments.push_back(ToUtf8(argument));
    console::TSwitchRun(catalogue_, *this).Run(arguments);
    return;
  }
  CurrentProject = ToQString(SettingsFile->Read(kProject));
  if (!CurrentProject.isEmpty()) {
    LoadProject(CurrentProject);
  } else {
    setWindowTitle(AppCaption());
  }
}

void TMainForm::ApplySavedGeometry() {
  // Each value is applied at once, in the order Top, Left, Width, Height. A position equal
  // to the current one is not applied, so that on a first start (no settings) the window
  // system still chooses where the window appears.
  const int top = SettingsFile->Read(kTop, y());
  if (top != y()) move(x(), top);
  const int left = SettingsFile->Read(kLeft, x());
  if (left != x()) move(left, y());
  resize(SettingsFile->Read(kWidth, width()), height());
  resize(width(), SettingsFile->Read(kHeight, height()));

  // A position saved on a screen that is gone would put the window out of reach.
  const QRect frame(pos(), size());
  bool visible = false;
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().intersects(frame)) visible = true;
  }
  if (!visible) move(0, 0);
}

void TMainForm::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  try {
    catalogue_.CloseCatalogue();
  } catch (const std::exception& e) {
    ShowError(ToQString(e.what()));
  }
  // After a catalogue that did not open, start-up read no project: writing the settings
  // would only forget the one the user had open.
  if (catalogueOpened_ && SettingsFile) {
    try {
      WriteSettings();
    } catch (const std::exception& e) {
      ShowError(ToQString(e.what()));
    }
  }
  SettingsFile.reset();
}

void TMainForm::WriteSettings() {
  SettingsFile->Write(kTop, y());
  SettingsFile->Write(kLeft, x());
  SettingsFile->Write(kWidth, width());
  SettingsFile->Write(kHeight, height());
  for (int i = 0; i < 4; ++i) SettingsFile->Write(kFrames[i], ListView1->columnWidth(i));
  SettingsFile->Write(kProject, ToUtf8(CurrentProject));
}

void TMainForm::RequestEnd() {
  endRequested_ = true;
  // Queued, so that a request made during start-up ends the message loop as soon as it
  // starts, and one made from a command ends it after the command returns.
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                            Qt::QueuedConnection);
}

int TMainForm::ExitStatus() const { return exitStatus_.Value(); }

void TMainForm::NoteError(const std::exception& error) {
  exitStatus_.Note(console::OutcomeOfError(error));
}

// ---- the project shown

void TMainForm::LoadProject(const QString& name) {
  setWindowTitle(AppCaption() + QStringLiteral(" - ") + name);
  RemoveAllRows();
  const std::string project = ToUtf8(CurrentProject);
  catalogue::TFolderRecord folder;
  for (bool found = catalogue_.FirstFolder(project, folder); found;
       found = catalogue_.NextFolder(project, folder)) {
    auto* row = new QTreeWidgetItem(ListView1);
    row->setText(0, ToQString(folder.Path));
    row->setText(1, ToQString(folder.Masks));
    row->setText(2, folder.Include ? QStringLiteral("Include") : QStringLiteral("Exclude"));
    row->setText(3, folder.LastStored == 0.0
                        ? QStringLiteral("N/A")
                        : ToQString(platform::TimestampText(folder.LastStored)));
  }
  EnableProjectCommands();
  DisableFolderCommands();
}

void TMainForm::CloseProject() {
  RemoveAllRows();
  CurrentProject.clear();
  setWindowTitle(AppCaption());
  DisableProjectCommands();
}

void TMainForm::RemoveAllRows() {
  if (ListView1->topLevelItemCount() == 0) return;
  ListView1->clear();
  ListView1Deletion();
}

// ---- command groups

void TMainForm::EnableProjectCommands() {
  for (QAction* action :
       {EditProject1, DeleteProject1, FolderMenu->menuAction(), Start1, Restore1, Verify1})
    action->setEnabled(true);
  Button1->setEnabled(true);
  Button10->setEnabled(true);
}

void TMainForm::DisableProjectCommands() {
  for (QAction* action :
       {EditProject1, DeleteProject1, FolderMenu->menuAction(), Start1, Restore1, Verify1})
    action->setEnabled(false);
  Button1->setEnabled(false);
  Button10->setEnabled(false);
}

void TMainForm::EnableFolderCommands() {
  EditFolder1->setEnabled(true);
  DeleteFolder1->setEnabled(true);
}

void TMainForm::DisableFolderCommands() {
  EditFolder1->setEnabled(false);
  DeleteFolder1->setEnabled(false);
}

void TMainForm::ListView1Click() {
  if (HasSelectedRow()) {
    EnableFolderCommands();
  } else {
    DisableFolderCommands();
  }
}

void TMainForm::ListView1Deletion() { ListView1Click(); }

bool TMainForm::HasSelectedRow() const { return !ListView1->selectedItems().isEmpty(); }

QString TMainForm::SelectedPath() const {
  const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
  return selected.isEmpty() ? QString() : selected.first()->text(0);
}

// ---- errors

void TMainForm::RunGuarded(void (TMainForm::*handler)()) {
  try {
    (this->*handler)();
  } catch (const std::exception& e) {
    NoteError(e);
    ShowError(ToQString(e.what()));
  }
}

void TMainForm::ShowError(const QString& text) { prompter_.ShowFatal(this, text); }

}  // namespace app
