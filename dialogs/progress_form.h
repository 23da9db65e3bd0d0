// The progress window a backup run shows while it works: project, folder and last file,
// a bar with one step per folder, and Cancel.
//
// The window is not modal. Cancel calls onCancel (the run's cancel flag, which the run
// tests between folders) and hides the window; the title bar's close box only hides it.
// The run that created the window destroys it at its end.
#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace dialogs {

class SunkenPanel;

class TProgressForm : public QWidget {
 public:
  TProgressForm(QWidget* parent, std::function<void()> onCancel);

  // What the run writes, in the order it does so.
  void SetProject(const QString& name);
  void SetFolderCount(int folders);  // the bar's maximum; its position goes back to 0
  void SetFolder(const QString& path);
  void SetFile(const QString& path);  // also repaints at once
  void StepFolder();                  // one step of the bar, repainted at once

  QLabel* Label1;
  SunkenPanel* Panel1;  // project
  QLabel* Label2;
  SunkenPanel* Panel2;  // folder
  QLabel* Label3;
  SunkenPanel* Panel3;  // file
  QProgressBar* ProgressBar1;
  QPushButton* Button1;  // Cancel

  void Button1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::function<void()> onCancel_;
};

}  // namespace dialogs
