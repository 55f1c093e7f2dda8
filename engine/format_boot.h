// SPDX-License-Identifier: Apache-2.0
// Boot Format: writes the two boot blocks that make the phone's boot area and
// ends the job.
#pragma once

#include <cstdint>

#include "engine/run_state.h"

class CKelpa3Engine;
namespace tarn::platform {
class CFileMapping;
}

// RESULT_NO_FORMAT (no BOOT or SBL member), RESULT_FAIL or RESULT_FORMAT_DONE.
std::int32_t FormatBoot(CKelpa3Engine& job, const JobDescription& task, const RunState& run,
                        const tarn::platform::CFileMapping& mapping);
