#include "dialogs/restore_form.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <exception>

#include "catalogue/catalogue.h"
#include "dialogs/prompter.h"
#include "dialogs/qt_text.h"
#include "dialogs/select_folder_form.h"

namespace dialogs {

namespace {


}  // namespace

TRestoreRadioGroup::TRestoreRadioGroup(const QString& caption, QWidget* parent)
    : QGroupBox(caption, parent), buttons_(new QButtonGroup(this)) {
  setLayout(new QVBoxLayout);
  connect(buttons_, &QButtonGroup::buttonClicked, this, [this](QAbstractButton*) {
    if (onClick) onClick();
  });
}

QRadioButton* TRestoreRadioGroup::AddItem(const QString& text) {
  auto* item = new QRadioButton(text, this);
  buttons_->addButton(item, Count());
  layout()->addWidget(item);
  items_.push_back(item);
  return item;
}

int TRestoreRadioGroup::ItemIndex() const { return buttons_->checkedId(); }

void TRestoreRadioGroup::SetItemIndex(int index) { Item(index)->setChecked(true); }

TRestoreForm::TRestoreForm(QWidget* parent, catalogue::TCatalogue& catalogue,
                           restore::ArchiveUnpacker& unpacker, Prompter* prompter,
                           const QString& projectName, std::function<void()> viewLog)
    : CenteredDialog(parent),
      prompter_(prompter),
      projectName_(ToUtf8(projectName)),
      viewLog_(std::move(viewLog)),
      run_(catalogue, unpacker, *this) {
  RadioGroup1 = new TRestoreRadioGroup(QStringLiteral(" Restore: "), this);
  RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
  RadioGroup1->AddItem(QStringLiteral("All folders"));
  RadioGroup1->SetItemIndex(0);
  RadioGroup1->onClick = [this] { RadioGroup1Click(); };

  RadioGroup2 = new TRestoreRadioGroup(QStringLiteral(" Options "), this);
  RadioGroup2->setObjectName(QStringLiteral("RadioGroup2"));
  RadioGroup2->AddItem(QStringLiteral("Rewrite all files"));
  RadioGroup2->AddItem(QStringLiteral("Append missed"));
  RadioGroup2->AddItem(QStringLiteral("Refresh"));
  RadioGroup2->SetItemIndex(1);

  CheckBox1 = new QCheckBox(QStringLiteral("Prompt to overwrite files"), this);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  CheckBox1->setChecked(true);

  Label3 = new QLabel(QStringLiteral("Restore to:"), this);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Label3->setBuddy(Edit1);
  Button4 = new QPushButton(QStringLiteral("Browse..."), this);
  Button4->setObjectName(QStringLiteral("Button4"));
  Button4->setAutoDefault(false);
  EnableDestination(false);

  GroupBox1 = new QGroupBox(QStringLiteral(" Progress "), this);
  Label1 = new QLabel(QStringLiteral("Folder:"), GroupBox1);
  Panel1 = new SunkenPanel(QString(), GroupBox1);
  Label2 = new QLabel(QStringLiteral("File:"), GroupBox1);
  Panel2 = new SunkenPanel(QString(), GroupBox1);
  ProgressBar1 = new QProgressBar(GroupBox1);
  ProgressBar1->setRange(0, 10);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  Button1 = new QPushButton(QStringLiteral("Start!"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Close"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setAutoDefault(false);
  Button3 = new QPushButton(QStringLiteral("View log..."), this);
  Button3->setObjectName(QStringLiteral("Button3"));
  Button3->setAutoDefault(false);

  auto* options = new QHBoxLayout;
  options->addWidget(RadioGroup1);
  options->addWidget(RadioGroup2);
  auto* destination = new QHBoxLayout;
  destination->addWidget(Label3);
  destination->addWidget(Edit1, 1);
  destination->addWidget(Button4);
  auto* progress = new QGridLayout(GroupBox1);
  progress->addWidget(Label1, 0, 0);
  progress->addWidget(Panel1, 0, 1);
  progress->addWidget(Label2, 1, 0);
  progress->addWidget(Panel2, 1, 1);
  progress->addWidget(ProgressBar1, 2, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button3);
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(options);
  layout->addWidget(CheckBox1);
  layout->addLayout(destination);
  layout->addWidget(GroupBox1);
  layout->addLayout(buttons);
  setMinimumWidth(460);

  connect(Button1, &QPushButton::clicked, this, &TRestoreForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TRestoreForm::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TRestoreForm::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TRestoreForm::Button4Click);
  FixSize(this);
}

void TRestoreForm::OfferSelectedFolder(const QString& folderPath) {
  selectedFolder_ = ToUtf8(folderPath);
  if (RadioGroup1->Count() < 2) RadioGroup1->AddItem(QStringLiteral("Selected folder"));
  RadioGroup1->SetItemIndex(1);
  EnableDestination(true);
  Edit1->setText(folderPath);
  FixSize(this);
}

void TRestoreForm::EnableDestination(bool enabled) {
  Label3->setEnabled(enabled);
  Edit1->setEnabled(enabled);
  Button4->setEnabled(enabled);
}

void TRestoreForm::EnableControls(bool enabled) {
  Button1->setEnabled(enabled);
  Button2->setEnabled(enabled);
  Button3->setEnabled(enabled);
  RadioGroup1->setEnabled(enabled);
  RadioGroup2->setEnabled(enabled);
  CheckBox1->setEnabled(enabled);
  // The destination follows the restore choice once the run is over.
  const bool destination = enabled && SelectedFolderChosen();
  Button4->setEnabled(destination);
  Edit1->setEnabled(destination);
}

void TRestoreForm::RadioGroup1Click() { EnableDestination(RadioGroup1->ItemIndex() != 0); }

void TRestoreForm::Button1Click() {
  if (running_) return;
  if (!prompter_->AskYesNo(this,
                           QStringLiteral("This will start restore process and may damage "
                                          "your files!"),
                           QStringLiteral("Warning!"))) {
    return;
  }
  restore::RestoreRequest request;
  request.projectName = projectName_;
  request.selectedFolderOnly = SelectedFolderChosen();
  request.selectedFolder = selectedFolder_;
  request.destination = ToUtf8(Edit1->text());
  request.prompt = CheckBox1->isChecked();
  request.option = static_cast<restore::RestoreOption>(RadioGroup2->ItemIndex());

  try {
    Start(request);
  } catch (const std::exception& error) {
    // The error ends the run where it happened; the window stays usable for another one.
    prompter_->ShowFatal(this, ToQString(error.what()));
  }
}

restore::RestoreTotals TRestoreForm::RunRequest(const restore::RestoreRequest& request) {
  if (request.selectedFolderOnly) {
    OfferSelectedFolder(ToQString(request.selectedFolder));
    Edit1->setText(ToQString(request.destination));
  }
  RadioGroup2->SetItemIndex(static_cast<int>(request.option));
  CheckBox1->setChecked(request.prompt);
  Start(request);
  return run_.Totals();
}

void TRestoreForm::Start(const restore::RestoreRequest& request) {
  running_ = true;
  EnableControls(false);
  QCoreApplication::processEvents();
  try {
    run_.Run(request);
  } catch (...) {
    running_ = false;
    EnableControls(true);
    throw;
  }
  running_ = false;
  EnableControls(true);
  pendingArchive_.clear();
  Panel1->SetText(QString());
  Panel2->SetText(QString());
  QCoreApplication::processEvents();
}

void TRestoreForm::Button2Click() { close(); }

void TRestoreForm::Button3Click() {
  if (viewLog_) viewLog_();
}

void TRestoreForm::Button4Click() { BrowseForFolder(this, Edit1); }

void TRestoreForm::reject() {
  if (!running_) CenteredDialog::reject();
}

void TRestoreForm::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    return;
  }
  CenteredDialog::closeEvent(event);
}

void TRestoreForm::ProgressStarted(int folderCount) {
  // A range of 0..0 would make the bar a busy indicator that never stops.
  ProgressBar1->setRange(0, folderCount > 0 ? folderCount : 1);
  ProgressBar1->setValue(0);
}

void TRestoreForm::FolderStarted(const std::string& sourcePath) {
  Panel1->SetText(ToQString(sourcePath));
}

void TRestoreForm::ArchiveStarted(const std::string& targetAndArchive) {
  pendingArchive_ = ToQString(targetAndArchive);
  if (archivePaint_.Due()) ShowPendingArchive();
}

void TRestoreForm::ShowPendingArchive() {
  if (pendingArchive_.isEmpty()) return;
  Panel2->SetText(pendingArchive_);
  Panel2->repaint();
  pendingArchive_.clear();
}

void TRestoreForm::FolderFinished() {
  ShowPendingArchive();
  if (ProgressBar1->value() < ProgressBar1->maximum()) {
    ProgressBar1->setValue(ProgressBar1->value() + 1);
  }
}

void TRestoreForm::ProcessMessages() {
  if (pump_.Due()) QCoreApplication::processEvents();
}

void TRestoreForm::ShowError(const std::string& text) {
  ShowPendingArchive();
  prompter_->ShowMessage(this, ToQString(text), QStringLiteral("Error!"));
}

restore::ReplaceAnswer TRestoreForm::AskReplace(const std::string& question) {
  ShowPendingArchive();
  switch (prompter_->AskYesNoAbortAll(this, ToQString(question), QStringLiteral("Confirm"))) {
    case Answer::Yes:
      return restore::ReplaceAnswer::Yes;
    case Answer::Abort:
      return restore::ReplaceAnswer::Abort;
    case Answer::All:
      return restore::ReplaceAnswer::All;
    default:
      return restore::ReplaceAnswer::No;
  }
}

void TRestoreForm::ArchiveFailed(const std::string& archivePath, const std::string& reason) {
  if (onArchiveFailed) onArchiveFailed(archivePath, reason);
}

}  // namespace dialogs
