// SPDX-License-Identifier: Apache-2.0
// The download environment around an archive: the phone's parameter record
// read, checked against the members and written back.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "link/link_session.h"
#include "wire/device_params.h"

// Size of the archive's first member for each partition code 0..9; empty
// where the archive has none.
using MemberSizes = std::array<std::optional<std::uint32_t>, kParamPartitionWords>;

// Before an archive's members go out: every member must fit its partition;
// the record goes back with the member sizes. RESULT_OK or RESULT_FAIL.
std::int32_t CheckEnvironment(LinkSession& link, const MemberSizes& members);
// After an archive: the record goes back with the member sizes and `nation`.
// Always RESULT_OK (failures are reported).
std::int32_t SaveEnv(LinkSession& link, const MemberSizes& members, std::int32_t nation);
