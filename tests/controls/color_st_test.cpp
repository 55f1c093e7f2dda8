// SPDX-License-Identifier: Apache-2.0
#include "controls/tarn_color_st.h"
#include "tests/controls/image_probe.h"
#include "tests/controls/qt_app.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QWidget>

namespace {

using ColorStatic = QtTest;

bool IsGrey(QColor c) { return c.red() == c.green() && c.green() == c.blue(); }

}  // namespace

TEST_F(ColorStatic, WhiteBoldTextOnBlack) {
  CTarnColorST banner(QStringLiteral("Tarn Multi Downloader (K+/TF)"));
  banner.setAlignment(Qt::AlignCenter);
  banner.resize(500, 50);
  const QImage image = RenderWidget(banner);

  EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(499, 49), QColor(Qt::black));
  EXPECT_EQ(CountPixels(image, QRect(0, 0, 500, 5), [](QColor c) { return c == Qt::black; }), 500 * 5);
  EXPECT_GT(CountPixels(image, image.rect(), [](QColor c) { return c == Qt::white; }), 50);
  // Only white ink on black: antialiasing gives greys, never colours.
  EXPECT_EQ(CountPixels(image, image.rect(), [](QColor c) { return !IsGrey(c); }), 0);

  const QFont font = banner.font();
  EXPECT_EQ(font.family(), QStringLiteral("Tahoma"));
  EXPECT_EQ(font.weight(), QFont::Bold);
  EXPECT_TRUE(QFontInfo(font).bold());
  EXPECT_LE(QFontMetrics(font).height(), 24);
  EXPECT_GE(QFontMetrics(font).height(), 20);
}

TEST_F(ColorStatic, LookSurvivesTheParentsPaletteAndFont) {
  QWidget parent;
  QPalette red;
  red.setColor(QPalette::Window, Qt::red);
  red.setColor(QPalette::WindowText, Qt::green);
  parent.setPalette(red);
  QFont small = parent.font();
  small.setPixelSize(8);
  parent.setFont(small);

  auto* banner = new CTarnColorST(&parent);
  banner->setText(QStringLiteral("set after attaching"));
  banner->resize(300, 40);
  const QImage image = RenderWidget(*banner);
  EXPECT_EQ(CountPixels(image, image.rect(), [](QColor c) { return !IsGrey(c); }), 0);
  EXPECT_GT(CountPixels(image, image.rect(), [](QColor c) { return c == Qt::white; }), 20);
  EXPECT_EQ(banner->font(), CTarnColorST::DisplayFont());
}
