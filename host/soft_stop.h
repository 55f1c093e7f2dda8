// SPDX-License-Identifier: Apache-2.0
// A stop at the next command boundary lets the frames of the piece under way
// go out first; on a phone that reads slowly that can take long. Both hosts
// bound it: a job still running this long after the request is stopped at
// once, and its slot says so.
#pragma once

#include "platform/win_types.h"

namespace tarn::host {

constexpr DWORD kSoftStopBoundMs = 5000;  // clock milliseconds
inline constexpr wchar_t kSoftStopOverdueText[] =
    L"e - the job did not reach a command boundary within 5 s of the stop request: stopped at once";

}  // namespace tarn::host
