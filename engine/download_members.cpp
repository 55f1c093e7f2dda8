// SPDX-License-Identifier: Apache-2.0
#include "engine/download_members.h"

#include "engine/archive_index.h"
#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "link/parameters.h"
#include "link/stratine.h"
#include "link/transfer.h"
#include "platform/file_mapping.h"
#include "support/log.h"

namespace {

// The lines that open the Stratine and CSC members, whatever is done with them.
void AnnounceType(CKelpa3Engine& job, const IMAGE_MEMBER& member) {
  if (member.wType == IMAGE_TYPE_STRATINE) TLOG_SLOT(job.m_nIndex, L">>> Stratine Download\n");
  if (member.wType == IMAGE_TYPE_CSC) TLOG_SLOT(job.m_nIndex, L">>> CSC Download\n");
}

void AnnounceSend(CKelpa3Engine& job, const RunState& run, const IMAGE_MEMBER& member, const MemberPlan& plan) {
  if (member.wType == IMAGE_TYPE_RAW && (member.wPartition == PARTITION_BOOT || member.wPartition == PARTITION_SBL)) {
    TLOG_SLOT(job.m_nIndex, L"BOOT UPDATE %d\n", static_cast<int>(member.wPartition));
  }
  if (member.wType == IMAGE_TYPE_CSC) {
    job.ReportStatus(0, L"Downloading %ls (%d), %d", member.szName, plan.nation, run.nation);
  }
}

std::int32_t FailedOrOk(std::int32_t result) { return result == RESULT_FAIL ? RESULT_FAIL : RESULT_OK; }

// Sends or skips one member as its plan says; RESULT_FAIL stops the archive.
std::int32_t HandleMember(CKelpa3Engine& job, const JobDescription& task, const RunState& run,
                          const IMAGE_MEMBER& member, const tarn::platform::CFileMapping& mapping) {
  LinkSession link = job.Link(task, run);
  const MemberPlan plan = PlanJobMember(task, run, member);
  AnnounceType(job, member);
  switch (plan.action) {
    case MemberAction::Send: AnnounceSend(job, run, member, plan); return FailedOrOk(SendMember(link, member, mapping));
    case MemberAction::SendFileSystem: return FailedOrOk(SendFileSystemMember(link, member, mapping));
    case MemberAction::SendStratineParts:
      // A refused part leaves the phone half written: the archive fails.
      return FailedOrOk(SendStratineParts(link, member, mapping, task.options.nStratineParts));
    case MemberAction::PassBoot:
      job.m_dwProgressDone += member.dwSize;
      TLOG_SLOT(job.m_nIndex, L"%ls pass..\n", member.szName);
      return RESULT_OK;
    case MemberAction::SkipNation:
      job.ReportStatus(0, L"SKIP %ls (%d), %d", member.szName, plan.nation, run.nation);
      job.ReportOverallProgress(100);
      return RESULT_OK;
    case MemberAction::LoaderTooOld:
      job.ReportError(L"e - Keld Version is too low. Please download again!\n");
      return RESULT_FAIL;
    case MemberAction::SkipLogo: TLOG_SLOT(job.m_nIndex, L"LOGO is not supported!\n"); return RESULT_OK;
    case MemberAction::Unknown: break;
  }
  TLOG_SLOT(job.m_nIndex, L"Unknown files\n");
  return RESULT_OK;
}

}  // namespace

SendChoice JobSendChoice(const JobDescription& task, const RunState& run) {
  SendChoice choice;
  choice.bootUpdate = task.options.bBootUpdate != 0;
  choice.nation = run.nation;
  choice.stratineAll = task.options.bStratineAll != 0;
  choice.stratineParts = task.options.nStratineParts;
  choice.loaderVersion = run.loaderVersion;
  return choice;
}

MemberPlan PlanJobMember(const JobDescription& task, const RunState& run, const IMAGE_MEMBER& member) {
  return PlanMember(member, JobSendChoice(task, run));
}

std::int32_t DownloadMembers(CKelpa3Engine& job, const JobDescription& task, const RunState& run,
                             const tarn::platform::CFileMapping& mapping) {
  LinkSession link = job.Link(task, run);
  if (CheckEnvironment(link, MemberSizesOf(job)) != RESULT_OK) return RESULT_FAIL;
  for (const auto& member : job.m_members) {
    job.ReportStatus(0, L"Downloading %ls", member->szName);
    if (HandleMember(job, task, run, *member, mapping) == RESULT_FAIL) return RESULT_FAIL;
    job.m_wFilesDone = static_cast<std::uint16_t>(job.m_wFilesDone + 1);
    job.SendFiles();
  }
  return RESULT_OK;
}
