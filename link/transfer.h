// SPDX-License-Identifier: Apache-2.0
// Moving member data into the phone: pieces announced with Ready, streamed
// as 128 KiB frames, closed with 711 and committed with a write command.
#pragma once

#include <cstdint>

#include "link/link_session.h"
#include "platform/win_types.h"
#include "wire/frames.h"
#include "wire/image_member.h"
#include "wire/info_block.h"

namespace tarn::platform {
class CFileMapping;
}

// Both cut the member into pieces by PieceLimitOf (wire/member_plan.h). All
// return RESULT_OK or RESULT_FAIL.
std::int32_t SendMember(LinkSession& link, const IMAGE_MEMBER& member, const tarn::platform::CFileMapping& mapping);
std::int32_t SendFileSystemMember(LinkSession& link, const IMAGE_MEMBER& member,
                                  const tarn::platform::CFileMapping& mapping);
// Sends `size` bytes of the image from `offset` as frames.
std::int32_t rep_XmitData(LinkSession& link, const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size);
// Sends `size` bytes of a buffer as frames.
std::int32_t XmitData(LinkSession& link, const std::uint8_t* buffer, DWORD size);
// First frame of an info-block piece: the block and up to 131000 data bytes;
// `sent` receives the data bytes it carried.
std::int32_t rep_XmitSecurityFrame(LinkSession& link, const tarn::platform::CFileMapping& mapping, DWORD offset,
                                   DWORD size, const IMAGE_MEMBER& member, DWORD* sent);
// Write commands: plain form (after an info-block piece) and with the MD5 text.
std::int32_t CommitChunk(LinkSession& link, const IMAGE_MEMBER& member, DWORD length, bool last);
std::int32_t CommitChunkWithDigest(LinkSession& link, const IMAGE_MEMBER& member, DWORD length, bool last,
                                   const char* checksumText);

// Sends [offset, offset + size) of the image to the member's partition in
// pieces of at most `limit` bytes, each with its MD5 text. `logPieces` adds
// the ">>> XmitSize" line per piece.
std::int32_t SendPieces(LinkSession& link, const IMAGE_MEMBER& member, const tarn::platform::CFileMapping& mapping,
                        DWORD offset, DWORD size, DWORD limit, bool logPieces);
