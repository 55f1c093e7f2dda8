// SPDX-License-Identifier: Apache-2.0
#include "link/transfer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "link/byte_io.h"
#include "link/image_read.h"
#include "link/link_events.h"
#include "link/link_report.h"
#include "link/link_result.h"
#include "link/protocol.h"
#include "link/security_engine.h"
#include "platform/file_mapping.h"
#include "platform/text.h"
#include "support/log.h"
#include "wire/member_plan.h"
#include "wire/partitions.h"

namespace {

using tarn::platform::CFileMapping;

// Copies the next frame's data into `frame` (already filled); RESULT_OK, or
// RESULT_FAIL after reporting why.
using FrameSource = std::int32_t (*)(LinkSession& link, const void* source, DWORD position, std::uint8_t* frame,
                                     DWORD count);

std::int32_t CopyFromImage(LinkSession& link, const void* source, DWORD position, std::uint8_t* frame, DWORD count) {
  const auto& mapping = *static_cast<const CFileMapping*>(source);
  if (tarn::platform::CopyFromMapping(mapping, position, frame, count)) return RESULT_OK;
  LogImageReadFailure(link, mapping);
  return RESULT_FAIL;
}

std::int32_t CopyFromBuffer(LinkSession&, const void* source, DWORD position, std::uint8_t* frame, DWORD count) {
  std::memcpy(frame, static_cast<const std::uint8_t*>(source) + position, count);
  return RESULT_OK;
}

// The frame loop shared by image and buffer sources.
std::int32_t SendFrames(LinkSession& link, FrameSource copy, const void* source, DWORD start, DWORD size) {
  std::vector<std::uint8_t> frame(kFrameSize);
  int lastOverall = -1, lastFile = -1;
  for (DWORD sent = 0; sent < size;) {
    const DWORD n = std::min(size - sent, kFrameSize);
    std::fill(frame.begin() + n, frame.end(), kFrameFill);  // the data overwrites the rest
    if (copy(link, source, start + sent, frame.data(), n) != RESULT_OK) return RESULT_FAIL;
    // A frame that did not go out whole is never answered: waiting for the
    // answer would only hang the job until the first-byte bound.
    if (SendBytes(link, frame.data(), kFrameSize) != RESULT_OK) return RESULT_FAIL;
    if (CheckResponse(link, 0) != RESULT_OK) return RESULT_FAIL;
    link.progressDone += n;
    sent += n;
    // The host only draws percentages: a frame that moves neither is not
    // worth making the job wait for the host.
    const int overall = PercentOf(link.progressDone, link.progressTotal);
    const int file = PercentOf(sent, size);
    if (overall != lastOverall || file != lastFile || sent == size) {
      link.events.OnProgress(overall, file);
      lastOverall = overall;
      lastFile = file;
    }
  }
  return RESULT_OK;
}

// The FW write command carries the member name where the header words are.
void FillFwPacket(const IMAGE_MEMBER& member, COMMAND_PACKET* packet) {
  std::uint8_t raw[kCommandPacketSize] = {};
  WriteLe32(raw, CMD_FW);
  const std::string name = tarn::platform::Narrow(member.szName);
  std::memcpy(raw + kFwNameOffset, name.data(), std::min<std::size_t>(name.size(), kFwNameSize));
  *packet = DeserializePacket(raw);
}

void BuildCommit(LinkSession& link, const IMAGE_MEMBER& member, DWORD length, bool last, COMMAND_PACKET* packet) {
  const int flag = last ? 1 : 0;
  switch (member.wType) {
    case IMAGE_TYPE_STRATINE:
    case IMAGE_TYPE_CSC:
      BuildCommand(link, CMD_STRATINE, member.wPartition - PARTITION_STRATINE, static_cast<int>(length), flag, packet);
      return;
    case IMAGE_TYPE_FW: FillFwPacket(member, packet); return;
    case IMAGE_TYPE_PHONE: {
      link.events.OnPhoneUpdate();
      ReportStatus(link, L"Please wait");
      const int flags = (link.options.phoneBootUpdate ? 1 : 0) | (link.options.phoneEfsClear ? 2 : 0);
      BuildCommand(link, CMD_PHONE, 0, static_cast<int>(length), flags, packet);
      return;
    }
    default:
      BuildCommand(link, CMD_WRITE_PARTITION_BASE + member.wPartition, member.bDel, static_cast<int>(length), flag,
                   packet);
      return;
  }
}

std::int32_t SendCommit(LinkSession& link, const COMMAND_PACKET& packet) {
  if (SendPacket(link, packet) != RESULT_OK) return RESULT_FAIL;
  return CheckResponse(link, packet.command);
}

// Ready, the frames and 711 of one piece.
std::int32_t SendPieceFrames(LinkSession& link, const IMAGE_MEMBER& member, const CFileMapping& mapping, DWORD offset,
                             DWORD size) {
  if (SendCommand(link, CMD_READY, member.wPartition, static_cast<int>(RoundUpToFrames(size)), 0) != RESULT_OK) {
    return RESULT_FAIL;
  }
  if (rep_XmitData(link, mapping, offset, size) != RESULT_OK) return RESULT_FAIL;
  return SendCommand(link, CMD_END_FRAMES, 0, 0, 0);
}

// The first piece of a member that needs an info block; moves offset and
// remaining past it.
std::int32_t SendInfoBlockPiece(LinkSession& link, const IMAGE_MEMBER& member, const CFileMapping& mapping, DWORD limit,
                                DWORD* offset, DWORD* remaining) {
  const DWORD d = std::min(*remaining, limit);
  const DWORD ready = RoundUpToFrames(std::uint64_t{d} + kInfoBlockSize);
  if (SendCommand(link, CMD_READY, member.wPartition, static_cast<int>(ready), 0) != RESULT_OK) return RESULT_FAIL;
  DWORD sent = 0;
  if (rep_XmitSecurityFrame(link, mapping, *offset, d, member, &sent) != RESULT_OK) return RESULT_FAIL;
  if (sent < d && rep_XmitData(link, mapping, *offset + sent, d - sent) != RESULT_OK) return RESULT_FAIL;
  if (SendCommand(link, CMD_END_FRAMES, 0, 0, 0) != RESULT_OK) return RESULT_FAIL;
  if (CommitChunk(link, member, d + kInfoBlockSize, d == *remaining) != RESULT_OK) return RESULT_FAIL;
  *remaining -= d;
  *offset += d;
  return RESULT_OK;
}

}  // namespace

