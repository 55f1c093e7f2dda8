// Sending the tar images (BOOT, PDA, CSC) and the phone binary.
#pragma once

#include <cstdint>

#include "engine/image_member.h"

class CKelpa3Engine;

enum class ArchiveKind { Boot, Pda, Csc };

// RESULT_OK, RESULT_FAIL or RESULT_FORMAT_DONE.
std::int32_t ArchiveDownload(CKelpa3Engine& job, ArchiveKind kind);
// RESULT_OK on success.
std::int32_t PhoneDownload(CKelpa3Engine& job);
