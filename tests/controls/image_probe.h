// SPDX-License-Identifier: Apache-2.0
// Looking at rendered pixels: a widget rendered into an image, and pixel counts
// inside a rectangle by a colour test.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

#include <functional>

class QWidget;

// Renders the widget onto a magenta canvas, so unpainted pixels stand out.
QImage RenderWidget(QWidget& widget);

inline const QColor kCanvas(255, 0, 255);

int CountPixels(const QImage& image, const QRect& area, const std::function<bool(QColor)>& test);

// Leftmost and rightmost column in area holding a pixel that passes test;
// -1 for both when none does.
std::pair<int, int> ColumnSpan(const QImage& image, const QRect& area, const std::function<bool(QColor)>& test);
