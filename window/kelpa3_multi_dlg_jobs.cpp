// SPDX-License-Identifier: Apache-2.0
// Each slot's job: starting it on an engine whose thread has ended, the start
// that waits for a slot's previous job, and the end of the batch once every
// slot has its outcome and every job thread has ended.
#include <algorithm>
#include <chrono>

#include "host/slot_job.h"
#include "platform/clock.h"
#include "window/kelpa3_multi_dlg.h"
#include "window/window_log.h"

using namespace tarn::window;

namespace {

// How often the window looks whether a slot's job thread has ended, while it
// waits for one (clock milliseconds).
constexpr DWORD kBatchPollMs = 20;

}  // namespace

bool CKelpa3MultiDlg::JobRunning(int slot) {
  std::int16_t running = 0;
  m_engines[slot].IsJobRunning(&running);
  return running != 0;
}

bool CKelpa3MultiDlg::AnyJobRunning() {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (JobRunning(slot)) return true;
  }
  return false;
}

void CKelpa3MultiDlg::StartSlot(int slot, const ENGINE_OPTIONS& options, bool setTotalSize) {
  tarn::host::SlotJob job;
  job.pda = m_szPda;
  job.csc = m_szCsc;
  job.phone = m_szPhone;
  // The window keeps its mask in a byte and widens it with its sign.
  job.imageMask = static_cast<std::uint16_t>(static_cast<std::int8_t>(m_imageMask));
  if (setTotalSize) job.totalSize = m_nTotalSize;
  job.options = options;
  const auto countIn = [this, slot] { m_batchSlots.CountIn(slot); };
  if (!tarn::host::StartSlotJob(m_engines[slot], job, m_nPort[slot], slot, countIn)) {
    // No job will report for this slot: its outcome is this error, or the
    // batch would never end.
    OnJobError(tarn::host::kJobNotStartedText, slot);
  }
}

void CKelpa3MultiDlg::RestartSlot(int slot) {
  TLOG_WINDOW(L"Download started. Create Thread\n");
  ENGINE_OPTIONS options = m_options;
  options.bBootFormat = 0;
  TLOG_WINDOW(L"PDA   : %ls\n", m_szPda.c_str());
  TLOG_WINDOW(L"CSC   : %ls\n", m_szCsc.c_str());
  TLOG_WINDOW(L"PHone : %ls\n", m_szPhone.c_str());
  StartSlot(slot, options, false);
}

void CKelpa3MultiDlg::OnBatchPoll() {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (m_stopping || !m_batchSlots.StartDeferred(slot) || JobRunning(slot)) continue;
    m_batchSlots.CancelStart(slot);
    RestartSlot(slot);
  }
  CheckBatchEnd();
}

int CKelpa3MultiDlg::BatchPollInterval() {
  const auto interval = std::chrono::ceil<std::chrono::milliseconds>(tarn::platform::RealDuration(kBatchPollMs));
  return std::max<int>(1, static_cast<int>(interval.count()));
}

void CKelpa3MultiDlg::CheckBatchEnd() {
  const bool outcomesIn = m_bBatch == 1 && m_batchSlots.AllFinished();
  const bool threadsRun = outcomesIn && AnyJobRunning();
  if (!m_closed && (m_batchSlots.AnyStartDeferred() || threadsRun)) {
    m_batchPoll.setInterval(BatchPollInterval());
    if (!m_batchPoll.isActive()) m_batchPoll.start();
    return;
  }
  m_batchPoll.stop();
  if (outcomesIn && !m_closed) OnBatchEnd();
}

void CKelpa3MultiDlg::FinishSlot(int slot) {
  if (!m_batchSlots.Finish(slot)) return;  // a later outcome of the same job, or no job of the batch
  CheckBatchEnd();
}
