#include "dialogs/project_form.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/full_path.h"
#include "dialogs/prompter.h"
#include "dialogs/qt_text.h"
#include "dialogs/select_folder_form.h"
#include "store/placement.h"

namespace dialogs {

TProjectForm::TProjectForm(QWidget* parent, Prompter* prompter)
    : CenteredDialog(parent), prompter_(prompter) {
  Label1 = new QLabel(QStringLiteral("Project name:"), this);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  CheckBox1 = new QCheckBox(QStringLiteral("Do not ignore errors while processing"), this);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  Label2 = new QLabel(QStringLiteral("Folder to store"), this);
  Edit2 = new QLineEdit(this);
  Edit2->setObjectName(QStringLiteral("Edit2"));
  Button1 = new QPushButton(QStringLiteral("Browse"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setAutoDefault(false);
  Button2 = new QPushButton(QStringLiteral("OK"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setDefault(true);
  Button3 = new QPushButton(QStringLiteral("Cancel"), this);
  Button3->setObjectName(QStringLiteral("Button3"));
  Button3->setAutoDefault(false);
  Label1->setBuddy(Edit1);
  Label2->setBuddy(Edit2);

  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(Edit2, 1);
  folderRow->addWidget(Button1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button2);
  buttons->addWidget(Button3);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(Edit1);
  layout->addWidget(CheckBox1);
  layout->addSpacing(6);
  layout->addWidget(Label2);
  layout->addLayout(folderRow);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  setMinimumWidth(420);

  connect(Button1, &QPushButton::clicked, this, &TProjectForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TProjectForm::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &QDialog::reject);
  FixSize(this);
}

void TProjectForm::Button1Click() { BrowseForFolder(this, Edit2); }

void TProjectForm::Button2Click() {
  if (Edit1->text().isEmpty() || !IsFullFolderPath(Edit2->text())) {
    prompter_->ShowMessage(this,
                           QStringLiteral("Fields for project name and folder can't be empty!"),
                           QStringLiteral("Error!"));
    return;
  }
  // A store folder that is the root ("/..", a link to "/") would put every archive beside
  // its source file; the runs refuse such a project, so it is not taken here either.
  if (store::CheckStoreFolder(ToUtf8(Edit2->text())) == store::StoreFolderProblem::Root) {
    prompter_->ShowMessage(this, ToQString(kRootStoreFolderText), QStringLiteral("Error!"));
    return;
  }
  accept();
}

}  // namespace dialogs
