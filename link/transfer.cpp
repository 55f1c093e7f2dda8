// SPDX-License-Identifier: Apache-2.0
#include "link/transfer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "engine/archive.h"
#include "engine/checksum.h"
#include "engine/events.h"
#include "engine/image_member.h"
#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "engine/tables.h"
#include "link/job_io.h"
#include "link/protocol.h"
#include "platform/file_mapping.h"
#include "platform/text.h"
#include "support/log.h"

namespace {

using tarn::platform::CFileMapping;

// Copies the next frame's data into `frame` (already filled); 1, or 255 after
// reporting why.
using FrameSource = int (*)(CKelpa3Engine& job, const void* source, DWORD position, std::uint8_t* frame, DWORD count);

int CopyFromImage(CKelpa3Engine& job, const void* source, DWORD position, std::uint8_t* frame, DWORD count) {
  const auto& mapping = *static_cast<const CFileMapping*>(source);
  if (tarn::platform::CopyFromMapping(mapping, position, frame, count)) return RESULT_OK;
  LogImageReadFailure(job, mapping);
  return RESULT_FAIL;
}

int CopyFromBuffer(CKelpa3Engine&, const void* source, DWORD position, std::uint8_t* frame, DWORD count) {
  std::memcpy(frame, static_cast<const std::uint8_t*>(source) + position, count);
  return RESULT_OK;
}

// The frame loop shared by image and buffer sources.
int SendFrames(CKelpa3Engine& job, FrameSource copy, const void* source, DWORD start, DWORD size) {
  std::vector<std::uint8_t> frame(kFrameSize);
  int lastOverall = -1, lastFile = -1;
  for (DWORD sent = 0; sent < size;) {
    const DWORD n = std::min(size - sent, kFrameSize);
    std::fill(frame.begin() + n, frame.end(), kFrameFill);  // the data overwrites the rest
    if (copy(job, source, start + sent, frame.data(), n) != RESULT_OK) return RESULT_FAIL;
    // A frame that did not go out whole is never answered: waiting for the
    // answer would only hang the job until the first-byte bound.
    if (SendBytes(job, frame.data(), kFrameSize) != 1) return RESULT_FAIL;
    if (CheckResponse(job, 0) != RESULT_OK) return RESULT_FAIL;
    job.m_dwProgressDone += n;
    sent += n;
    // The host only draws percentages: a frame that moves neither is not
    // worth making the job wait for the host.
    const int overall = PercentOf(job.m_dwProgressDone, job.m_dwProgressTotal);
    const int file = PercentOf(sent, size);
    if (overall != lastOverall || file != lastFile || sent == size) {
      job.ReportProgress(overall, file);
      lastOverall = overall;
      lastFile = file;
    }
  }
  return RESULT_OK;
}

DWORD ChunkLimit(const CKelpa3Engine& job, const IMAGE_MEMBER& member) {
  if (member.wType == IMAGE_TYPE_STRATINE || member.wType == IMAGE_TYPE_CSC) return kChunkLimitStratineCsc;
  return job.m_nKeldVersionCopy < 7 ? kChunkLimitBelow7 : kChunkLimitFrom7;
}

// The FW write command carries the member name where the header words are.
void FillFwPacket(const IMAGE_MEMBER& member, COMMAND_PACKET* packet) {
  std::uint8_t raw[kCommandPacketSize] = {};
  WriteLe32(raw, CMD_FW);
  const std::string name = tarn::platform::Narrow(member.szName);
  std::memcpy(raw + kFwNameOffset, name.data(), std::min<std::size_t>(name.size(), kFwNameSize));
  *packet = DeserializePacket(raw);
}

void BuildCommit(CKelpa3Engine& job, const IMAGE_MEMBER& member, DWORD length, bool last, COMMAND_PACKET* packet) {
  const int flag = last ? 1 : 0;
  switch (member.wType) {
    case IMAGE_TYPE_STRATINE:
    case IMAGE_TYPE_CSC:
      BuildCommand(job, CMD_STRATINE, member.wPartition - PARTITION_STRATINE, static_cast<int>(length), flag, packet);
      return;
    case IMAGE_TYPE_FW:
      FillFwPacket(member, packet);
      return;
    case IMAGE_TYPE_PHONE: {
      job.FireState(STATE_PHONE_UPDATE, L"Phone Update start");
      job.ReportStatus(0, L"Please wait");
      const int flags = (job.m_options.bPhoneBootUpdate ? 1 : 0) | (job.m_options.bPhoneEfsClear ? 2 : 0);
      BuildCommand(job, CMD_PHONE, 0, static_cast<int>(length), flags, packet);
      return;
    }
    default:
      BuildCommand(job, CMD_WRITE_PARTITION_BASE + member.wPartition, member.bDel, static_cast<int>(length), flag,
                   packet);
      return;
  }
}

int SendCommit(CKelpa3Engine& job, const COMMAND_PACKET& packet) {
  if (SendPacket(job, packet) != 1) return RESULT_FAIL;
  return CheckResponse(job, packet.command);
}

// Ready, the frames and 711 of one piece.
int SendPieceFrames(CKelpa3Engine& job, const IMAGE_MEMBER& member, const CFileMapping& mapping, DWORD offset,
                    DWORD size) {
  if (SendCommand(job, CMD_READY, member.wPartition, static_cast<int>(RoundUpToFrames(size)), 0) != RESULT_OK) {
    return RESULT_FAIL;
  }
  if (rep_XmitData(job, mapping, offset, size) != RESULT_OK) return RESULT_FAIL;
  return SendCommand(job, CMD_END_FRAMES, 0, 0, 0);
}

// The first piece of a member that needs an info block; moves offset and
// remaining past it.
int SendInfoBlockPiece(CKelpa3Engine& job, const IMAGE_MEMBER& member, const CFileMapping& mapping, DWORD limit,
                       DWORD* offset, DWORD* remaining) {
  const DWORD d = std::min(*remaining, limit);
  const DWORD ready = RoundUpToFrames(std::uint64_t{d} + kInfoBlockSize);
  if (SendCommand(job, CMD_READY, member.wPartition, static_cast<int>(ready), 0) != RESULT_OK) return RESULT_FAIL;
  DWORD sent = 0;
  if (rep_XmitSecurityFrame(job, mapping, *offset, d, member, &sent) != RESULT_OK) return RESULT_FAIL;
  if (sent < d && rep_XmitData(job, mapping, *offset + sent, d - sent) != RESULT_OK) return RESULT_FAIL;
  if (SendCommand(job, CMD_END_FRAMES, 0, 0, 0) != RESULT_OK) return RESULT_FAIL;
  if (CommitChunk(job, member, d + kInfoBlockSize, d == *remaining) != RESULT_OK) return RESULT_FAIL;
  *remaining -= d;
  *offset += d;
  return RESULT_OK;
}

}  // namespace

