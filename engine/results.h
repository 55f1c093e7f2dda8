// SPDX-License-Identifier: Apache-2.0
// Results of engine and protocol operations.
#pragma once

#include <cstdint>

constexpr std::int32_t RESULT_OK = 1;
constexpr std::int32_t RESULT_FAIL = 255;
constexpr std::int32_t RESULT_ABORT = 15;
constexpr std::int32_t RESULT_FORMAT_DONE = 0x100001;
// Inside ArchiveDownload only: no format was done, the download goes on.
constexpr std::int32_t RESULT_NO_FORMAT = 2;
