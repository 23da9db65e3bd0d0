// Protects the progress, log, switches and about windows: Cancel reaches the run and hides
// the window while the close box only hides it (a run must not stop because a window was
// closed), the log window's selection and Clear log, the switches' exact texts and the
// about window's link.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <stdexcept>

#include "dialogs/about_form.h"
#include "dialogs/log_form.h"
#include "dialogs/progress_form.h"
#include "dialogs/switch_form.h"
#include "tests/dialogs/scripted_prompter.h"

namespace {

using testing_support::ScriptedPrompter;

TEST(ProgressForm, ShowsItsDesignCaptionsUntilTheRunWrites) {
  dialogs::TProgressForm form(nullptr, [] {});
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Progress"));
  EXPECT_EQ(form.Panel1->Text(), QStringLiteral("Project"));
  EXPECT_EQ(form.Panel2->Text(), QStringLiteral("Folder"));
  EXPECT_EQ(form.Panel3->Text(), QStringLiteral("File"));
  EXPECT_EQ(form.Button1->text(), QStringLiteral("Cancel"));
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form.isModal());
}

TEST(ProgressForm, StepsOncePerFolderUpToTheFolderCount) {
  dialogs::TProgressForm form(nullptr, [] {});
  form.SetProject(QStringLiteral("Docs"));
  form.SetFolderCount(2);
  EXPECT_EQ(form.ProgressBar1->minimum(), 0);
  EXPECT_EQ(form.ProgressBar1->maximum(), 2);
  EXPECT_EQ(form.ProgressBar1->value(), 0);
  form.SetFolder(QStringLiteral("/home/anna/docs"));
  form.SetFile(QStringLiteral("/home/anna/docs/report.odt"));
  form.StepFolder();
  form.StepFolder();
  form.StepFolder();
  EXPECT_EQ(form.ProgressBar1->value(), 2);
  EXPECT_EQ(form.Panel1->Text(), QStringLiteral("Docs"));
  EXPECT_EQ(form.Panel3->Text(), QStringLiteral("/home/anna/docs/report.odt"));
}

TEST(ProgressForm, CancelAsksTheRunToStopAndHidesTheWindow) {
  int cancels = 0;
  dialogs::TProgressForm form(nullptr, [&] { ++cancels; });
  form.show();
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_EQ(cancels, 1);
  EXPECT_FALSE(form.isVisible());
}

TEST(ProgressForm, TheCloseBoxOnlyHidesTheWindow) {
  int cancels = 0;
  dialogs::TProgressForm form(nullptr, [&] { ++cancels; });
  form.show();
  EXPECT_TRUE(form.close());
  EXPECT_EQ(cancels, 0);
  EXPECT_FALSE(form.isVisible());
  form.SetFile(QStringLiteral("still/usable"));  // the run goes on writing into it
  EXPECT_EQ(form.Panel3->Text(), QStringLiteral("still/usable"));
}

TEST(LogForm, EmptyLogShowsNoLineSelected) {
  ScriptedPrompter prompter;
  dialogs::TLogForm form(nullptr, &prompter, {}, [] {});
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Events"));
  EXPECT_EQ(form.ListBox1->count(), 0);
  EXPECT_TRUE(form.ListBox1->selectedItems().isEmpty());
  EXPECT_EQ(form.size(), QSize(450, 249));
  EXPECT_EQ(form.Button1->text(), QStringLiteral("Clear log"));
  EXPECT_EQ(form.Button2->text(), QStringLiteral("Exit"));
}

TEST(LogForm, ManyLinesSelectTheLastOne) {
  ScriptedPrompter prompter;
  QStringList lines;
  for (int i = 0; i < 500; ++i) lines.append(QStringLiteral("01/02/2026   entry %1").arg(i));
  dialogs::TLogForm form(nullptr, &prompter, lines, [] {});
  form.show();
  ASSERT_EQ(form.ListBox1->count(), 500);
  ASSERT_EQ(form.ListBox1->selectedItems().size(), 1);
  EXPECT_EQ(form.ListBox1->selectedItems()[0]->text(), QStringLiteral("01/02/2026   entry 499"));
  QListWidgetItem* last = form.ListBox1->item(499);
  EXPECT_TRUE(form.ListBox1->viewport()->rect().intersects(form.ListBox1->visualItemRect(last)));
}

