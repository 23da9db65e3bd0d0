#include "dialogs/form_util.h"

#include <QFontDatabase>
#include <QLayout>
#include <QPainter>
#include <QScreen>

namespace dialogs {

CenteredDialog::CenteredDialog(QWidget* parent) : QDialog(parent) {}

void CenteredDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CenterOnScreen(this);
}

void FixSize(QWidget* window) {
  if (window->layout() != nullptr) window->layout()->activate();
  window->setFixedSize(window->sizeHint().expandedTo(window->minimumSize()));
}

void CenterOnScreen(QWidget* window) {
  QScreen* screen = window->screen();
  if (screen == nullptr) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

QFont CourierBoldFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::Monospace);
  if (!QFontInfo(font).fixedPitch()) {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  }
  font.setBold(true);
  return font;
}

SunkenPanel::SunkenPanel(const QString& text, QWidget* parent) : QFrame(parent), text_(text) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SunkenPanel::SetText(const QString& text) {
  text_ = text;
  update();
}

QSize SunkenPanel::sizeHint() const {
  const int margin = 2 * frameWidth() + 8;
  return {fontMetrics().averageCharWidth() * 40 + margin, fontMetrics().height() + margin};
}

QSize SunkenPanel::minimumSizeHint() const {
  const int margin = 2 * frameWidth() + 8;
  return {fontMetrics().averageCharWidth() * 10 + margin, fontMetrics().height() + margin};
}

void SunkenPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  const QRect area = contentsRect().adjusted(4, 0, -4, 0);
  const QString shown = fontMetrics().elidedText(text_, Qt::ElideMiddle, area.width());
  painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, shown);
}

}  // namespace dialogs
