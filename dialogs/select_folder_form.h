// The folder picker: a drive list above a directory tree, for the "Browse" buttons of the
// project and folder dialogs.
//
// The drives are the file systems the user can browse (root, home, mounted media and
// shares); the tree shows directories only, and choosing a drive moves the tree there.
// Browsing never changes the process's current directory, which the backup and restore
// walks resolve relative paths against.
#pragma once

#include <string>
#include <vector>

#include "dialogs/form_util.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace dialogs {

class TSelectFolderForm : public CenteredDialog {
 public:
  // drives: the roots offered in the drive list; "/" is always added when missing.
  explicit TSelectFolderForm(QWidget* parent);
  TSelectFolderForm(QWidget* parent, std::vector<std::string> drives);

  // Shows dir in the tree, on the drive that holds it. A directory that does not exist
  // starts the picker in the current directory instead.
  void SetStartDirectory(const QString& dir);
  // The tree's current directory, a full path.
  QString Directory() const;

  QComboBox* DriveComboBox1;
  QTreeWidget* DirectoryListBox1;
  QPushButton* Button1;  // OK
  QPushButton* Button2;  // Cancel

 private:
  void ShowDirectory(const std::string& dir);
  void ShowDrive(int index, const std::string& target);
  void DriveComboBox1Change(int index);
  void FillChildren(QTreeWidgetItem* item);
  QTreeWidgetItem* AddDirectoryItem(QTreeWidgetItem* parent, const std::string& path,
                                    const QString& name);

  std::vector<std::string> drives_;
};

// The folder picker as both Browse buttons use it: caption "Select folder", the field's
// text as starting directory when it holds more than two characters, and on OK the chosen
// directory into the field. Returns true when the user left the picker with OK.
bool BrowseForFolder(QWidget* parent, QLineEdit* field);

}  // namespace dialogs
