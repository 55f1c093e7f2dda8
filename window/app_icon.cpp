// SPDX-License-Identifier: Apache-2.0
#include "window/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace tarn::window {

namespace {
QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal unit = size / 64.0;
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 0, 128));
  painter.drawRoundedRect(QRectF(4 * unit, 4 * unit, 56 * unit, 56 * unit), 8 * unit, 8 * unit);
  // Eight bars: eight phones at once, the last ones finished.
  for (int i = 0; i < 8; ++i) {
    const qreal height = (12 + 4 * i) * unit;
    painter.setBrush(i >= 6 ? QColor(33, 255, 33) : QColor(255, 255, 255));
    painter.drawRect(QRectF((9 + 6 * i) * unit, (54 * unit) - height, 4 * unit, height));
  }
  return pixmap;
}
}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(DrawIcon(size));
  return icon;
}

}  // namespace tarn::window
