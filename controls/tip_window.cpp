// SPDX-License-Identifier: Apache-2.0
#include "controls/tip_window.h"

#include <QPalette>

CTipWindow::CTipWindow(QWidget* owner, bool bordered)
    : QLabel(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAutoFillBackground(true);
  setTextFormat(Qt::PlainText);
  // The text sits where the entry's text sits: no margins, one pixel less
  // at the top and bottom than a standard tip.
  setMargin(0);
  setContentsMargins(0, 0, 0, 0);
  if (bordered) setFrameStyle(QFrame::Box | QFrame::Plain);
  else setFrameStyle(QFrame::NoFrame);
  setFont(owner->font());
}

void CTipWindow::SetColors(const QColor& text, const QColor& background) {
  QPalette colors = palette();
  colors.setColor(QPalette::WindowText, text);
  colors.setColor(QPalette::Window, background);
  setPalette(colors);
}

void CTipWindow::TrackActivate(const QString& text, const QPoint& topLeft) {
  // The owner's font may have changed since the tip was made.
  setFont(parentWidget()->font());
  setText(text);
  adjustSize();
  move(topLeft);
  show();
}

bool CTipWindow::ShowIfClipped(const QString& text, int room, const QPoint& topLeft) {
  if (parentWidget()->fontMetrics().horizontalAdvance(text) <= room) {
    Deactivate();
    return false;
  }
  TrackActivate(text, topLeft);
  return true;
}

void CTipWindow::Deactivate() { hide(); }

QColor CTipWindow::TextColor() const { return palette().color(QPalette::WindowText); }

QColor CTipWindow::BackgroundColor() const { return palette().color(QPalette::Window); }
