// SPDX-License-Identifier: Apache-2.0
// Sending the member table of one archive, member by member.
#pragma once

#include <cstdint>

#include "wire/member_plan.h"

class CKelpa3Engine;
namespace tarn::platform {
class CFileMapping;
}

// The job's settings as the member decision takes them: its options, its
// nation and its phone's loader version.
SendChoice JobSendChoice(const CKelpa3Engine& job);
// What the job does with one member of its table.
MemberPlan PlanJobMember(const CKelpa3Engine& job, const IMAGE_MEMBER& member);

// Prepares the phone, then sends, skips or refuses each member as its plan
// says. RESULT_OK or RESULT_FAIL.
std::int32_t DownloadMembers(CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping);