int SendPieces(CKelpa3Engine& job, const IMAGE_MEMBER& member, const CFileMapping& mapping, DWORD offset,
               DWORD size, DWORD limit, bool logPieces) {
  for (DWORD remaining = size; remaining > 0;) {
    const DWORD a = std::min(remaining, limit);
    if (logPieces) TLOG_SLOT(job.m_nIndex, L">>> XmitSize : %d\n", static_cast<int>(a));
    char text[kChecksumTextSize] = {};
    // Without the right MD5 text the phone would refuse the piece anyway.
    if (ChecksumRange(a, job, mapping, offset, text) != 1) return RESULT_FAIL;
    if (SendPieceFrames(job, member, mapping, offset, a) != RESULT_OK) return RESULT_FAIL;
    if (CommitChunkWithDigest(job, member, a, a == remaining, text) != RESULT_OK) return RESULT_FAIL;
    offset += a;
    remaining -= a;
  }
  return RESULT_OK;
}

int SendMember(CKelpa3Engine& job, const IMAGE_MEMBER& member, const CFileMapping& mapping) {
  const DWORD limit = ChunkLimit(job, member);
  DWORD offset = member.dwOffset;
  DWORD remaining = member.dwSize;
  if (job.m_nKeldVersionCopy < 6 && job.m_security.NeedsInfoBlock(job, member) == 1) {
    if (SendInfoBlockPiece(job, member, mapping, limit, &offset, &remaining) != RESULT_OK) return RESULT_FAIL;
  }
  return SendPieces(job, member, mapping, offset, remaining, limit, false);
}

int SendFileSystemMember(CKelpa3Engine& job, const IMAGE_MEMBER& member, const CFileMapping& mapping) {
  const DWORD limit = job.m_nKeldVersionCopy < 7 ? kFsChunkLimitBelow7 : kFsChunkLimitFrom7;
  return SendPieces(job, member, mapping, member.dwOffset, member.dwSize, limit, false);
}

int rep_XmitData(CKelpa3Engine& job, const CFileMapping& mapping, DWORD offset, DWORD size) {
  if (size == 0) return RESULT_FAIL;
  TLOG_SLOT(job.m_nIndex, L"rep_XmitData : Offset %d, size %d\n", static_cast<int>(offset), static_cast<int>(size));
  return SendFrames(job, CopyFromImage, &mapping, offset, size);
}

int XmitData(CKelpa3Engine& job, const std::uint8_t* buffer, DWORD size) {
  if (size == 0) return RESULT_FAIL;
  TLOG_SLOT(job.m_nIndex, L"XmitData size : %d\n", static_cast<int>(size));
  return SendFrames(job, CopyFromBuffer, buffer, 0, size);
}

int rep_XmitSecurityFrame(CKelpa3Engine& job, const CFileMapping& mapping, DWORD offset, DWORD size,
                          const IMAGE_MEMBER& member, DWORD* sent) {
  if (size == 0) return RESULT_FAIL;
  TLOG_SLOT(job.m_nIndex, L"rep_XmitSecurityFrame : Offset %d, size %d\n", static_cast<int>(offset),
            static_cast<int>(size));
  std::vector<std::uint8_t> frame(kFrameSize, kFrameFill);
  job.m_security.BuildInfoBlock(member, frame.data(), size);
  job.m_dwProgressTotal += kInfoBlockSize;
  const DWORD n = std::min(size, kSecurityFrameData);
  if (CopyFromImage(job, &mapping, offset, frame.data() + kInfoBlockSize, n) != RESULT_OK) return RESULT_FAIL;
  if (SendBytes(job, frame.data(), kFrameSize) != 1) return RESULT_FAIL;
  if (CheckResponse(job, 0) != RESULT_OK) return RESULT_FAIL;
  job.m_dwProgressDone += kInfoBlockSize + n;
  job.ReportOverallProgress(PercentOf(n, size));
  *sent = n;
  return RESULT_OK;
}

int CommitChunk(CKelpa3Engine& job, const IMAGE_MEMBER& member, DWORD length, bool last) {
  COMMAND_PACKET packet;
  BuildCommit(job, member, length, last, &packet);
  return SendCommit(job, packet);
}

int CommitChunkWithDigest(CKelpa3Engine& job, const IMAGE_MEMBER& member, DWORD length, bool last,
                          const char* checksumText) {
  COMMAND_PACKET packet;
  BuildCommit(job, member, length, last, &packet);
  std::memcpy(packet.body + (kDigestOffset - offsetof(COMMAND_PACKET, body)), checksumText, kDigestTextSize);
  return SendCommit(job, packet);
}
