// SPDX-License-Identifier: Apache-2.0
// Conversions between the 0x00BBGGRR colour values the messages carry and Qt.
#pragma once

#include "controls/progress_messages.h"

#include <QColor>

inline QColor ToQColor(COLORREF color) { return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF); }

inline COLORREF ToColorRef(const QColor& color) {
  return RGB(static_cast<BYTE>(color.red()), static_cast<BYTE>(color.green()), static_cast<BYTE>(color.blue()));
}
