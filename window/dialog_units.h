// SPDX-License-Identifier: Apache-2.0
// Dialog units to pixels. Layouts are given in dialog units so that the
// window scales with its font: a horizontal unit is a quarter of the font's
// average character width, a vertical unit an eighth of its height.
#pragma once

#include <QFont>
#include <QRect>

namespace tarn::window {

struct DialogBaseUnits {
  int x = 0;  // average character width in pixels
  int y = 0;  // character height in pixels
};

DialogBaseUnits BaseUnitsOf(const QFont& font);
// Rounds as the integer multiply-divide of the dialog manager does.
int DluToPixelsX(int dlu, const DialogBaseUnits& base);
int DluToPixelsY(int dlu, const DialogBaseUnits& base);
QRect DluRectToPixels(int x, int y, int width, int height, const DialogBaseUnits& base);

}  // namespace tarn::window
