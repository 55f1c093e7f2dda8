// SPDX-License-Identifier: Apache-2.0
// What every link operation answers (the job's step table reads the same words).
#pragma once

#include <cstdint>

constexpr std::int32_t RESULT_OK = 1;
constexpr std::int32_t RESULT_FAIL = 255;
// The job cannot go on and has reported why; it ends without the usual
// "usb is disconnected" lines.
constexpr std::int32_t RESULT_ABORT = 15;
