// Log records of the window: the source-location form with the window's
// module name.
#pragma once

#include <QString>

#include "support/log.h"

namespace tarn::window {

constexpr const char* kWindowModule = "./Kelpa3MultiDlg";

// A record whose body is `text` as it stands (no formatting), closed with a
// line end when it has none, so that records stay one per line.
void LogReadyString(const QString& text);

}  // namespace tarn::window

#define TLOG_WINDOW(fmt, ...) TLOG_FILE(tarn::window::kWindowModule, fmt __VA_OPT__(, ) __VA_ARGS__)