std::int32_t SendPieces(LinkSession& link, const IMAGE_MEMBER& member, const CFileMapping& mapping, DWORD offset,
                        DWORD size, DWORD limit, bool logPieces) {
  for (DWORD remaining = size; remaining > 0;) {
    const DWORD a = std::min(remaining, limit);
    if (logPieces) TLOG_SLOT(link.slot, L">>> XmitSize : %d\n", static_cast<int>(a));
    char text[kDigestTextSize] = {};
    // Without the right MD5 text the phone would refuse the piece anyway.
    if (!link.events.DigestPiece(mapping, offset, a, text)) return RESULT_FAIL;
    if (remaining > a) link.events.DigestNextPiece(mapping, offset + a, std::min(remaining - a, limit));
    if (SendPieceFrames(link, member, mapping, offset, a) != RESULT_OK) return RESULT_FAIL;
    if (CommitChunkWithDigest(link, member, a, a == remaining, text) != RESULT_OK) return RESULT_FAIL;
    offset += a;
    remaining -= a;
  }
  return RESULT_OK;
}

std::int32_t SendMember(LinkSession& link, const IMAGE_MEMBER& member, const CFileMapping& mapping) {
  const DWORD limit = PieceLimitOf(member, MemberAction::Send, link.loaderVersion);
  DWORD offset = member.dwOffset;
  DWORD remaining = member.dwSize;
  if (link.loaderVersion < 6 && link.security.NeedsInfoBlock(link.loaderVersion, member)) {
    if (SendInfoBlockPiece(link, member, mapping, limit, &offset, &remaining) != RESULT_OK) return RESULT_FAIL;
  }
  return SendPieces(link, member, mapping, offset, remaining, limit, false);
}

std::int32_t SendFileSystemMember(LinkSession& link, const IMAGE_MEMBER& member, const CFileMapping& mapping) {
  const DWORD limit = PieceLimitOf(member, MemberAction::SendFileSystem, link.loaderVersion);
  return SendPieces(link, member, mapping, member.dwOffset, member.dwSize, limit, false);
}

std::int32_t rep_XmitData(LinkSession& link, const CFileMapping& mapping, DWORD offset, DWORD size) {
  if (size == 0) return RESULT_FAIL;
  TLOG_SLOT(link.slot, L"rep_XmitData : Offset %d, size %d\n", static_cast<int>(offset), static_cast<int>(size));
  return SendFrames(link, CopyFromImage, &mapping, offset, size);
}

std::int32_t XmitData(LinkSession& link, const std::uint8_t* buffer, DWORD size) {
  if (size == 0) return RESULT_FAIL;
  TLOG_SLOT(link.slot, L"XmitData size : %d\n", static_cast<int>(size));
  return SendFrames(link, CopyFromBuffer, buffer, 0, size);
}

std::int32_t rep_XmitSecurityFrame(LinkSession& link, const CFileMapping& mapping, DWORD offset, DWORD size,
                                   const IMAGE_MEMBER& member, DWORD* sent) {
  if (size == 0) return RESULT_FAIL;
  TLOG_SLOT(link.slot, L"rep_XmitSecurityFrame : Offset %d, size %d\n", static_cast<int>(offset),
            static_cast<int>(size));
  std::vector<std::uint8_t> frame(kFrameSize, kFrameFill);
  link.security.BuildInfoBlock(member, frame.data(), size);
  link.progressTotal += kInfoBlockSize;
  const DWORD n = std::min(size, kSecurityFrameData);
  if (CopyFromImage(link, &mapping, offset, frame.data() + kInfoBlockSize, n) != RESULT_OK) return RESULT_FAIL;
  if (SendBytes(link, frame.data(), kFrameSize) != RESULT_OK) return RESULT_FAIL;
  if (CheckResponse(link, 0) != RESULT_OK) return RESULT_FAIL;
  link.progressDone += kInfoBlockSize + n;
  ReportOverallProgress(link, PercentOf(n, size));
  *sent = n;
  return RESULT_OK;
}

std::int32_t CommitChunk(LinkSession& link, const IMAGE_MEMBER& member, DWORD length, bool last) {
  COMMAND_PACKET packet;
  BuildCommit(link, member, length, last, &packet);
  return SendCommit(link, packet);
}

std::int32_t CommitChunkWithDigest(LinkSession& link, const IMAGE_MEMBER& member, DWORD length, bool last,
                                   const char* checksumText) {
  COMMAND_PACKET packet;
  BuildCommit(link, member, length, last, &packet);
  std::memcpy(packet.body + (kDigestOffset - offsetof(COMMAND_PACKET, body)), checksumText, kDigestTextSize);
  return SendCommit(link, packet);
}
