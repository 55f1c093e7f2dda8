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

// What a job's step tells its step loop. The numbers are the results above,
// so that a link operation's result passes on as it is.
enum class StepResult : std::int32_t {
  Next = RESULT_OK,                 // go on with the next step
  GoOnAfterFailure = RESULT_GO_ON,  // failed and reported; the job goes on
  Abort = RESULT_ABORT,             // leave at once: nothing more is said
  Fail = RESULT_FAIL,               // the job failed: the port is released
  FormatDone = RESULT_FORMAT_DONE,  // a format-only run has ended
};

constexpr StepResult AsStepResult(std::int32_t result) { return static_cast<StepResult>(result); }
