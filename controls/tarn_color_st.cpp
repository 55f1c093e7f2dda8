// SPDX-License-Identifier: Apache-2.0
#include "controls/tarn_color_st.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPalette>

#include <algorithm>

namespace {

// The font is asked for by cell height (ascent + descent), as the banner was
// laid out for a 24-unit cell; Qt sizes fonts by their em, which is smaller.
constexpr int kCellHeight = 24;

}  // namespace

CTarnColorST::CTarnColorST(QWidget* parent) : QLabel(parent) { ApplyLook(); }

CTarnColorST::CTarnColorST(const QString& text, QWidget* parent) : QLabel(text, parent) { ApplyLook(); }

CTarnColorST::~CTarnColorST() = default;

QFont CTarnColorST::DisplayFont() {
  QFont font = QApplication::font();
  font.setFamilies({QStringLiteral("Tahoma")});
  font.setStyleHint(QFont::SansSerif);
  font.setWeight(QFont::Bold);
  font.setPixelSize(kCellHeight);
  const int height = QFontMetrics(font).height();
  if (height > kCellHeight) font.setPixelSize(std::max(1, kCellHeight * kCellHeight / height));
  return font;
}

// White text on black, in the display font; the area outside the text is
// black too.
void CTarnColorST::ApplyLook() {
  QPalette look = palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    look.setColor(group, QPalette::WindowText, Qt::white);
    look.setColor(group, QPalette::Window, Qt::black);
  }
  setPalette(look);
  setAutoFillBackground(true);
  setFont(DisplayFont());
}
