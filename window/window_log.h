// SPDX-License-Identifier: Apache-2.0
// Log records of the window: the source-location form with the window's
// module name.
#pragma once

#include <QString>

#include "support/log.h"

namespace tarn::window {

constexpr const char* kWindowModule = "./Kelpa3MultiDlg";

// A record whose body is `text` as it stands (no formatting), closed with a
// line end when it has none, so that records stay one per line. The record
// carries the caller's line, like every other record of the window (through
// the macro below: std::source_location is missing from clang 14 with this
// standard library, and the fuzz build uses that compiler).
void LogReadyStringAt(int line, const QString& text);

}  // namespace tarn::window

#define LogReadyString(text) ::tarn::window::LogReadyStringAt(__LINE__, text)
#define TLOG_WINDOW(fmt, ...) TLOG_FILE(tarn::window::kWindowModule, fmt __VA_OPT__(, ) __VA_ARGS__)
