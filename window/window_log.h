// SPDX-License-Identifier: Apache-2.0
// Log records of the window: the source-location form with the window's
// module name.
#pragma once

#include <source_location>

#include <QString>

#include "support/log.h"

namespace tarn::window {

constexpr const char* kWindowModule = "./Kelpa3MultiDlg";

// A record whose body is `text` as it stands (no formatting), closed with a
// line end when it has none, so that records stay one per line. The record
// carries the caller's line, like every other record of the window.
void LogReadyString(const QString& text, std::source_location where = std::source_location::current());

}  // namespace tarn::window

#define TLOG_WINDOW(fmt, ...) TLOG_FILE(tarn::window::kWindowModule, fmt __VA_OPT__(, ) __VA_ARGS__)
