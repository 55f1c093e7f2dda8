// SPDX-License-Identifier: Apache-2.0
// Wall-clock time stamps for the JSON lines and the slot logs: RFC 3339 in
// UTC with milliseconds ("2026-12-09T10:22:39.123Z"), the same in any locale.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace tarn::cli {

// Where the reports take the time from (tests give a fixed one).
using WallClock = std::function<std::chrono::system_clock::time_point()>;

std::string Rfc3339Utc(std::chrono::system_clock::time_point time);

}  // namespace tarn::cli
