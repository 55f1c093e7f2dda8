// SPDX-License-Identifier: Apache-2.0
#include "controls/progress_geometry.h"
#include "controls/progress_messages.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarn::controls;

namespace {

const EdgeRect kInterior{2, 2, 98, 18};  // 96 wide, 16 high
const EdgeRect kTall{2, 2, 18, 98};      // 16 wide, 96 high

void ExpectRect(const EdgeRect& r, int left, int top, int right, int bottom) {
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.right, right);
  EXPECT_EQ(r.bottom, bottom);
}

}  // namespace

TEST(ProgressGeometry, NormalHorizontalBarGrowsFromTheLeft) {
  BarParts half = SplitInterior(kInterior, 0.5, {});
  EXPECT_FALSE(half.hasBefore);
  ExpectRect(half.bar, 2, 2, 50, 18);
  ASSERT_TRUE(half.hasAfter);
  ExpectRect(half.after, 50, 2, 98, 18);

  EXPECT_TRUE(SplitInterior(kInterior, 0.0, {}).bar.IsEmpty());
  BarParts full = SplitInterior(kInterior, 1.0, {});
  ExpectRect(full.bar, 2, 2, 98, 18);
  EXPECT_TRUE(full.after.IsEmpty());
  // 96 × 1/3 = 32 exactly; 96 × 0.333 truncates to 31.
  EXPECT_EQ(SplitInterior(kInterior, 0.333, {}).bar.right, 2 + 31);
}

TEST(ProgressGeometry, NormalVerticalBarGrowsFromTheBottom) {
  BarParts quarter = SplitInterior(kTall, 0.25, {true, false, 20});
  ExpectRect(quarter.bar, 2, 74, 18, 98);
  ASSERT_TRUE(quarter.hasAfter);
  ExpectRect(quarter.after, 2, 2, 18, 74);
}

TEST(ProgressGeometry, MarqueeBlockTrailsTheLeadingEnd) {
  const BarLayout marquee{false, true, 20};
  // block = (96 × 20 + 50) / 100 = 19; leading end 2 + 48 = 50.
  BarParts middle = SplitInterior(kInterior, 0.5, marquee);
  ASSERT_TRUE(middle.hasBefore);
  ExpectRect(middle.before, 2, 2, 31, 18);
  ExpectRect(middle.bar, 31, 2, 50, 18);
  ASSERT_TRUE(middle.hasAfter);
  ExpectRect(middle.after, 50, 2, 98, 18);

  // Near the start the trailing end would lie before the interior.
  BarParts start = SplitInterior(kInterior, 0.1, marquee);
  EXPECT_FALSE(start.hasBefore);
  EXPECT_EQ(start.bar.left, 2);

  // Past the far end the bar stops at the edge and nothing follows it.
  BarParts end = SplitInterior(kInterior, 1.1, marquee);
  EXPECT_FALSE(end.hasAfter);
  EXPECT_EQ(end.bar.right, 98);
  EXPECT_EQ(end.before.right, 2 + 105 - 19);
}

TEST(ProgressGeometry, MarqueeVerticalRunsUpwards) {
  BarParts middle = SplitInterior(kTall, 0.5, {true, true, 20});
  ASSERT_TRUE(middle.hasBefore);
  ExpectRect(middle.before, 2, 69, 18, 98);
  ExpectRect(middle.bar, 2, 50, 18, 69);
  ExpectRect(middle.after, 2, 2, 18, 50);
}

TEST(ProgressGeometry, PositionOutsideTheRangeStaysInsideTheInterior) {
  for (double fraction : {-3.0, 7.5, 1e12, -1e12}) {
    for (bool vertical : {false, true}) {
      for (bool marquee : {false, true}) {
        const EdgeRect& in = vertical ? kTall : kInterior;
        BarParts parts = SplitInterior(in, fraction, {vertical, marquee, 20});
        for (const EdgeRect* r : {&parts.before, &parts.bar, &parts.after}) {
          if (r->IsEmpty()) continue;
          EXPECT_GE(r->left, in.left);
          EXPECT_LE(r->right, in.right);
          EXPECT_GE(r->top, in.top);
          EXPECT_LE(r->bottom, in.bottom);
        }
      }
    }
  }
}

TEST(ProgressGeometry, LabelPlacementFollowsTheAlignment) {
  const QSize extent(20, 10);
  EXPECT_EQ(PlaceLabel(kInterior, extent, false, PROGRESS_ALIGN_LEFT), QPoint(4, 5));
  EXPECT_EQ(PlaceLabel(kInterior, extent, false, PROGRESS_ALIGN_RIGHT), QPoint(98 - 20 - 3, 5));
  EXPECT_EQ(PlaceLabel(kInterior, extent, false, PROGRESS_ALIGN_CENTRE), QPoint(2 + 76 / 2, 5));
  EXPECT_EQ(PlaceLabel(kInterior, extent, false, 7), QPoint(40, 5));
  // Odd remainders truncate towards zero, also when the label is wider
  // than the interior.
  EXPECT_EQ(PlaceLabel(kInterior, QSize(101, 10), false, 1), QPoint(2 + (98 - 101 - 2) / 2, 5));
  EXPECT_EQ(PlaceLabel(kInterior, QSize(101, 10), false, 1).x(), 0);

  // Vertical: the text reads upwards from y.
  EXPECT_EQ(PlaceLabel(kTall, extent, true, PROGRESS_ALIGN_LEFT), QPoint(2 + 6 / 2, 95));
  EXPECT_EQ(PlaceLabel(kTall, extent, true, PROGRESS_ALIGN_RIGHT), QPoint(5, 2 + 20 + 2));
  EXPECT_EQ(PlaceLabel(kTall, extent, true, PROGRESS_ALIGN_CENTRE), QPoint(5, 2 + 20 + 76 / 2));
}

TEST(ProgressGeometry, ClampLimitAndPercent) {
  EXPECT_EQ(ClampLimit(100, false, 20), 100);
  EXPECT_EQ(ClampLimit(100, true, 20), 120);
  EXPECT_EQ(ClampLimit(7, true, 20), 8);  // (120 × 7 + 0.5) / 100 = 8.405
  EXPECT_EQ(ClampLimit(100, true, std::numeric_limits<int>::max()), std::numeric_limits<int>::max());
  EXPECT_EQ(PercentOf(1.0 / 3.0), 33);
  EXPECT_EQ(PercentOf(0.996), 100);
  EXPECT_EQ(PercentOf(0.994), 99);
}
