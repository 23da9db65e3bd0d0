#include "dialogs/about_form.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace dialogs {

TAboutForm::TAboutForm(QWidget* parent) : CenteredDialog(parent) {
  Panel1 = new QFrame(this);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  Label1 = new QLabel(QStringLiteral("Varnholt"), Panel1);
  QFont titleFont = Label1->font();
  titleFont.setBold(true);
  titleFont.setPixelSize(32);
  Label1->setFont(titleFont);
  QPalette red = Label1->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  Label1->setPalette(red);

  Label2 = new QLabel(QStringLiteral("version 0.1 beta"), Panel1);
  Label3 = new QLabel(
      QStringLiteral("Keeps every file of your folders in a ZIP archive of its own."), Panel1);
  Label4 = new QLabel(QStringLiteral("Lastest version of this program you can get on "), Panel1);
  Label5 = new QLabel(QString::fromLatin1(kHomePage), Panel1);
  Label5->setObjectName(QStringLiteral("Label5"));
  QFont linkFont = Label5->font();
  linkFont.setUnderline(true);
  Label5->setFont(linkFont);
  QPalette blue = Label5->palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  Label5->setPalette(blue);
  Label5->setCursor(Qt::PointingHandCursor);
  Label5->installEventFilter(this);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);

  auto* linkRow = new QHBoxLayout;
  linkRow->setSpacing(0);
  linkRow->addWidget(Label4);
  linkRow->addWidget(Label5);
  linkRow->addStretch();
  auto* panel = new QVBoxLayout(Panel1);
  panel->setContentsMargins(12, 8, 12, 10);
  panel->addWidget(Label1, 0, Qt::AlignHCenter);
  panel->addWidget(Label2, 0, Qt::AlignHCenter);
  panel->addSpacing(8);
  panel->addWidget(Label3);
  panel->addLayout(linkRow);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch();
  buttonRow->addWidget(Button1);
  buttonRow->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Panel1);
  layout->addLayout(buttonRow);

  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  FixSize(this);
}

void TAboutForm::Label5Click() { QDesktopServices::openUrl(QUrl(Label5->text())); }

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label5 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Label5Click();
    return true;
  }
  return CenteredDialog::eventFilter(watched, event);
}

}  // namespace dialogs
