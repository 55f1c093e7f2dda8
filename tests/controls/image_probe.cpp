// SPDX-License-Identifier: Apache-2.0
#include "tests/controls/image_probe.h"

#include <QWidget>

QImage RenderWidget(QWidget& widget) {
  QImage image(widget.size(), QImage::Format_ARGB32);
  image.fill(kCanvas);
  widget.render(&image);
  return image;
}

int CountPixels(const QImage& image, const QRect& area, const std::function<bool(QColor)>& test) {
  int count = 0;
  const QRect inside = area & image.rect();
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x) count += test(image.pixelColor(x, y)) ? 1 : 0;
  return count;
}

std::pair<int, int> ColumnSpan(const QImage& image, const QRect& area, const std::function<bool(QColor)>& test) {
  int first = -1;
  int last = -1;
  const QRect inside = area & image.rect();
  for (int x = inside.left(); x <= inside.right(); ++x) {
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
      if (test(image.pixelColor(x, y))) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return {first, last};
}
