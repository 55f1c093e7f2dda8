// SPDX-License-Identifier: Apache-2.0
// The application icon, drawn rather than loaded so the window needs no image
// plug-in; packaging/icons holds the same design for the desktop.
#pragma once

#include <QIcon>

namespace tarn::window {
QIcon AppIcon();
}
