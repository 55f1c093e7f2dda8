// SPDX-License-Identifier: Apache-2.0
#include "engine/format_boot.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "engine/archive_download.h"
#include "engine/archive_index.h"
#include "engine/events.h"
#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "link/image_read.h"
#include "link/protocol.h"
#include "link/transfer.h"
#include "platform/file_mapping.h"
#include "support/log.h"
#include "wire/partitions.h"

namespace {

bool CopyMember(CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping, const IMAGE_MEMBER& member,
                std::uint8_t* destination) {
  if (tarn::platform::CopyFromMapping(mapping, member.dwOffset, destination, member.dwSize)) return true;
  LinkSession link = job.ReportingLink();
  LogImageReadFailure(link, mapping);
  return false;
}

// Sends one block: Ready, its bytes, 711; counts it as a file.
std::int32_t SendBlock(CKelpa3Engine& job, LinkSession& link, const tarn::platform::CFileMapping& mapping,
                       const IMAGE_MEMBER& boot, const IMAGE_MEMBER& sbl, bool first, std::uint32_t blockSize,
                       std::vector<std::uint8_t>& buffer) {
  if (SendCommand(link, CMD_READY, PARTITION_BOOT, static_cast<int>(RoundUpToFrames(blockSize)), 0) != RESULT_OK) {
    return RESULT_FAIL;
  }
  std::uint8_t* position = buffer.data();
  if (first) {
    if (!CopyMember(job, mapping, boot, position)) return RESULT_FAIL;
    position += kBootAreaSize;
  }
  if (sbl.bDel) {
    job.m_security.BuildInfoBlock(sbl, position, sbl.dwSize);
    position += kInfoBlockSize;
    job.m_dwProgressTotal += kInfoBlockSize;
  }
  if (!CopyMember(job, mapping, sbl, position)) return RESULT_FAIL;
  if (XmitData(link, buffer.data(), blockSize) != RESULT_OK) return RESULT_FAIL;
  if (SendCommand(link, CMD_END_FRAMES, 0, 0, 0) != RESULT_OK) return RESULT_FAIL;
  job.m_wFilesDone = static_cast<std::uint16_t>(job.m_wFilesDone + 1);
  job.SendFiles();
  return RESULT_OK;
}

}  // namespace

std::int32_t FormatBoot(CKelpa3Engine& job, const JobDescription& task, const RunState& run,
                        const tarn::platform::CFileMapping& mapping) {
  const IMAGE_MEMBER* boot = FirstMemberOf(job, PARTITION_BOOT);
  const IMAGE_MEMBER* sbl = FirstMemberOf(job, PARTITION_SBL);
  if (boot == nullptr || sbl == nullptr) return RESULT_NO_FORMAT;
  job.ReportStatus(0, L"Format");
  TLOG_SLOT(job.m_nIndex, L"boot.bin size is %d\n", static_cast<int>(kBootAreaSize));
  // BOOT has exactly its 128 KiB area; a larger one would overrun SBL.
  if (boot->dwSize > kBootAreaSize) {
    job.ReportError(L"e - %ls is %u bytes; the boot area holds %u", boot->szName, boot->dwSize, kBootAreaSize);
    return RESULT_FAIL;
  }
  job.m_wFilesTotal = static_cast<std::uint16_t>(job.m_wFilesTotal + 2);
  job.m_dwProgressTotal += kBootAreaSize + 2 * sbl->dwSize;
  const std::uint32_t extra = sbl->bDel ? kInfoBlockSize : 0;
  const std::uint64_t block0 = std::uint64_t{kBootAreaSize} + sbl->dwSize + extra;
  const std::uint64_t block1 = std::uint64_t{sbl->dwSize} + extra;
  if (block0 > kMaxImageBytes) {
    job.ReportError(L"e - not enough memory..");
    return RESULT_FAIL;
  }
  std::vector<std::uint8_t> buffer;
  try {
    buffer.assign(static_cast<std::size_t>(block0), 0);
  } catch (const std::bad_alloc&) {
    job.ReportError(L"e - not enough memory..");
    return RESULT_FAIL;
  }
  LinkSession link = job.Link(task, run);
  if (SendBlock(job, link, mapping, *boot, *sbl, true, static_cast<std::uint32_t>(block0), buffer) != RESULT_OK) {
    return RESULT_FAIL;
  }
  if (SendBlock(job, link, mapping, *boot, *sbl, false, static_cast<std::uint32_t>(block1), buffer) != RESULT_OK) {
    return RESULT_FAIL;
  }
  job.FireState(STATE_FORMAT, L"Format");
  return SendCommand(link, CMD_FORMAT, 0, 0, 0) == RESULT_FAIL ? RESULT_FAIL : RESULT_FORMAT_DONE;
}
