// SPDX-License-Identifier: Apache-2.0
// Partition and nation tables: what an archive member is, from its name alone.
// They live with the member decision below the engine (wire/member_plan.h),
// so that START and the image checks read members as the job does; hosts
// keep reaching them through this header.
#pragma once

#include "wire/member_names.h"