TEST(LogForm, ClearLogEmptiesTheLogAndTheListWithoutAsking) {
  ScriptedPrompter prompter;
  int clears = 0;
  dialogs::TLogForm form(nullptr, &prompter, {QStringLiteral("a"), QStringLiteral("b")},
                         [&] { ++clears; });
  form.show();
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_EQ(clears, 1);
  EXPECT_EQ(form.ListBox1->count(), 0);
  EXPECT_TRUE(prompter.boxes.empty());
  EXPECT_TRUE(form.isVisible());
  QTest::mouseClick(form.Button2, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
}

TEST(LogForm, AFailedClearIsShownAndKeepsTheLines) {
  ScriptedPrompter prompter;
  dialogs::TLogForm form(nullptr, &prompter, {QStringLiteral("a")},
                         [] { throw std::runtime_error("Log.vrn: No space left on device"); });
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].kind, "fatal");
  EXPECT_EQ(prompter.boxes[0].text, "Log.vrn: No space left on device");
  EXPECT_EQ(form.ListBox1->count(), 1);
}

TEST(SwitchForm, ShowsTheSwitchesAndClosesOnOk) {
  dialogs::TSwitchForm form(nullptr);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Command line switches"));
  EXPECT_EQ(form.Label1->text(), QStringLiteral("/L:<project name> - load project at startup"));
  EXPECT_EQ(form.Label2->text(), QStringLiteral("/P:<project name> - process project at startup"));
  EXPECT_EQ(form.Label3->text(), QStringLiteral("/All - process all projects at startup"));
  EXPECT_EQ(form.Label4->text(), QStringLiteral("/Exit - exit beyond processing previous option"));
  // The restore and verify switches follow, one label each, in the order --help gives them.
  const QLabel* const added[] = {form.Label5, form.Label6, form.Label7,
                                 form.Label8, form.Label9, form.Label10};
  const char* const prefixes[] = {"/R:", "/F:", "/T:", "/O:", "/V:", "/W:"};
  for (int k = 0; k < 6; ++k) {
    EXPECT_TRUE(added[k]->text().startsWith(QLatin1String(prefixes[k]))) << k;
    EXPECT_EQ(added[k]->font(), form.Label1->font()) << k;
  }
  EXPECT_TRUE(form.Label1->font().bold());
  EXPECT_TRUE(QFontInfo(form.Label1->font()).fixedPitch());
  form.show();
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
}

// Stands in for the desktop's browser.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void Open(const QUrl& url) { opened.append(url); }
};

TEST(AboutForm, ShowsNameVersionAndOpensTheLinkOnAClick) {
  dialogs::TAboutForm form(nullptr);
  form.setWindowTitle(QStringLiteral("About Varnholt v0.1b"));
  EXPECT_EQ(form.Label1->text(), QStringLiteral("Varnholt"));
  EXPECT_EQ(form.Label2->text(), QStringLiteral("version 0.1 beta"));
  EXPECT_EQ(form.Label4->text(), QStringLiteral("Lastest version of this program you can get on "));
  EXPECT_TRUE(form.Label5->font().underline());
  EXPECT_EQ(form.Label5->cursor().shape(), Qt::PointingHandCursor);
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
  form.show();
  QTest::mouseClick(form.Label5, Qt::LeftButton);
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  ASSERT_EQ(catcher.opened.size(), 1);
  EXPECT_EQ(catcher.opened[0], QUrl(form.Label5->text()));
  EXPECT_TRUE(form.isVisible());
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
}

}  // namespace

#include "info_windows_test.moc"
