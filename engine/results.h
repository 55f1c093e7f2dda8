// SPDX-License-Identifier: Apache-2.0
// Results of the job's steps: the link's results and the engine's own.
#pragma once

#include <cstdint>

#include "link/link_result.h"

// A step that failed and reported it, after which the job still goes on.
constexpr std::int32_t RESULT_GO_ON = 0;
constexpr std::int32_t RESULT_FORMAT_DONE = 0x100001;
// Inside ArchiveDownload only: no format was done, the download goes on.
constexpr std::int32_t RESULT_NO_FORMAT = 2;
