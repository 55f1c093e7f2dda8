// SPDX-License-Identifier: Apache-2.0
#include "engine/job_thread.h"

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
constexpr std::uint32_t kWaitSecondsWithPda = 100;
constexpr std::uint32_t kWaitSecondsWithoutPda = 160;
constexpr int kStepCount = 14;
constexpr const wchar_t* kPhoneNotWritten = L"e - the phone binary was not written";

using Step = std::int32_t (*)(CKelpa3Engine& job, std::int32_t argument);

bool HasImage(const CKelpa3Engine& job, std::uint16_t bit) { return (job.m_wImageMask & bit) != 0; }

std::int32_t StepFindPort(CKelpa3Engine& job, std::int32_t port) {
  LinkSession link = job.Link();
  int found = 0;
  const std::int32_t r = FindPort(link, port, &found);
  if (r == RESULT_OK) job.m_nComPort = found;
  return r;
}

std::int32_t StepOpenPort(CKelpa3Engine& job, std::int32_t port) {
  LinkSession link = job.Link();
  return OpenComPort(link, port);
}

std::int32_t StepConnect(CKelpa3Engine& job, std::int32_t) {
  LinkSession link = job.Link();
  const std::int32_t r = Connect(link);
  if (r == RESULT_OK) job.m_nKeldVersion = job.m_nKeldVersionCopy = link.loaderVersion;
  return r;
}

std::int32_t StepCheckPlatform(CKelpa3Engine& job, std::int32_t) {
  LinkSession link = job.Link();
  const std::int32_t r = CheckPlatform(link);
  if (r == RESULT_OK) job.m_options.nPlatform = link.options.platform;
  return r;
}

std::int32_t SendJobCommand(CKelpa3Engine& job, int code) {
  LinkSession link = job.Link();
  return SendCommand(link, code, 0, 0, 0);
}

std::int32_t StepResetRun(CKelpa3Engine& job, std::int32_t) {
  if (job.m_nPort != -2) return RESULT_OK;
  TLOG_SLOT(job.m_nIndex, L"update failed. reset pda\n");
  SendJobCommand(job, CMD_RESET);
  job.FireError();
  return RESULT_FAIL;
}

std::int32_t StepInitProgress(CKelpa3Engine& job, std::int32_t) {
  TLOG_SLOT(job.m_nIndex, L"Event Fire Init Progress %d\n", 100);
  job.ReportProgress(0, 0);
  TLOG_SLOT(job.m_nIndex, L"Total Size : %d\n", job.m_nTotalSize);
  job.m_dwProgressDone = 0;
  const std::uint32_t wait = HasImage(job, IMAGE_MASK_PDA) ? kWaitSecondsWithPda : kWaitSecondsWithoutPda;
  job.m_dwProgressTotal = static_cast<std::uint32_t>(job.m_nTotalSize) + wait;
  return RESULT_OK;
}

// Boot and PDA steps share everything but the mask bit, the log text and the image.
std::int32_t RunArchiveStep(CKelpa3Engine& job, ArchiveKind kind) {
  const std::int32_t r = ArchiveDownload(job, kind);
  if (r == RESULT_FAIL) {
    job.FireError();
    return RESULT_FAIL;
  }
  if (r == RESULT_FORMAT_DONE) {
    TLOG_SLOT(job.m_nIndex, L"Format Done!\n");
    job.m_device.Close();
    Sleep(kFormatDonePauseMs);
    return RESULT_FORMAT_DONE;
  }
  job.FireState(STATE_PDA_END, L"PDA Download end");
  return RESULT_OK;
}

std::int32_t StepBoot(CKelpa3Engine& job, std::int32_t) {
  if (!HasImage(job, IMAGE_MASK_BOOT)) return RESULT_OK;
  TLOG_SLOT(job.m_nIndex, L"Boot Download\n");
  return RunArchiveStep(job, ArchiveKind::Boot);
}

std::int32_t StepPda(CKelpa3Engine& job, std::int32_t) {
  if (!HasImage(job, IMAGE_MASK_PDA)) return RESULT_OK;
  TLOG_SLOT(job.m_nIndex, L"PDA Download\n");
  return RunArchiveStep(job, ArchiveKind::Pda);
}

std::int32_t StepPhone(CKelpa3Engine& job, std::int32_t) {
  if (!HasImage(job, IMAGE_MASK_PHONE)) return RESULT_OK;
  job.m_wFilesTotal = static_cast<std::uint16_t>(job.m_wFilesTotal + 1);
  TLOG_SLOT(job.m_nIndex, L"Phone Download\n");
  job.FireState(STATE_PHONE_START, L"Phone Download start");
  if (PhoneDownload(job) != RESULT_OK) {
    // A failed phone binary does not stop the job: CSC, reset and wait follow,
    // so the phone is left usable. The job still ends failed.
    job.m_pszFailure = kPhoneNotWritten;
    job.FireError();
    return RESULT_GO_ON;
  }
  job.FireState(STATE_PHONE_END, L"Phone Download end");
  return RESULT_OK;
}

