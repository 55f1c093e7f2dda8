// SPDX-License-Identifier: Apache-2.0
// The job's member table: an archive's regular files, each with its partition.
#pragma once

#include <cstdint>

#include "link/parameters.h"
#include "wire/image_member.h"

class CKelpa3Engine;
namespace tarn::platform {
class CFileMapping;
}

// Builds the member table of the archive from its regular files; RESULT_OK or
// RESULT_FAIL (reported). Every member's data is checked to lie inside the
// image before anything is sent.
std::int32_t IndexArchive(const tarn::platform::CFileMapping& mapping, CKelpa3Engine& job, std::uint32_t imageSize);

// The first member of the table (in archive order) for a partition code, or nullptr.
const IMAGE_MEMBER* FirstMemberOf(const CKelpa3Engine& job, int partition);
// Sizes of the first members of partitions 0..9, for the phone's parameter record.
MemberSizes MemberSizesOf(const CKelpa3Engine& job);
