// Protects the look of every window at its design size: no control is cut off (each label,
// button and check box gets at least the room its text needs), none overlaps a neighbour,
// and none sticks out of its parent. Fonts and styles differ between desktops, so this is
// checked on the real layout rather than on fixed coordinates.
//
// With VARNHOLT_SCREENSHOT_DIR set (scripts/screenshots.sh, run under Xvfb) each window is
// also saved there as a PNG to be looked at.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "dialogs/about_form.h"
#include "dialogs/folder_form.h"
#include "dialogs/log_form.h"
#include "dialogs/open_form.h"
#include "dialogs/progress_form.h"
#include "dialogs/project_form.h"
#include "dialogs/restore_form.h"
#include "dialogs/select_folder_form.h"
#include "dialogs/switch_form.h"
#include "catalogue/catalogue.h"
#include "restore/restore_run.h"
#include "tests/dialogs/scripted_prompter.h"

namespace {

using testing_support::ScriptedPrompter;

std::string Describe(const QWidget* w) {
  const QString name = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                 : w->objectName();
  QString text;
  if (auto* label = qobject_cast<const QLabel*>(w)) text = label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(w)) text = button->text();
  return (name + QStringLiteral(" \"") + text + QStringLiteral("\"")).toStdString();
}

// Composite controls draw their own insides; only the controls themselves are checked.
bool IsInsideCompositeControl(const QWidget* w, const QWidget* window) {
  for (const QWidget* p = w->parentWidget(); p != nullptr && p != window; p = p->parentWidget()) {
    if (qobject_cast<const QAbstractItemView*>(p) || qobject_cast<const QComboBox*>(p) ||
        qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QLineEdit*>(p)) {
      return true;
    }
  }
  return false;
}

void CheckLayout(QWidget* window) {
  window->show();
  QApplication::processEvents();
  const QList<QWidget*> all = window->findChildren<QWidget*>();
  int checked = 0;
  for (QWidget* w : all) {
    if (!w->isVisible() || w->isWindow() || IsInsideCompositeControl(w, window)) continue;
    ++checked;
    QWidget* parent = w->parentWidget();
    EXPECT_TRUE(parent->rect().contains(w->geometry()))
        << Describe(w) << " sticks out of " << Describe(parent);
    const bool showsText = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w);
    if (showsText) {
      EXPECT_GE(w->width(), w->sizeHint().width()) << Describe(w) << " is cut off";
      EXPECT_GE(w->height(), w->minimumSizeHint().height()) << Describe(w) << " is cut off";
    }
    for (QWidget* other : all) {
      if (other == w || other->parentWidget() != parent || !other->isVisible() ||
          other->isWindow() || IsInsideCompositeControl(other, window)) {
        continue;
      }
      EXPECT_FALSE(w->geometry().intersects(other->geometry()))
          << Describe(w) << " overlaps " << Describe(other);
    }
  }
  EXPECT_GT(checked, 2);
  const QString dir = qEnvironmentVariable("VARNHOLT_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    QDir().mkpath(dir);
    const QString name =
        QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
    EXPECT_TRUE(window->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png")));
  }
  window->hide();
}

TEST(Layout, ProjectForm) {
  ScriptedPrompter prompter;
  dialogs::TProjectForm form(nullptr, &prompter);
  form.setWindowTitle(QStringLiteral("Edit project - Docs"));
  form.Edit1->setText(QStringLiteral("Docs"));
  form.Edit2->setText(QStringLiteral("/media/anna/USB STICK/backup/docs"));
  CheckLayout(&form);
}

TEST(Layout, OpenForm) {
  ScriptedPrompter prompter;
  dialogs::TOpenForm form(nullptr, &prompter);
  form.setWindowTitle(QStringLiteral("Select Project"));
  form.AddRow(QStringLiteral("Docs"), QStringLiteral("/media/anna/USB STICK/backup/docs"),
              QStringLiteral("TRUE"), QStringLiteral("08/12/2026 06:30:00"));
  form.AddRow(QStringLiteral("Photos"), QStringLiteral("/srv/backup/photos"),
              QStringLiteral("FALSE"), QStringLiteral("01/11/2026"));
  form.ListView1->setCurrentItem(form.ListView1->topLevelItem(0));
  CheckLayout(&form);
}

TEST(Layout, SelectFolderForm) {
  dialogs::TSelectFolderForm form(nullptr);
  form.setWindowTitle(QStringLiteral("Select folder"));
  form.SetStartDirectory(QStringLiteral(VARNHOLT_SOURCE_DIR));
  CheckLayout(&form);
}

TEST(Layout, FolderForm) {
  ScriptedPrompter prompter;
  dialogs::TFolderForm form(nullptr, &prompter);
  form.setWindowTitle(QStringLiteral("Edit folder - /home/anna/Documents"));
  form.Edit1->setText(QStringLiteral("/home/anna/Documents"));
  form.SetMasks({QStringLiteral("*.odt"), QStringLiteral("*.ods"), QStringLiteral("*.pdf")});
  form.Edit2->setText(QStringLiteral("*.txt"));
  CheckLayout(&form);
}

TEST(Layout, ProgressForm) {
  dialogs::TProgressForm form(nullptr, [] {});
  form.SetProject(QStringLiteral("Docs"));
  form.SetFolderCount(3);
  form.SetFolder(QStringLiteral("/home/anna/Documents"));
  form.SetFile(
      QStringLiteral("/home/anna/Documents/letters/2026/a rather long file name that "
                     "does not fit into the field.odt"));
  form.StepFolder();
  CheckLayout(&form);
}

TEST(Layout, LogForm) {
  ScriptedPrompter prompter;
  QStringList lines;
  for (int i = 0; i < 30; ++i) {
    lines.append(QStringLiteral("08/12/2026 06:%1:00   File /home/anna/Documents/report%2.odt "
                                "stored")
                     .arg(10 + i)
                     .arg(i));
  }
  dialogs::TLogForm form(nullptr, &prompter, lines, [] {});
  CheckLayout(&form);
  EXPECT_EQ(form.size(), QSize(450, 249));
}

TEST(Layout, SwitchForm) {
  dialogs::TSwitchForm form(nullptr);
  CheckLayout(&form);
}

TEST(Layout, RestoreForm) {
  class NoUnpacker : public restore::ArchiveUnpacker {
   public:
    int Unpack(const std::string&, const std::string&) override { return 0; }
  } unpacker;
  ScriptedPrompter prompter;
  catalogue::TCatalogue catalogue;  // read only when a run starts
  dialogs::TRestoreForm form(nullptr, catalogue, unpacker, &prompter, QStringLiteral("Docs"),
                             [] {});
  form.setWindowTitle(QStringLiteral("Restore - Docs"));
  form.OfferSelectedFolder(QStringLiteral("/home/anna/Documents/letters/2026"));
  CheckLayout(&form);
}

TEST(Layout, AboutForm) {
  dialogs::TAboutForm form(nullptr);
  form.setWindowTitle(QStringLiteral("About Varnholt v0.1b"));
  CheckLayout(&form);
}

}  // namespace
