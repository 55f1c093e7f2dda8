// SPDX-License-Identifier: Apache-2.0
// Writing the parts of the Stratine member (UMS, OPT, CSC) one by one.
#pragma once

#include <cstdint>

#include "link/link_session.h"
#include "wire/image_member.h"
#include "wire/stratine_header.h"

namespace tarn::platform {
class CFileMapping;
}

// Sends the parts selected in `partMask` (bit 0 UMS, bit 1 OPT, bit 2 CSC),
// each to partition code member + k. RESULT_OK or RESULT_FAIL.
std::int32_t SendStratineParts(LinkSession& link, const IMAGE_MEMBER& member,
                               const tarn::platform::CFileMapping& mapping, int partMask);