std::int32_t StepCsc(CKelpa3Engine& job, std::int32_t) {
  if (!HasImage(job, IMAGE_MASK_CSC)) return RESULT_OK;
  TLOG_SLOT(job.m_nIndex, L"CSC Download\n");
  if (ArchiveDownload(job, ArchiveKind::Csc) == RESULT_FAIL) {
    job.FireError();
    return RESULT_FAIL;
  }
  job.FireState(STATE_PDA_END, L"PDA Download end");
  return RESULT_OK;
}

std::int32_t StepNothing(CKelpa3Engine&, std::int32_t) { return RESULT_OK; }

std::int32_t StepFinish(CKelpa3Engine& job, std::int32_t) {
  if (job.m_options.bAutoReboot == 0 && job.m_options.nPlatform == 2 && job.m_nKeldVersion >= 8) {
    SendJobCommand(job, CMD_FINISH);
  }
  return RESULT_OK;
}

std::int32_t StepReset(CKelpa3Engine& job, std::int32_t) {
  if (job.m_options.bAutoReboot == 0) return RESULT_OK;
  TLOG_SLOT(job.m_nIndex, L"Reset PDA\n");
  job.ReportStatus(0, L"reset pda..");
  SendJobCommand(job, CMD_RESET);
  job.FireState(STATE_REBOOT, L"Reboot");
  return RESULT_OK;
}

std::int32_t StepCompletionWait(CKelpa3Engine& job, std::int32_t) {
  if (job.m_options.bNpsMode) return RESULT_OK;
  int checked = 0;
  if (tarn::platform::QueryHostControl(JOB_QUESTION_FACTORY_MODE, &checked)) {
    TLOG_SLOT(job.m_nIndex, L">>>>>>>> CHECK : %d\n", checked);
    if (checked == 0) return RESULT_OK;
  }
  const std::uint32_t duration = HasImage(job, IMAGE_MASK_PDA) ? kWaitSecondsWithPda : kWaitSecondsWithoutPda;
  job.ReportStatus(0, L"wait for the completion");
  job.FireState(STATE_WAIT, L"Unknown");
  job.ReportProgress(100, 0);
  for (std::uint32_t i = 0; i < duration; ++i) {
    job.StopIfRequested();
    Sleep(kWaitTickMs);
    job.m_dwProgressDone += 1;
    job.ReportProgress(100, PercentOf(i, duration));
  }
  return RESULT_OK;
}

struct StepEntry {
  Step step;
  std::int32_t argument;
};

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

void ReadNationSelection(CKelpa3Engine& job) {
  int selection = 0;
  if (tarn::platform::QueryHostControl(JOB_QUESTION_NATION, &selection)) job.m_nNation = selection;
}

}  // namespace

std::int32_t RunJob(CKelpa3Engine* context) {
  CKelpa3Engine& job = *context;
  TLOG_SLOT(job.m_nIndex, L"Thread running\n");
  job.m_pOwner = job.m_pSelf;
  job.m_nComPort = job.m_nPort;
  job.m_pszFailure = nullptr;
  DigestFirstPieceAhead(job);
  Sleep(static_cast<DWORD>(job.m_nIndex) * kSlotStaggerMs);
  ReadNationSelection(job);

  // Steps 1 and 4 take the COM port in use as step 0 leaves it, so their
  // argument is read when they run.
  const StepEntry steps[kStepCount] = {{StepFindPort, job.m_nPort},
                                       {StepOpenPort, 0},
                                       {StepConnect, 0},
                                       {StepCheckPlatform, 0},
                                       {StepResetRun, 0},
                                       {StepInitProgress, 0},
                                       {StepBoot, 0},
                                       {StepPda, 0},
                                       {StepPhone, 0},
                                       {StepCsc, 0},
                                       {StepNothing, 0},
                                       {StepFinish, 0},
                                       {StepReset, 0},
                                       {StepCompletionWait, 0}};
  for (int index = 0; index < kStepCount; ++index) {
    TLOG_SLOT(job.m_nIndex, L"==================== [ STEP %d ] ====================\n", index);
    job.StopIfRequested();
    const bool takesPort = index == 1 || index == 4;
    const std::int32_t r = steps[index].step(job, takesPort ? job.m_nComPort : steps[index].argument);
    if (r == RESULT_ABORT) return RESULT_FAIL;
    if (r == RESULT_FORMAT_DONE) return RESULT_OK;
    if (r == RESULT_FAIL) {
      job.ReportError(L"e - usb is disconnected!!");
      job.ReportStatus(0, L"thread will be terminated.");
      job.ReleaseResources();
      job.m_device.Close();
      return RESULT_OK;
    }
    Sleep(kStepPauseMs);
  }
  ReportOutcome(job);
  job.m_device.Close();
  return RESULT_OK;
}

DWORD JobThreadProc(CKelpa3Engine* context) {
  TLOG_FILE(kModule, L"START Thread\n");
  if (context != nullptr) {
    TLOG_FILE(kModule, L"Engine turn on\n");
    try {
      RunJob(context);
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
