// SPDX-License-Identifier: Apache-2.0
#include "window/dialog_units.h"

#include <QFontMetrics>

namespace tarn::window {

namespace {
// The average width is measured over the 52 Latin letters, as the dialog
// manager does, rather than taken from the font's own (often wider) figure.
constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}
}  // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(QString::fromLatin1(kAlphabet));
  return DialogBaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

int DluToPixelsX(int dlu, const DialogBaseUnits& base) { return MulDiv(dlu, base.x, 4); }
int DluToPixelsY(int dlu, const DialogBaseUnits& base) { return MulDiv(dlu, base.y, 8); }

QRect DluRectToPixels(int x, int y, int width, int height, const DialogBaseUnits& base) {
  const int left = DluToPixelsX(x, base);
  const int top = DluToPixelsY(y, base);
  return QRect(left, top, DluToPixelsX(x + width, base) - left, DluToPixelsY(y + height, base) - top);
}

}  // namespace tarn::window
