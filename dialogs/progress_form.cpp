#include "dialogs/progress_form.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/form_util.h"

namespace dialogs {

TProgressForm::TProgressForm(QWidget* parent, std::function<void()> onCancel)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      onCancel_(std::move(onCancel)) {
  setWindowTitle(QStringLiteral("Progress"));
  Label1 = new QLabel(QStringLiteral("Project"), this);
  Panel1 = new SunkenPanel(QStringLiteral("Project"), this);
  Label2 = new QLabel(QStringLiteral("Folder"), this);
  Panel2 = new SunkenPanel(QStringLiteral("Folder"), this);
  Label3 = new QLabel(QStringLiteral("File"), this);
  Panel3 = new SunkenPanel(QStringLiteral("File"), this);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  Button1 = new QPushButton(QStringLiteral("Cancel"), this);
  Button1->setObjectName(QStringLiteral("Button1"));

  auto* fields = new QGridLayout;
  fields->addWidget(Label1, 0, 0);
  fields->addWidget(Panel1, 0, 1);
  fields->addWidget(Label2, 1, 0);
  fields->addWidget(Panel2, 1, 1);
  fields->addWidget(Label3, 2, 0);
  fields->addWidget(Panel3, 2, 1);
  fields->setColumnStretch(1, 1);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch();
  buttonRow->addWidget(Button1);
  buttonRow->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(ProgressBar1);
  layout->addLayout(buttonRow);
  setMinimumWidth(420);

  connect(Button1, &QPushButton::clicked, this, &TProgressForm::Button1Click);
  FixSize(this);
}

void TProgressForm::SetProject(const QString& name) { Panel1->SetText(name); }

void TProgressForm::SetFolderCount(int folders) {
  ProgressBar1->setRange(0, std::max(folders, 0));
  ProgressBar1->setValue(0);
}

void TProgressForm::SetFolder(const QString& path) { Panel2->SetText(path); }

void TProgressForm::SetFile(const QString& path) {
  Panel3->SetText(path);
  Panel3->repaint();
}

void TProgressForm::StepFolder() {
  if (ProgressBar1->value() < ProgressBar1->maximum()) {
    ProgressBar1->setValue(ProgressBar1->value() + 1);
  }
  repaint();
}

void TProgressForm::Button1Click() {
  if (onCancel_) onCancel_();
  close();
}

void TProgressForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  CenterOnScreen(this);
}

}  // namespace dialogs
