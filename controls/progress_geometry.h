// SPDX-License-Identifier: Apache-2.0
// The arithmetic of the text progress bar's picture: where the bar and the
// background parts lie and where the label goes. Kept apart from the widget so
// the numbers can be checked without painting.
#pragma once

#include <QRect>
#include <QSize>
#include <QPoint>

namespace tarn::controls {

// A rectangle with exclusive right and bottom edges, as the picture's
// arithmetic is written in edges rather than sizes.
struct EdgeRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  bool IsEmpty() const { return right <= left || bottom <= top; }
  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
};

struct BarParts {
  EdgeRect before;  // only in marquee mode, behind the travelling block
  EdgeRect bar;
  EdgeRect after;
  bool hasBefore = false;
  bool hasAfter = false;
};

struct BarLayout {
  bool vertical = false;
  bool marquee = false;
  int marqueeLength = 20;  // percent of the bar's length
};

// Splits the interior for a fill fraction. Every part stays inside the
// interior, also for a position outside the range.
BarParts SplitInterior(const EdgeRect& interior, double fraction, const BarLayout& layout);

// Top-left of the label's cell; for a vertical bar the text reads upwards and
// the point is the cell's top-left before turning, i.e. its lower-left on screen.
QPoint PlaceLabel(const EdgeRect& interior, QSize extent, bool vertical, int alignment);

// Largest position allowed: the maximum, or in marquee mode far enough past it
// that the travelling block runs fully off the end.
int ClampLimit(int maximum, bool marquee, int marqueeLength);

// The whole percentage shown in the label, rounded half up.
int PercentOf(double fraction);

}  // namespace tarn::controls
