// SPDX-License-Identifier: Apache-2.0
// The debugger output channel: where diagnostic log records go.
//
// Each record is written whole with one write(2): to standard error, or, when
// TARN_DEBUG_OUTPUT=<path> is set, appended to that file or FIFO. A test may
// install a sink that receives every record instead.
#pragma once

#include <functional>
#include <string_view>

namespace tarn::platform {

using DebugSink = std::function<void(std::string_view record)>;
// Installs `sink` (empty: back to the file descriptor) and returns the previous one.
DebugSink SetDebugOutputSink(DebugSink sink);

}  // namespace tarn::platform

void OutputDebugStringW(const wchar_t* text);
