// SPDX-License-Identifier: Apache-2.0
#include "engine/job_thread.h"

#include <iterator>

#include "engine/archive_download.h"
#include "engine/events.h"
#include "engine/first_piece.h"
#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "link/connection.h"
#include "link/link_disconnected.h"
#include "link/link_report.h"
#include "link/link_stopped.h"
#include "link/protocol.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/thread.h"
#include "support/log.h"

namespace {

constexpr const char* kModule = "./ThreadImpl";
constexpr DWORD kSlotStaggerMs = 500;
constexpr DWORD kStepPauseMs = 10;
constexpr DWORD kFormatDonePauseMs = 1000;
constexpr DWORD kWaitTickMs = 1000;
constexpr const wchar_t* kPhoneNotWritten = L"e - the phone binary was not written";

using Step = StepResult (*)(CKelpa3Engine& job, const JobDescription& task, RunState& run);

StepResult StepFindPort(CKelpa3Engine& job, const JobDescription& task, RunState& run) {
  LinkSession link = job.Link(task, run);
  int found = 0;
  const std::int32_t r = FindPort(link, task.port, &found);
  if (r == RESULT_OK) run.port = found;
  return AsStepResult(r);
}

StepResult StepOpenPort(CKelpa3Engine& job, const JobDescription& task, RunState& run) {
  LinkSession link = job.Link(task, run);
  return AsStepResult(OpenComPort(link, run.port));
}

StepResult StepConnect(CKelpa3Engine& job, const JobDescription& task, RunState& run) {
  LinkSession link = job.Link(task, run);
  const std::int32_t r = Connect(link);
  if (r == RESULT_OK) run.loaderVersion = link.loaderVersion;
  return AsStepResult(r);
}

StepResult StepCheckPlatform(CKelpa3Engine& job, const JobDescription& task, RunState& run) {
  LinkSession link = job.Link(task, run);
  const std::int32_t r = CheckPlatform(link);
  if (r == RESULT_OK) run.platform = link.options.platform;
  return AsStepResult(r);
}

void SendJobCommand(CKelpa3Engine& job, const JobDescription& task, const RunState& run, int code) {
  LinkSession link = job.Link(task, run);
  SendCommand(link, code, 0, 0, 0);
}

StepResult StepResetRun(CKelpa3Engine& job, const JobDescription& task, RunState& run) {
  if (task.port != -2) return StepResult::Next;
  TLOG_SLOT(job.m_nIndex, L"update failed. reset pda\n");
  SendJobCommand(job, task, run, CMD_RESET);
  job.FireError();
  return StepResult::Fail;
}

// Seconds of the completion wait, which the progress total counts too.
std::uint32_t WaitSeconds(const JobDescription& task) {
  return task.Has(IMAGE_MASK_PDA) ? kCompletionWaitSecondsWithPda : kCompletionWaitSecondsWithoutPda;
}

StepResult StepInitProgress(CKelpa3Engine& job, const JobDescription& task, RunState&) {
  TLOG_SLOT(job.m_nIndex, L"Event Fire Init Progress %d\n", 100);
  job.ReportProgress(0, 0);
  TLOG_SLOT(job.m_nIndex, L"Total Size : %d\n", task.totalSize);
  job.m_dwProgressDone = 0;
  job.m_dwProgressTotal = static_cast<std::uint32_t>(task.totalSize) + WaitSeconds(task);
  return StepResult::Next;
}

// Boot and PDA steps share everything but the mask bit, the log text and the image.
StepResult RunArchiveStep(CKelpa3Engine& job, const JobDescription& task, const RunState& run, ArchiveKind kind) {
  const std::int32_t r = ArchiveDownload(job, task, run, kind);
  if (r == RESULT_FAIL) {
    job.FireError();
    return StepResult::Fail;
  }
  if (r == RESULT_FORMAT_DONE) {
    TLOG_SLOT(job.m_nIndex, L"Format Done!\n");
    job.m_device.Close();
    Sleep(kFormatDonePauseMs);
    return StepResult::FormatDone;
  }
  job.FireState(STATE_PDA_END, L"PDA Download end");
  return StepResult::Next;
}

StepResult StepBoot(CKelpa3Engine& job, const JobDescription& task, RunState& run) {
  if (!task.Has(IMAGE_MASK_BOOT)) return StepResult::Next;
  TLOG_SLOT(job.m_nIndex, L"Boot Download\n");
  return RunArchiveStep(job, task, run, ArchiveKind::Boot);
}

StepResult StepPda(CKelpa3Engine& job, const JobDescription& task, RunState& run) {
  if (!task.Has(IMAGE_MASK_PDA)) return StepResult::Next;
  TLOG_SLOT(job.m_nIndex, L"PDA Download\n");
  return RunArchiveStep(job, task, run, ArchiveKind::Pda);
}

StepResult StepPhone(CKelpa3Engine& job, const JobDescription& task, RunState& run) {
  if (!task.Has(IMAGE_MASK_PHONE)) return StepResult::Next;
  job.m_wFilesTotal = static_cast<std::uint16_t>(job.m_wFilesTotal + 1);
  TLOG_SLOT(job.m_nIndex, L"Phone Download\n");
  job.FireState(STATE_PHONE_START, L"Phone Download start");
  if (PhoneDownload(job, task, run) != RESULT_OK) {
    // A failed phone binary does not stop the job: CSC, reset and wait follow,
    // so the phone is left usable. The job still ends failed.
    job.m_pszFailure = kPhoneNotWritten;
    job.FireError();
    return StepResult::GoOnAfterFailure;
  }
  job.FireState(STATE_PHONE_END, L"Phone Download end");
  return StepResult::Next;
}

StepResult StepCsc(CKelpa3Engine& job, const JobDescription& task, RunState& run) {
  if (!task.Has(IMAGE_MASK_CSC)) return StepResult::Next;
  TLOG_SLOT(job.m_nIndex, L"CSC Download\n");
  if (ArchiveDownload(job, task, run, ArchiveKind::Csc) == RESULT_FAIL) {
    job.FireError();
    return StepResult::Fail;
  }
  job.FireState(STATE_PDA_END, L"PDA Download end");
  return StepResult::Next;
}

StepResult StepNothing(CKelpa3Engine&, const JobDescription&, RunState&) { return StepResult::Next; }

StepResult StepFinish(CKelpa3Engine& job, const JobDescription& task, RunState& run) {
  if (task.options.bAutoReboot == 0 && run.platform == 2 && run.loaderVersion >= 8) {
    SendJobCommand(job, task, run, CMD_FINISH);
  }
  return StepResult::Next;
}

StepResult StepReset(CKelpa3Engine& job, const JobDescription& task, RunState& run) {
  if (task.options.bAutoReboot == 0) return StepResult::Next;
  TLOG_SLOT(job.m_nIndex, L"Reset PDA\n");
  job.ReportStatus(0, L"reset pda..");
  SendJobCommand(job, task, run, CMD_RESET);
  job.FireState(STATE_REBOOT, L"Reboot");
  return StepResult::Next;
}

StepResult StepCompletionWait(CKelpa3Engine& job, const JobDescription& task, RunState&) {
  if (task.options.bNpsMode) return StepResult::Next;
  int checked = 0;
  if (tarn::platform::QueryHostControl(JOB_QUESTION_FACTORY_MODE, &checked)) {
    TLOG_SLOT(job.m_nIndex, L">>>>>>>> CHECK : %d\n", checked);
    if (checked == 0) return StepResult::Next;
  }
  const std::uint32_t duration = WaitSeconds(task);
  job.ReportStatus(0, L"wait for the completion");
  job.FireState(STATE_WAIT, L"Unknown");
  job.ReportProgress(100, 0);
  for (std::uint32_t i = 0; i < duration; ++i) {
    job.StopIfRequested();
    Sleep(kWaitTickMs);
    job.m_dwProgressDone += 1;
    job.ReportProgress(100, PercentOf(i, duration));
  }
  return StepResult::Next;
}

// The steps in their fixed order; the "[ STEP n ]" records number them.
constexpr Step kSteps[] = {StepFindPort,     StepOpenPort, StepConnect, StepCheckPlatform, StepResetRun,
                           StepInitProgress, StepBoot,     StepPda,     StepPhone,         StepCsc,
                           StepNothing,      StepFinish,   StepReset,   StepCompletionWait};
static_assert(std::size(kSteps) == 14);

// PASS only when every step the job ran succeeded.
void ReportOutcome(CKelpa3Engine& job) {
  TLOG_SLOT(job.m_nIndex, L"===> END %d, DOWN %d\n", static_cast<int>(job.m_nIndex),
            static_cast<int>(job.m_wFilesDone));
  if (job.m_pszFailure != nullptr) {
    job.ReportError(L"%ls", job.m_pszFailure);
    return;
  }
  SendMessageW(tarn::platform::GetMainWindow(), WM_JOB_PASS, static_cast<WPARAM>(job.m_nIndex),
               static_cast<LPARAM>(job.m_wFilesDone));
  job.ReportStatus(0, L"end.. bye~");
}

// The nation the host has selected; `unanswered` when it does not say.
int AskNation(int unanswered) {
  int selection = 0;
  return tarn::platform::QueryHostControl(JOB_QUESTION_NATION, &selection) ? selection : unanswered;
}

// Lends the context the run for its checksum records while the run lasts.
class RunLent {
 public:
  RunLent(CKelpa3Engine& job, const RunState& run) : job_(job) { job_.m_pRun = &run; }
  ~RunLent() { job_.m_pRun = nullptr; }
  RunLent(const RunLent&) = delete;
  RunLent& operator=(const RunLent&) = delete;

