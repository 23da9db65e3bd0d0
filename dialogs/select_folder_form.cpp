#include "dialogs/select_folder_form.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs/qt_text.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/mounts.h"

namespace dialogs {

namespace {

constexpr int kPathRole = Qt::UserRole;


bool IsInside(const std::string& path, const std::string& root) {
  if (root == "/") return !path.empty() && path[0] == '/';
  return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                          path[root.size()] == '/');
}

// The names of the directory components of path below root, in order.
std::vector<std::string> ComponentsBelow(const std::string& path, const std::string& root) {
  std::vector<std::string> parts;
  std::size_t pos = root == "/" ? 1 : root.size() + 1;
  while (pos < path.size()) {
    std::size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    if (end > pos) parts.push_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

}  // namespace

TSelectFolderForm::TSelectFolderForm(QWidget* parent)
    : TSelectFolderForm(parent, platform::BrowsableRoots()) {}

TSelectFolderForm::TSelectFolderForm(QWidget* parent, std::vector<std::string> drives)
    : CenteredDialog(parent), drives_(std::move(drives)) {
  if (std::find(drives_.begin(), drives_.end(), "/") == drives_.end()) {
    drives_.insert(drives_.begin(), "/");
  }

  DriveComboBox1 = new QComboBox(this);
  DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
  for (const std::string& drive : drives_) DriveComboBox1->addItem(ToQString(drive));

  DirectoryListBox1 = new QTreeWidget(this);
  DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
  DirectoryListBox1->setHeaderHidden(true);
  DirectoryListBox1->setColumnCount(1);
  DirectoryListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  DirectoryListBox1->setMinimumSize(280, 260);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(DriveComboBox1);
  layout->addWidget(DirectoryListBox1);
  layout->addLayout(buttons);

  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  connect(DriveComboBox1, &QComboBox::activated, this, &TSelectFolderForm::DriveComboBox1Change);
  connect(DirectoryListBox1, &QTreeWidget::itemExpanded, this, &TSelectFolderForm::FillChildren);

  ShowDirectory(platform::CurrentDirectory());
  FixSize(this);
}

void TSelectFolderForm::SetStartDirectory(const QString& dir) {
  std::string path = platform::AbsolutePath(ToUtf8(dir));
  if (!platform::DirectoryExists(path)) path = platform::CurrentDirectory();
  ShowDirectory(path);
}

QString TSelectFolderForm::Directory() const {
  QTreeWidgetItem* item = DirectoryListBox1->currentItem();
  if (item == nullptr) item = DirectoryListBox1->topLevelItem(0);
  return item != nullptr ? item->data(0, kPathRole).toString() : QStringLiteral("/");
}

void TSelectFolderForm::ShowDirectory(const std::string& dir) {
  // The drive that holds dir is the longest root it lies inside; "/" holds everything.
  int best = 0;
  for (std::size_t i = 0; i < drives_.size(); ++i) {
    if (IsInside(dir, drives_[i]) && drives_[i].size() > drives_[best].size()) {
      best = static_cast<int>(i);
    }
  }
  ShowDrive(best, dir);
}

void TSelectFolderForm::DriveComboBox1Change(int index) {
  if (index < 0 || index >= static_cast<int>(drives_.size())) return;
  ShowDrive(index, drives_[index]);
}

void TSelectFolderForm::ShowDrive(int index, const std::string& target) {
  const std::string& root = drives_[index];
  DriveComboBox1->setCurrentIndex(index);
  DirectoryListBox1->clear();
  QTreeWidgetItem* item = AddDirectoryItem(nullptr, root, ToQString(root));
  // Open the chain of directories from the root down to the target.
  std::string path = root;
  for (const std::string& name : ComponentsBelow(target, root)) {
    FillChildren(item);
    path = platform::JoinPath(path, name);
    QTreeWidgetItem* next = nullptr;
    for (int i = 0; i < item->childCount(); ++i) {
      if (ToUtf8(item->child(i)->data(0, kPathRole).toString()) == path) {
        next = item->child(i);
        break;
      }
    }
    // A hidden directory on the way is shown although hidden ones are otherwise left out.
    if (next == nullptr) next = AddDirectoryItem(item, path, ToQString(name));
    item->setExpanded(true);
    item = next;
  }
  FillChildren(item);
  item->setExpanded(true);
  DirectoryListBox1->setCurrentItem(item);
  DirectoryListBox1->scrollToItem(item);
}

QTreeWidgetItem* TSelectFolderForm::AddDirectoryItem(QTreeWidgetItem* parent,
                                                     const std::string& path, const QString& name) {
  auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem();
  item->setText(0, name);
  item->setData(0, kPathRole, ToQString(path));
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  if (parent == nullptr) DirectoryListBox1->addTopLevelItem(item);
  return item;
}

void TSelectFolderForm::FillChildren(QTreeWidgetItem* item) {
  if (item->childIndicatorPolicy() != QTreeWidgetItem::ShowIndicator) return;  // filled
  item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  const std::string path = ToUtf8(item->data(0, kPathRole).toString());
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(path, entries)) return;  // unreadable: shown without children
  std::vector<QString> names;
  for (const platform::DirEntry& entry : entries) {
    if (entry.info.isDirectory && !entry.name.empty() && entry.name[0] != '.') {
      names.push_back(ToQString(entry.name));
    }
  }
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int byCase = a.compare(b, Qt::CaseInsensitive);
    return byCase != 0 ? byCase < 0 : a < b;
  });
  for (const QString& name : names) {
    AddDirectoryItem(item, platform::JoinPath(path, ToUtf8(name)), name);
  }
}

bool BrowseForFolder(QWidget* parent, QLineEdit* field) {
  TSelectFolderForm picker(parent);
  picker.setWindowTitle(QStringLiteral("Select folder"));
  if (field->text().size() > 2) picker.SetStartDirectory(field->text());
  if (picker.exec() != QDialog::Accepted) return false;
  field->setText(picker.Directory());
  return true;
}

}  // namespace dialogs
