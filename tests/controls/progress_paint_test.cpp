// SPDX-License-Identifier: Apache-2.0
#include "controls/colorref.h"
#include "controls/text_progress_ctrl.h"
#include "tests/controls/image_probe.h"
#include "tests/controls/qt_app.h"

#include <QPalette>

namespace {

// Four colours far apart, so every pixel of the label can be told apart
// from the fills even where the text is antialiased.
const QColor kBar(255, 0, 0);
const QColor kBackground(0, 255, 0);
const QColor kText(0, 0, 255);
const QColor kBarText(255, 255, 0);

// Palette colours carry more than 8 bits per channel; the image holds 8.
bool Same(QColor a, QColor b) { return a.rgb() == b.rgb(); }

bool IsTextOverBackground(QColor c) { return c.blue() > 150 && c.red() < 60; }
bool IsBarTextOrBar(QColor c) { return c.red() > 150; }
bool IsBarTextOverBar(QColor c) { return c.red() > 150 && c.green() > 150; }
bool IsBlueInk(QColor c) { return c.blue() > 100; }

class ProgressPaint : public QtTest {
 protected:
  void SetUp() override {
    bar.resize(100, 20);
    Send(PBM_SETBARCOLOR, 0, ToColorRef(kBar));
    Send(PBM_SETBKCOLOR, 0, ToColorRef(kBackground));
    Send(TPBM_SETTEXTCOLOR, 0, ToColorRef(kText));
    Send(TPBM_SETBARTEXTCOLOR, 0, ToColorRef(kBarText));
  }
  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return bar.SendMessage(message, wParam, lParam); }

  CTextProgressCtrl bar;
};

}  // namespace

TEST_F(ProgressPaint, FlatSunkenBorderAndHalfFilledInterior) {
  Send(TPBM_SHOWPERCENT, 0);
  Send(PBM_SETPOS, 50);
  const QImage image = RenderWidget(bar);

  EXPECT_EQ(CountPixels(image, image.rect(), [](QColor c) { return c == kCanvas; }), 0);
  EXPECT_TRUE(Same(image.pixelColor(0, 0), bar.palette().color(QPalette::Dark)));
  EXPECT_TRUE(Same(image.pixelColor(99, 19), bar.palette().color(QPalette::Dark)));
  EXPECT_TRUE(Same(image.pixelColor(1, 10), bar.palette().color(QPalette::Button)));
  EXPECT_TRUE(Same(image.pixelColor(98, 18), bar.palette().color(QPalette::Button)));
  // Interior 2..97 is 96 wide: the bar covers 48 columns.
  const QRect interior(2, 2, 96, 16);
  EXPECT_EQ(CountPixels(image, interior, [](QColor c) { return c == kBar; }), 48 * 16);
  EXPECT_EQ(CountPixels(image, interior, [](QColor c) { return c == kBackground; }), 48 * 16);
  EXPECT_EQ(image.pixelColor(49, 10), kBar);
  EXPECT_EQ(image.pixelColor(50, 10), kBackground);
}

TEST_F(ProgressPaint, EmptyAndFullBars) {
  Send(TPBM_SHOWPERCENT, 0);
  const QRect interior(2, 2, 96, 16);
  QImage image = RenderWidget(bar);
  EXPECT_EQ(CountPixels(image, interior, [](QColor c) { return c == kBackground; }), 96 * 16);
  Send(PBM_SETPOS, 100);
  image = RenderWidget(bar);
  EXPECT_EQ(CountPixels(image, interior, [](QColor c) { return c == kBar; }), 96 * 16);
}

TEST_F(ProgressPaint, LabelTakesTheColourOfThePartBelowIt) {
  Send(PBM_SETPOS, 50);
  ASSERT_EQ(bar.Label(), QStringLiteral("50%"));
  const QImage image = RenderWidget(bar);
  const QRect barPart(2, 2, 48, 16);
  const QRect afterPart(50, 2, 48, 16);

  // The centred label straddles the end of the bar: both halves show,
  // each in its own colour and never in the other's.
  EXPECT_GT(CountPixels(image, barPart, IsBarTextOverBar), 0);
  EXPECT_EQ(CountPixels(image, barPart, IsBlueInk), 0);
  EXPECT_GT(CountPixels(image, afterPart, IsTextOverBackground), 0);
  EXPECT_EQ(CountPixels(image, afterPart, IsBarTextOrBar), 0);
  // Nothing of the label spills onto the border.
  const QColor dark = bar.palette().color(QPalette::Dark);
  const QColor face = bar.palette().color(QPalette::Button);
  EXPECT_EQ(CountPixels(image, QRect(0, 0, 100, 1), [&](QColor c) { return Same(c, dark); }), 100);
  EXPECT_EQ(CountPixels(image, QRect(1, 1, 98, 1), [&](QColor c) { return Same(c, face); }), 98);
  EXPECT_EQ(CountPixels(image, QRect(1, 18, 98, 1), [&](QColor c) { return Same(c, face); }), 98);
}

