// SPDX-License-Identifier: Apache-2.0
// Sending the tar images (BOOT, PDA, CSC) and the phone binary.
#pragma once

#include <cstdint>

#include "engine/run_state.h"

class CKelpa3Engine;

enum class ArchiveKind { Boot, Pda, Csc };

// Images are addressed with 32-bit offsets; larger ones are refused.
constexpr std::uint64_t kMaxImageBytes = 0xFFFFFFFFull;

// RESULT_OK, RESULT_FAIL or RESULT_FORMAT_DONE.
std::int32_t ArchiveDownload(CKelpa3Engine& job, const JobDescription& task, const RunState& run, ArchiveKind kind);
// RESULT_OK on success.
std::int32_t PhoneDownload(CKelpa3Engine& job, const JobDescription& task, const RunState& run);
