// SPDX-License-Identifier: Apache-2.0
// MD5 text of a piece of an image, computed one job at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/critical_section.h"
#include "platform/win_types.h"

class CKelpa3Engine;
namespace tarn::platform {
class CFileMapping;
}

// Only one job at a time digests a piece, so that many jobs never read as many
// pieces of tens of megabytes at once.
extern tarn::platform::CCriticalSection g_csChecksum;

constexpr std::size_t kChecksumTextSize = 32;  // upper-case hex, no terminator

enum class DigestOutcome { Done, ReadFailed, Cancelled };

// The digest of `size` bytes at `offset` of the image, made under the checksum
// lock by a thread that is no job thread; ends early once `cancel` is set.
// ReadFailed leaves the last error as the read set it.
DigestOutcome DigestImageRange(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size,
                               std::uint8_t digest[16], const std::atomic<bool>& cancel);
// Digests `size` bytes at `offset` of the image into `output` (32 characters,
// no terminator), or takes the digest the job's worker made ahead of it.
// false when the image could not be read.
bool ChecksumRange(DWORD size, CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping, DWORD offset,
                   char* output);
// How many pieces' digests jobs of this process waited for (not ready when
// the piece was to be announced), for the benchmark.
std::uint64_t ChecksumsWaitedFor();
// Digest of a buffer into `output`, with the two status lines.
void MakeChecksum(CKelpa3Engine& job, const void* data, DWORD size, char* output);
