// SPDX-License-Identifier: Apache-2.0
// Sending the member table of one archive, member by member.
#pragma once

#include <cstdint>

#include "engine/run_state.h"
#include "wire/member_plan.h"

class CKelpa3Engine;
namespace tarn::platform {
class CFileMapping;
}

// The job's choices as the member decision takes them: its options, the
// host's nation and its phone's loader version.
SendChoice JobSendChoice(const JobDescription& task, const RunState& run);
// What the job does with one member of its table.
MemberPlan PlanJobMember(const JobDescription& task, const RunState& run, const IMAGE_MEMBER& member);

// Prepares the phone, then sends, skips or refuses each member of the job's
// table as its plan says. RESULT_OK or RESULT_FAIL.
std::int32_t DownloadMembers(CKelpa3Engine& job, const JobDescription& task, const RunState& run,
                             const tarn::platform::CFileMapping& mapping);
