// SPDX-License-Identifier: Apache-2.0
// MD5 text of a piece of an image, computed one job at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/critical_section.h"
#include "platform/win_types.h"

class CKelpa3Engine;
namespace tarn::platform {
class CFileMapping;
}

// Only one job at a time digests a piece, so that eight jobs never read eight
// pieces of tens of megabytes at once.
extern tarn::platform::CCriticalSection g_csChecksum;

constexpr std::size_t kChecksumTextSize = 32;  // upper-case hex, no terminator

// Digests `size` bytes at `offset` of the image into `output` (32 characters,
// no terminator). false when the image could not be read.
bool ChecksumRange(DWORD size, CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping, DWORD offset,
                   char* output);
// How many pieces' digests jobs of this process waited for (not ready when
// the piece was to be announced), for the benchmark.
std::uint64_t ChecksumsWaitedFor();
// Digest of a buffer into `output`, with the two status lines.
void MakeChecksum(CKelpa3Engine& job, const void* data, DWORD size, char* output);
