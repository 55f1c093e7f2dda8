// SPDX-License-Identifier: Apache-2.0
// Moving member data into the phone: pieces announced with Ready, streamed
// as 128 KiB frames, closed with 711 and committed with a write command.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

class CKelpa3Engine;
struct IMAGE_MEMBER;
namespace tarn::platform {
class CFileMapping;
}

constexpr DWORD kFrameSize = 131072;
constexpr std::uint8_t kFrameFill = 0xFF;
constexpr DWORD kSecurityFrameData = 131000;  // a frame less the info block

// Piece limits by image type and loader version.
constexpr DWORD kChunkLimitStratineCsc = 31457280;  // 30 MiB
constexpr DWORD kChunkLimitBelow7 = 62914560;       // 60 MiB
constexpr DWORD kChunkLimitFrom7 = 104857600;       // 100 MiB
constexpr DWORD kFsChunkLimitBelow7 = 64880640;
constexpr DWORD kFsChunkLimitFrom7 = 108134400;

// `bytes` rounded up to whole frames, as Ready announces them.
constexpr DWORD RoundUpToFrames(std::uint64_t bytes) {
  return static_cast<DWORD>((bytes + kFrameSize - 1) / kFrameSize * kFrameSize);
}

// All return 1 or 255.
int SendMember(CKelpa3Engine& job, const IMAGE_MEMBER& member, const tarn::platform::CFileMapping& mapping);
int SendFileSystemMember(CKelpa3Engine& job, const IMAGE_MEMBER& member,
                         const tarn::platform::CFileMapping& mapping);
// Sends `size` bytes of the image from `offset` as frames.
int rep_XmitData(CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size);
// Sends `size` bytes of a buffer as frames.
int XmitData(CKelpa3Engine& job, const std::uint8_t* buffer, DWORD size);
// First frame of an info-block piece: the block and up to 131000 data bytes;
// `sent` receives the data bytes it carried.
int rep_XmitSecurityFrame(CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size,
                          const IMAGE_MEMBER& member, DWORD* sent);
// Write commands: plain form (after an info-block piece) and with the MD5 text.
int CommitChunk(CKelpa3Engine& job, const IMAGE_MEMBER& member, DWORD length, bool last);
int CommitChunkWithDigest(CKelpa3Engine& job, const IMAGE_MEMBER& member, DWORD length, bool last,
                          const char* checksumText);

// Sends [offset, offset + size) of the image to the member's partition in
// pieces of at most `limit` bytes, each with its MD5 text. `logPieces` adds
// the ">>> XmitSize" line per piece.
int SendPieces(CKelpa3Engine& job, const IMAGE_MEMBER& member, const tarn::platform::CFileMapping& mapping,
               DWORD offset, DWORD size, DWORD limit, bool logPieces);
