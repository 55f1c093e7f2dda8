// SPDX-License-Identifier: Apache-2.0
// Sending the member table of one archive, member by member.
#pragma once

#include <cstdint>

class CKelpa3Engine;
namespace tarn::platform {
class CFileMapping;
}

// Prepares the phone, then sends, skips or refuses each member by its type.
// RESULT_OK or RESULT_FAIL.
std::int32_t DownloadMembers(CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping);
