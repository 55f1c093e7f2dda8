// SPDX-License-Identifier: Apache-2.0
// The tip laid over a list entry that is too wide for its box: a borderless
// top-level label placed at exact screen coordinates, transparent to the mouse
// so the entry below still gets its clicks.
#pragma once

#include <QColor>
#include <QLabel>
#include <QPoint>

class CTipWindow : public QLabel {
  Q_OBJECT

 public:
  // owner: the control the tip belongs to; the tip is destroyed with it.
  CTipWindow(QWidget* owner, bool bordered);

  void SetColors(const QColor& text, const QColor& background);
  // Shows text with its top-left corner at the screen point topLeft.
  void TrackActivate(const QString& text, const QPoint& topLeft);
  // Shows text at topLeft when it needs more than `room` pixels in the
  // owner's font, and hides the tip when it fits. True when shown.
  bool ShowIfClipped(const QString& text, int room, const QPoint& topLeft);
  void Deactivate();

  QColor TextColor() const;
  QColor BackgroundColor() const;
};
