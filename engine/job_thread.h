// SPDX-License-Identifier: Apache-2.0
// The job thread: entry, step loop and the members loop of one archive.
#pragma once

#include <cstdint>

#include "engine/job_description.h"
#include "platform/win_types.h"

class CKelpa3Engine;

// Thread entry given to the thread by StartJob, with the job it describes.
DWORD JobThreadProc(CKelpa3Engine* context, const JobDescription& task);
// The step loop; 1 or 255.
std::int32_t RunJob(CKelpa3Engine* context, const JobDescription& task);
