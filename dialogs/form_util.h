// Small pieces every window of this folder shares: fixed sizes, centring, the fonts.
#pragma once

#include <QDialog>
#include <QFont>
#include <QFrame>
#include <QString>

class QShowEvent;

namespace dialogs {

// A dialog that centres itself on its screen each time it is shown, as all of ours do.
class CenteredDialog : public QDialog {
 public:
  explicit CenteredDialog(QWidget* parent);

 protected:
  void showEvent(QShowEvent* event) override;
};

// Fixes a window at the size its layout asks for, so that it cannot be resized.
void FixSize(QWidget* window);
// Moves a top-level window to the centre of the screen it is on.
void CenterOnScreen(QWidget* window);
// Monospace and bold, Courier New where installed, else the desktop's monospace font.
QFont CourierBoldFont();

// A sunken, left-aligned text field that shows a long text shortened in the middle with
// "..." instead of widening its window (paths in the progress window can be very long).
class SunkenPanel : public QFrame {
 public:
  SunkenPanel(const QString& text, QWidget* parent);
  void SetText(const QString& text);
  const QString& Text() const { return text_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
};

}  // namespace dialogs