TEST_F(ProgressPaint, LabelAlignment) {
  Send(PBM_SETPOS, 0);
  Send(TPBM_SETTEXTALIGN, PROGRESS_ALIGN_LEFT);
  auto [leftFirst, leftLast] = ColumnSpan(RenderWidget(bar), QRect(2, 2, 96, 16), IsTextOverBackground);
  Send(TPBM_SETTEXTALIGN, PROGRESS_ALIGN_RIGHT);
  auto [rightFirst, rightLast] = ColumnSpan(RenderWidget(bar), QRect(2, 2, 96, 16), IsTextOverBackground);
  Send(TPBM_SETTEXTALIGN, PROGRESS_ALIGN_CENTRE);
  auto [midFirst, midLast] = ColumnSpan(RenderWidget(bar), QRect(2, 2, 96, 16), IsTextOverBackground);

  ASSERT_GE(leftFirst, 0);
  ASSERT_GE(rightFirst, 0);
  ASSERT_GE(midFirst, 0);
  // Left: 2 pixels in from the interior; right: 3 pixels in.
  EXPECT_GE(leftFirst, 4);
  EXPECT_LE(leftFirst, 6);
  EXPECT_LE(rightLast, 97 - 3);
  EXPECT_GE(rightLast, 97 - 6);
  EXPECT_LT(leftLast, midFirst);
  EXPECT_LT(midLast, rightFirst);
  EXPECT_NEAR((midFirst + midLast) / 2.0, 50.0, 2.0);
}

TEST_F(ProgressPaint, VerticalBarFillsFromTheBottomWithTheLabelTurned) {
  bar.resize(20, 100);
  bar.ModifyStyle(0, PBS_VERTICAL);
  Send(PBM_SETPOS, 25);
  const QImage image = RenderWidget(bar);
  // Interior 2..97 high: 24 rows of bar from the bottom.
  EXPECT_EQ(image.pixelColor(3, 97), kBar);
  EXPECT_EQ(image.pixelColor(3, 74), kBar);
  EXPECT_EQ(image.pixelColor(3, 73), kBackground);
  EXPECT_EQ(image.pixelColor(3, 2), kBackground);
  // "25%" turned upwards is taller than it is wide.
  const QRect interior(2, 2, 16, 96);
  auto [first, last] = ColumnSpan(image, interior, IsTextOverBackground);
  ASSERT_GE(first, 0);
  EXPECT_LT(last - first, 16);
  int rows = 0;
  for (int y = 2; y < 98; ++y) rows += CountPixels(image, QRect(2, y, 16, 1), IsTextOverBackground) > 0 ? 1 : 0;
  EXPECT_GT(rows, last - first + 1);
}

TEST_F(ProgressPaint, MarqueeShowsATravellingBlock) {
  Send(PBM_SETMARQUEE, 1, 100000);
  Send(PBM_SETPOS, 50);
  const QImage image = RenderWidget(bar);
  // Leading end 2 + 48; block (96 × 20 + 50) / 100 = 19 columns long.
  EXPECT_EQ(image.pixelColor(30, 3), kBackground);
  EXPECT_EQ(image.pixelColor(31, 3), kBar);
  EXPECT_EQ(image.pixelColor(49, 3), kBar);
  EXPECT_EQ(image.pixelColor(50, 3), kBackground);
  EXPECT_EQ(CountPixels(image, QRect(2, 2, 96, 16), [](QColor c) { return c == kBar; }), 19 * 16);
}

TEST_F(ProgressPaint, InvertedRangeShowsOnlyTheBackground) {
  Send(PBM_SETRANGE32, 100, 100);
  const QImage image = RenderWidget(bar);
  const QColor window = bar.palette().color(QPalette::Window);
  EXPECT_EQ(CountPixels(image, image.rect(), [&](QColor c) { return Same(c, window); }), 100 * 20);
}

TEST_F(ProgressPaint, PositionLeftOutsideANarrowedRangeKeepsTheBorder) {
  Send(TPBM_SHOWPERCENT, 0);
  Send(PBM_SETPOS, 100);
  Send(PBM_SETRANGE32, 0, 10);
  const QImage image = RenderWidget(bar);
  EXPECT_TRUE(Same(image.pixelColor(99, 10), bar.palette().color(QPalette::Dark)));
  EXPECT_TRUE(Same(image.pixelColor(98, 10), bar.palette().color(QPalette::Button)));
  EXPECT_EQ(image.pixelColor(97, 10), kBar);
}
