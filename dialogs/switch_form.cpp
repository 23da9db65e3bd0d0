#include "dialogs/switch_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dialogs {

TSwitchForm::TSwitchForm(QWidget* parent) : CenteredDialog(parent) {
  setWindowTitle(QStringLiteral("Command line switches"));
  const QFont font = CourierBoldFont();
  auto makeLabel = [&](const QString& text) {
    auto* label = new QLabel(text, this);
    label->setFont(font);
    return label;
  };
  Label1 = makeLabel(QStringLiteral("/L:<project name> - load project at startup"));
  Label2 = makeLabel(QStringLiteral("/P:<project name> - process project at startup"));
  Label3 = makeLabel(QStringLiteral("/All - process all projects at startup"));
  Label4 = makeLabel(QStringLiteral("/Exit - exit beyond processing previous option"));
  Label5 = makeLabel(QStringLiteral("/R:<project name> - restore project's folders in place"));
  Label6 = makeLabel(QStringLiteral("/F:<folder> - next /R: restores only this folder"));
  Label7 = makeLabel(QStringLiteral("/T:<directory> - ... into this directory (needs /F:)"));
  Label8 = makeLabel(QStringLiteral("/O:Missed|Refresh|Rewrite - files next /R: replaces"));
  Label9 = makeLabel(QStringLiteral("/V:<project name> - verify project's archives"));
  Label10 = makeLabel(QStringLiteral("/W:<n> - files at once in backups and restores"));
  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);

  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch();
  buttonRow->addWidget(Button1);
  buttonRow->addStretch();
  auto* layout = new QVBoxLayout(this);
  for (QLabel* label : {Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label9,
                          Label10}) {
    layout->addWidget(label);
  }
  layout->addSpacing(8);
  layout->addLayout(buttonRow);

  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  FixSize(this);
}

}  // namespace dialogs
