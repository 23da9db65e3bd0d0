// Program entry: the application object, the main window and the message loop.
//
// Without a display (neither DISPLAY nor WAYLAND_DISPLAY set, and no Qt platform chosen)
// the program runs its command-line switches without showing any window, as a scheduler
// needs: message boxes go to standard error with their default answers, and the exit
// status tells the outcome (app/exit_status.h: 0 all stored, 1 something was not, 2 no
// catalogue or a damaged one).

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string_view>

#include "app/command_line_help.h"
#include "app/main_form.h"
#include "app/qt_text.h"
#include "catalogue/catalogue.h"
#include "dialogs/prompter.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"

namespace {

bool HasDisplay(int argc, char** argv) {
  if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM")) {
    return true;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "-platform") return true;
  }
  return false;
}

// Unattended: only the toolkit's critical and fatal messages are passed on.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  }
}

// The general error display for errors that escape an event handler outside the main
// window's own guard: shown, and the message loop goes on.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  void SetPrompter(dialogs::Prompter* prompter) { prompter_ = prompter; }

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      if (prompter_) prompter_->ShowFatal(nullptr, app::ToQString(e.what()));
    }
    return false;
  }

 private:
  dialogs::Prompter* prompter_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  // Answered before anything is opened: no toolkit, no catalogue, no settings file.
  switch (app::InfoRequestOf(argc, argv)) {
    case app::InfoRequest::Help:
      std::fputs(app::HelpText().c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case app::InfoRequest::Version:
      std::fputs(app::VersionLine().c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case app::InfoRequest::None:
      break;
  }
  // Without TZ the C library looks at /etc/localtime again on every conversion of a local
  // time, once per file stored or restored; naming that same file keeps the zone it read.
  setenv("TZ", ":/etc/localtime", 0);
  const bool unattended = !HasDisplay(argc, argv);
  if (unattended) {
    qputenv("QT_QPA_PLATFORM", "minimal");
    // A scheduler mails whatever reaches standard error: keep it to the program's own
    // messages, without the toolkit's notes about the missing desktop session.
    qInstallMessageHandler(QuietQtMessages);
  }
  TApplication application(argc, argv);
  const QStringList arguments = application.arguments().mid(1);

  if (unattended && arguments.isEmpty()) {
    std::fprintf(stderr,
                 "varnholt: the window needs a display (DISPLAY or WAYLAND_DISPLAY).\n"
                 "Unattended use: varnholt \"/P:<project>\" /EXIT   or   varnholt /ALL /EXIT\n");
    return 2;
  }

  std::unique_ptr<dialogs::Prompter> prompter;
  if (unattended) {
    prompter = std::make_unique<dialogs::StderrPrompter>();
  } else {
    prompter = std::make_unique<dialogs::QtPrompter>();
  }
  application.SetPrompter(prompter.get());

  catalogue::TCatalogue catalogue;
  app::TMainForm form(catalogue, *prompter,
                      app::ToQString(platform::SettingsFilePath(app::kSettingsFileName)),
                      app::ToQString(platform::CurrentDirectory()), arguments);
  // An end requested during start-up ("/EXIT", a catalogue that did not open) ends the
  // program here: the quit it queued may already have been taken by a run's message pumping
  // before any loop ran, and a loop started now would never end.
  if (!unattended && !form.EndRequested()) {
    form.show();
    application.exec();
  }
  form.FormDestroy();
  return form.ExitStatus();
}
