// SPDX-License-Identifier: Apache-2.0
#include "engine/download_members.h"

#include "engine/archive_index.h"
#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "engine/tables.h"
#include "link/parameters.h"
#include "link/stratine.h"
#include "link/transfer.h"
#include "platform/file_mapping.h"
#include "support/log.h"

namespace {

constexpr std::int32_t kMinFileSystemLoader = 6;

enum class Decision { Send, Skip, Fail };

Decision DecideRaw(CKelpa3Engine& job, const IMAGE_MEMBER& member) {
  if (member.wPartition != PARTITION_BOOT && member.wPartition != PARTITION_SBL) return Decision::Send;
  if (job.m_options.bBootUpdate) {
    TLOG_SLOT(job.m_nIndex, L"BOOT UPDATE %d\n", static_cast<int>(member.wPartition));
    return Decision::Send;
  }
  job.m_dwProgressDone += member.dwSize;
  TLOG_SLOT(job.m_nIndex, L"%ls pass..\n", member.szName);
  return Decision::Skip;
}

Decision DecideCsc(CKelpa3Engine& job, const IMAGE_MEMBER& member) {
  TLOG_SLOT(job.m_nIndex, L">>> CSC Download\n");
  const int nation = NationOfName(member.szName);
  if (nation == job.m_nNation) {
    job.ReportStatus(0, L"Downloading %ls (%d), %d", member.szName, nation, job.m_nNation);
    return Decision::Send;
  }
  job.ReportStatus(0, L"SKIP %ls (%d), %d", member.szName, nation, job.m_nNation);
  job.ReportOverallProgress(100);
  return Decision::Skip;
}

// Sends or skips one member; RESULT_FAIL stops the archive.
std::int32_t HandleMember(CKelpa3Engine& job, const IMAGE_MEMBER& member, const tarn::platform::CFileMapping& mapping) {
  LinkSession link = job.Link();
  Decision decision = Decision::Skip;
  switch (member.wType) {
    case IMAGE_TYPE_LOGO: TLOG_SLOT(job.m_nIndex, L"LOGO is not supported!\n"); break;
    case IMAGE_TYPE_RAW: decision = DecideRaw(job, member); break;
    case IMAGE_TYPE_FS:
      if (job.m_nKeldVersion < kMinFileSystemLoader) {
        job.ReportError(L"e - Keld Version is too low. Please download again!\n");
        return RESULT_FAIL;
      }
      return SendFileSystemMember(link, member, mapping) == RESULT_FAIL ? RESULT_FAIL : RESULT_OK;
    case IMAGE_TYPE_FW: decision = Decision::Send; break;
    case IMAGE_TYPE_STRATINE:
      TLOG_SLOT(job.m_nIndex, L">>> Stratine Download\n");
      if (job.m_options.bStratineAll) {
        decision = Decision::Send;
      } else {
        // A refused part leaves the phone half written: the archive fails.
        if (SendStratineParts(link, member, mapping, job.m_options.nStratineParts) == RESULT_FAIL) return RESULT_FAIL;
      }
      break;
    case IMAGE_TYPE_CSC: decision = DecideCsc(job, member); break;
    default: TLOG_SLOT(job.m_nIndex, L"Unknown files\n"); break;
  }
  if (decision == Decision::Send && SendMember(link, member, mapping) == RESULT_FAIL) return RESULT_FAIL;
  return RESULT_OK;
}

}  // namespace

std::int32_t DownloadMembers(CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping) {
  LinkSession link = job.Link();
  if (CheckEnvironment(link, MemberSizesOf(job)) != RESULT_OK) return RESULT_FAIL;
  for (const auto& member : job.m_members) {
    job.ReportStatus(0, L"Downloading %ls", member->szName);
    if (HandleMember(job, *member, mapping) == RESULT_FAIL) return RESULT_FAIL;
    job.m_wFilesDone = static_cast<std::uint16_t>(job.m_wFilesDone + 1);
    job.SendFiles();
  }
  return RESULT_OK;
}
