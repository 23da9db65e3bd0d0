#include "dialogs/open_form.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "dialogs/prompter.h"

namespace dialogs {

TOpenForm::TOpenForm(QWidget* parent, Prompter* prompter)
    : CenteredDialog(parent), prompter_(prompter) {
  GroupBox1 = new QGroupBox(QStringLiteral(" Available projects "), this);
  ListView1 = new QTreeWidget(GroupBox1);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setColumnCount(4);
  ListView1->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Folder"),
                              QStringLiteral("Raise"), QStringLiteral("Created")});
  const int widths[] = {200, 200, 50, 80};
  for (int column = 0; column < 4; ++column) ListView1->setColumnWidth(column, widths[column]);
  ListView1->header()->setStretchLastSection(false);
  ListView1->setRootIsDecorated(false);
  ListView1->setItemsExpandable(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setAllColumnsShowFocus(true);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The chosen row stays plainly marked while the focus is on the buttons.
  QPalette palette = ListView1->palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  ListView1->setPalette(palette);
  // Room for the four columns and a vertical scroll bar without a horizontal one.
  ListView1->setMinimumSize(200 + 200 + 50 + 80 + 24, 220);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setAutoDefault(false);

  auto* groupLayout = new QVBoxLayout(GroupBox1);
  groupLayout->addWidget(ListView1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(GroupBox1);
  layout->addLayout(buttons);

  connect(Button1, &QPushButton::clicked, this, &TOpenForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { Button1Click(); });
  FixSize(this);
}

void TOpenForm::AddRow(const QString& name, const QString& folder, const QString& raise,
                       const QString& created) {
  new QTreeWidgetItem(ListView1, QStringList{name, folder, raise, created});
}

QString TOpenForm::SelectedName() const {
  const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
  return selected.isEmpty() ? QString() : selected.front()->text(0);
}

void TOpenForm::Button1Click() {
  if (ListView1->selectedItems().isEmpty()) {
    prompter_->Beep();
    return;
  }
  accept();
}

}  // namespace dialogs