 private:
  CKelpa3Engine& job_;
};

}  // namespace

std::int32_t RunJob(CKelpa3Engine* context, const JobDescription& task) {
  CKelpa3Engine& job = *context;
  TLOG_SLOT(job.m_nIndex, L"Thread running\n");
  RunState run = RunState::StartOf(task);
  const RunLent lent(job, run);
  job.m_pszFailure = nullptr;
  DigestFirstPieceAhead(job, task);
  Sleep(static_cast<DWORD>(task.slot) * kSlotStaggerMs);
  run.nation = AskNation(run.nation);

  for (int index = 0; index < static_cast<int>(std::size(kSteps)); ++index) {
    TLOG_SLOT(job.m_nIndex, L"==================== [ STEP %d ] ====================\n", index);
    job.StopIfRequested();
    switch (kSteps[index](job, task, run)) {
      case StepResult::Abort: return RESULT_FAIL;
      case StepResult::FormatDone: return RESULT_OK;
      case StepResult::Fail:
        job.ReportError(L"e - usb is disconnected!!");
        job.ReportStatus(0, L"thread will be terminated.");
        job.ReleaseResources();
        job.m_device.Close();
        return RESULT_OK;
      default: break;
    }
    Sleep(kStepPauseMs);
  }
  ReportOutcome(job);
  job.m_device.Close();
  return RESULT_OK;
}

DWORD JobThreadProc(CKelpa3Engine* context, const JobDescription& task) {
  TLOG_FILE(kModule, L"START Thread\n");
  if (context != nullptr) {
    TLOG_FILE(kModule, L"Engine turn on\n");
    try {
      RunJob(context, task);
    } catch (const LinkDisconnected&) {
      context->AbortOnDisconnect();
    } catch (const LinkStopped&) {
      context->ReportStopped();
    } catch (const tarn::platform::ThreadUnwind&) {
      // Unplugged or stopped: release what the job held, then end the thread.
      context->ReleaseResources();
      throw;
    }
    context->ReleaseResources();
  }
  TLOG_FILE(kModule, L"Engine turn off\n");
  return 0;
}
