// The about window: name, version, and a link to the page with the latest version.
// The caller sets the caption.
#pragma once

#include "dialogs/form_util.h"

class QLabel;
class QPushButton;

namespace dialogs {

// The page that offers the latest version.
inline constexpr const char* kHomePage = "https://varnholt.example.org/";

class TAboutForm : public CenteredDialog {
 public:
  explicit TAboutForm(QWidget* parent);

  QFrame* Panel1;
  QLabel* Label1;  // "Varnholt"
  QLabel* Label2;  // version
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;        // the link
  QPushButton* Button1;  // OK

  // Opens the link's address in the desktop's browser; a failure is not reported.
  void Label5Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace dialogs
