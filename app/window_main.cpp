// The window's entry, in the module the program loads when there is a display: the
// application object, the main window and the message loop.

#include <QApplication>
#include <QStringList>
#include <exception>
#include <memory>

#include "app/main_form.h"
#include "app/qt_text.h"
#include "catalogue/catalogue.h"
#include "console/settings.h"
#include "dialogs/prompter.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"

namespace {

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

extern "C" __attribute__((visibility("default"))) int VarnholtWindowMain(int argc, char** argv) {
  TApplication application(argc, argv);
  const QStringList arguments = application.arguments().mid(1);
  dialogs::QtPrompter prompter;
  application.SetPrompter(&prompter);

  catalogue::TCatalogue catalogue;
  app::TMainForm form(catalogue, prompter,
                      app::ToQString(platform::SettingsFilePath(console::kSettingsFileName)),
                      app::ToQString(platform::CurrentDirectory()), arguments);
  // An end requested during start-up ("/EXIT", a catalogue that did not open) ends the
  // program here: the quit it queued may already have been taken by a run's message pumping
  // before any loop ran, and a loop started now would never end.
  if (!form.EndRequested()) {
    form.show();
    application.exec();
  }
  form.FormDestroy();
  return form.ExitStatus();
}
