#include "dialogs/log_form.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "dialogs/prompter.h"
#include "dialogs/qt_text.h"

namespace dialogs {

TLogForm::TLogForm(QWidget* parent, Prompter* prompter, const QStringList& lines,
                   std::function<void()> clearLog)
    : CenteredDialog(parent), prompter_(prompter), clearLog_(std::move(clearLog)) {
  setWindowTitle(QStringLiteral("Events"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);

  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  QFont font = CourierBoldFont();
  font.setPixelSize(11);
  ListBox1->setFont(font);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox1->setUniformItemSizes(true);
  ListBox1->addItems(lines);
  if (ListBox1->count() > 0) {
    ListBox1->setCurrentRow(ListBox1->count() - 1);
    ListBox1->scrollToItem(ListBox1->currentItem());
  }

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(26);
  Button1 = new QPushButton(QStringLiteral("Clear log"), Panel1);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setAutoDefault(false);
  Button2 = new QPushButton(QStringLiteral("Exit"), Panel1);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setAutoDefault(false);
  auto* bar = new QHBoxLayout(Panel1);
  bar->setContentsMargins(2, 0, 2, 0);
  bar->addStretch();
  bar->addWidget(Button1);
  bar->addWidget(Button2);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 2);
  layout->setSpacing(0);
  layout->addWidget(ListBox1, 1);
  layout->addWidget(Panel1);
  resize(450, 249);

  connect(Button1, &QPushButton::clicked, this, &TLogForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &QDialog::accept);
}

void TLogForm::Button1Click() {
  try {
    if (clearLog_) clearLog_();
  } catch (const std::exception& error) {
    prompter_->ShowFatal(this, ToQString(error.what()));
    return;
  }
  ListBox1->clear();
}

}  // namespace dialogs
