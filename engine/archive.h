// SPDX-License-Identifier: Apache-2.0
// Sending the tar images (BOOT, PDA, CSC) and the phone binary.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/image_member.h"
#include "engine/tar_reader.h"
#include "platform/file_mapping.h"

class CKelpa3Engine;

enum class ArchiveKind { Boot, Pda, Csc };

// Images are addressed with 32-bit offsets; larger ones are refused.
constexpr std::uint64_t kMaxImageBytes = 0xFFFFFFFFull;

// RESULT_OK, RESULT_FAIL or RESULT_FORMAT_DONE.
std::int32_t ArchiveDownload(CKelpa3Engine& job, ArchiveKind kind);
// RESULT_OK on success.
std::int32_t PhoneDownload(CKelpa3Engine& job);

// Builds the member table of the archive from its regular files; RESULT_OK or
// RESULT_FAIL (reported). Every member's data is checked to lie inside the
// image before anything is sent.
std::int32_t IndexArchive(const tarn::platform::CFileMapping& mapping, CKelpa3Engine& job, std::uint32_t imageSize);
// Writes the two boot blocks: RESULT_NO_FORMAT (no BOOT or SBL member),
// RESULT_FAIL or RESULT_FORMAT_DONE.
std::int32_t FormatBoot(CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping);

// The first member of the table (in archive order) for a partition code, or nullptr.
const IMAGE_MEMBER* FirstMemberOf(const CKelpa3Engine& job, int partition);

// After a failed read of `mapping`: when the image changed under the job,
// reports "e - the image changed while it was being sent: PATH" and answers
// true; false for other failures, which the caller logs its own way.
bool ReportImageChanged(CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping);
// ReportImageChanged, or for other failures the log line
// "Error MapViewOfFile (%d)\n" with the error code.
void LogImageReadFailure(CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping);

constexpr std::uint64_t AlignDownToGranularity(std::uint64_t value) {
  return value - value % tarn::platform::kAllocationGranularity;
}
