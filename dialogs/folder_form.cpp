#include "dialogs/folder_form.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>

#include "catalogue/masks.h"
#include "catalogue/records.h"
#include "dialogs/full_path.h"
#include "dialogs/prompter.h"
#include "dialogs/qt_text.h"
#include "dialogs/select_folder_form.h"
#include "platform/text.h"

namespace dialogs {

namespace {

const QString kSeparator = ToQString(std::string(catalogue::kMaskSeparator));

QPushButton* MakeButton(const QString& caption, const char* name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setAutoDefault(false);
  return button;
}

// The compression field: any whole number may be typed; when the field is left (or Enter
// is pressed) a number outside the range goes to the nearer bound, and text that is no
// whole number becomes 1.
class LevelSpinBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  QValidator::State validate(QString& text, int&) const override {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == QLatin1String("+") || trimmed == QLatin1String("-")) {
      return QValidator::Intermediate;
    }
    bool whole = false;
    const int number = trimmed.toInt(&whole);
    if (!whole) return QValidator::Invalid;
    return number >= minimum() && number <= maximum() ? QValidator::Acceptable
                                                      : QValidator::Intermediate;
  }
  void fixup(QString& text) const override {
    bool whole = false;
    const int number = text.trimmed().toInt(&whole);
    text = QString::number(whole ? std::clamp(number, minimum(), maximum()) : minimum());
  }
};

}  // namespace

TFolderForm::TFolderForm(QWidget* parent, Prompter* prompter)
    : CenteredDialog(parent), prompter_(prompter) {
  Label1 = new QLabel(QStringLiteral("Folder:"), this);
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Button1 = MakeButton(QStringLiteral("Browse..."), "Button1", this);

  GroupBox1 = new QGroupBox(QStringLiteral(" File types "), this);
  Label2 = new QLabel(QStringLiteral("Mask:"), GroupBox1);
  Edit2 = new QLineEdit(GroupBox1);
  Edit2->setObjectName(QStringLiteral("Edit2"));
  ListBox1 = new QListWidget(GroupBox1);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox1->setMinimumHeight(110);
  Button2 = MakeButton(QStringLiteral("Clear list"), "Button2", GroupBox1);
  Button3 = MakeButton(QStringLiteral("Delete"), "Button3", GroupBox1);
  Button4 = MakeButton(QStringLiteral("Add"), "Button4", GroupBox1);
  CheckBox1 = new QCheckBox(QStringLiteral("Exclude specifyed file types"), GroupBox1);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));

  Label3 = new QLabel(QStringLiteral("Compression:"), this);
  SpinEdit1 = new LevelSpinBox(this);
  SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
  SpinEdit1->setRange(1, 9);
  SpinEdit1->setSingleStep(1);
  SpinEdit1->setValue(6);
  SpinEdit1->installEventFilter(this);
  Button5 = MakeButton(QStringLiteral("OK"), "Button5", this);
  Button5->setDefault(true);
  Button6 = MakeButton(QStringLiteral("Cancel"), "Button6", this);
  Label1->setBuddy(Edit1);
  Label2->setBuddy(Edit2);
  Label3->setBuddy(SpinEdit1);

  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(Label1);
  folderRow->addWidget(Edit1, 1);
  folderRow->addWidget(Button1);

  auto* group = new QGridLayout(GroupBox1);
  group->addWidget(Label2, 0, 0);
  group->addWidget(Edit2, 0, 1);
  group->addWidget(Button4, 0, 2);
  group->addWidget(ListBox1, 1, 0, 3, 2);
  group->addWidget(Button3, 1, 2);
  group->addWidget(Button2, 2, 2);
  group->setRowStretch(3, 1);
  group->addWidget(CheckBox1, 4, 0, 1, 3);

  auto* bottomRow = new QHBoxLayout;
  bottomRow->addWidget(Label3);
  bottomRow->addWidget(SpinEdit1);
  bottomRow->addStretch();
  bottomRow->addWidget(Button5);
  bottomRow->addWidget(Button6);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(folderRow);
  layout->addWidget(GroupBox1);
  layout->addLayout(bottomRow);
  setMinimumWidth(400);

  connect(Button1, &QPushButton::clicked, this, &TFolderForm::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TFolderForm::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TFolderForm::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TFolderForm::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TFolderForm::Button5Click);
  connect(Button6, &QPushButton::clicked, this, &QDialog::reject);
  FixSize(this);
}

QStringList TFolderForm::Masks() const {
  QStringList masks;
  for (int i = 0; i < ListBox1->count(); ++i) masks.append(ListBox1->item(i)->text());
  return masks;
}

void TFolderForm::SetMasks(const QStringList& masks) {
  ListBox1->clear();
  ListBox1->addItems(masks);
}

int TFolderForm::Level() const {
  bool whole = false;
  const int level = SpinEdit1->cleanText().trimmed().toInt(&whole);
  if (!whole) return 1;
  return std::clamp(level, 1, 9);
}

bool TFolderForm::eventFilter(QObject* watched, QEvent* event) {
  // The compression field takes digits, signs, the decimal separator and editing keys;
  // any other character is refused with a beep.
  if (watched == SpinEdit1 && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    if (text.size() == 1 && text[0].isPrint()) {
      const QChar c = text[0];
      const QString decimal = QLocale().decimalPoint();
      if (!c.isDigit() && c != QLatin1Char('+') && c != QLatin1Char('-') && !decimal.contains(c)) {
        prompter_->Beep();
        return true;
      }
    }
  }
  return CenteredDialog::eventFilter(watched, event);
}

void TFolderForm::Button1Click() { BrowseForFolder(this, Edit1); }

void TFolderForm::Button2Click() { ListBox1->clear(); }

void TFolderForm::Button3Click() {
  QListWidgetItem* item = ListBox1->currentItem();
  if (item == nullptr || !item->isSelected()) return;
  Edit2->setText(item->text());
  delete ListBox1->takeItem(ListBox1->row(item));
}

void TFolderForm::Button4Click() {
  const QString mask = Edit2->text();
  if (mask.isEmpty()) return;
  if (mask.contains(kSeparator)) {
    // Stored masks are separated by "; ", so such a mask would come back as two.
    prompter_->ShowMessage(this, QStringLiteral("A mask can't contain \"; \"!"),
                           QStringLiteral("Error!"));
    return;
  }
  const std::string text = ToUtf8(mask);
  for (int i = 0; i < ListBox1->count(); ++i) {
    if (platform::SameText(ToUtf8(ListBox1->item(i)->text()), text)) return;
  }
  ListBox1->addItem(mask);
  Edit2->clear();
}

void TFolderForm::Button5Click() {
  if (!IsFullFolderPath(Edit1->text()) || ListBox1->count() == 0) {
    prompter_->ShowMessage(
        this, QStringLiteral("You must specify full folder path and at least one file mask!"),
        QStringLiteral("Error!"));
    return;
  }
  // The catalogue would cut what passes the field's capacity.
  const std::size_t joinedBytes = catalogue::JoinMasks(ToUtf8List(Masks())).size();
  if (joinedBytes > catalogue::kMasksCapacity) {
    prompter_->ShowMessage(this,
                           QStringLiteral("The masks take %1 characters, but only %2 can be "
                                          "stored! Remove some masks.")
                               .arg(joinedBytes)
                               .arg(catalogue::kMasksCapacity),
                           QStringLiteral("Error!"));
    return;
  }
  accept();
}

}  // namespace dialogs
