// SPDX-License-Identifier: Apache-2.0
#include "controls/progress_geometry.h"

#include "controls/progress_messages.h"

#include <algorithm>
#include <limits>

namespace tarn::controls {
namespace {

// Truncates towards zero like a plain cast, but a value beyond int's range
// (a huge marquee length, a position far outside the range) saturates instead
// of being undefined.
int Truncate(double value) {
  constexpr double kLow = std::numeric_limits<int>::min();
  constexpr double kHigh = std::numeric_limits<int>::max();
  return static_cast<int>(std::clamp(value, kLow, kHigh));
}

// Ends are computed in 64 bits: a position far outside the range gives a fill
// far outside the interior, and only the clamped end is drawn.
int ClampTo(long long value, int low, int high) { return static_cast<int>(std::clamp<long long>(value, low, high)); }

// Horizontal: the bar grows rightwards from the left edge.
BarParts SplitHorizontal(const EdgeRect& in, long long fill, long long block, bool marquee) {
  BarParts parts;
  const long long lead = in.left + fill;
  int trail = in.left;
  if (marquee && lead - block > in.left) {
    trail = ClampTo(lead - block, in.left, in.right);
    parts.hasBefore = true;
    parts.before = {in.left, in.top, trail, in.bottom};
  }
  const int end = ClampTo(lead, in.left, in.right);
  parts.bar = {trail, in.top, end, in.bottom};
  if (!marquee || lead < in.right) {
    parts.hasAfter = true;
    parts.after = {end, in.top, in.right, in.bottom};
  }
  return parts;
}

// Vertical: the bar grows upwards from the bottom edge.
BarParts SplitVertical(const EdgeRect& in, long long fill, long long block, bool marquee) {
  BarParts parts;
  const long long lead = in.bottom - fill;
  int trail = in.bottom;
  if (marquee && lead + block < in.bottom) {
    trail = ClampTo(lead + block, in.top, in.bottom);
    parts.hasBefore = true;
    parts.before = {in.left, trail, in.right, in.bottom};
  }
  const int end = ClampTo(lead, in.top, in.bottom);
  parts.bar = {in.left, end, in.right, trail};
  if (!marquee || lead > in.top) {
    parts.hasAfter = true;
    parts.after = {in.left, in.top, in.right, end};
  }
  return parts;
}

}  // namespace

BarParts SplitInterior(const EdgeRect& interior, double fraction, const BarLayout& layout) {
  const int length = layout.vertical ? interior.bottom - interior.top : interior.right - interior.left;
  const long long fill = Truncate(length * fraction);
  const long long block = (static_cast<long long>(length) * layout.marqueeLength + 50) / 100;
  return layout.vertical ? SplitVertical(interior, fill, block, layout.marquee)
                         : SplitHorizontal(interior, fill, block, layout.marquee);
}

QPoint PlaceLabel(const EdgeRect& in, QSize extent, bool vertical, int alignment) {
  const int cx = extent.width();
  const int cy = extent.height();
  if (vertical) {
    int y = in.top + cx + (in.bottom - cx - in.top) / 2;
    if (alignment == PROGRESS_ALIGN_LEFT) y = in.bottom - 3;
    else if (alignment == PROGRESS_ALIGN_RIGHT) y = in.top + cx + 2;
    return {in.left + (in.right - cy - in.left) / 2, y};
  }
  int x = in.left + (in.right - cx - in.left) / 2;
  if (alignment == PROGRESS_ALIGN_LEFT) x = in.left + 2;
  else if (alignment == PROGRESS_ALIGN_RIGHT) x = in.right - cx - 3;
  return {x, in.top + (in.bottom - cy - in.top) / 2};
}

int ClampLimit(int maximum, bool marquee, int marqueeLength) {
  if (!marquee) return maximum;
  return Truncate(((marqueeLength + 100.0) * maximum + 0.5) / 100.0);
}

int PercentOf(double fraction) { return Truncate(fraction * 100.0 + 0.5); }

}  // namespace tarn::controls
