// SPDX-License-Identifier: Apache-2.0
// What the batch controller reports, as the window shows it, and the poll
// that lets the controller look at the job threads while it waits for them.
#include <algorithm>
#include <chrono>

#include "platform/clock.h"
#include "window/kelpa3_multi_dlg.h"
#include "window/window_log.h"

using namespace tarn::window;

namespace {

// How often the window looks whether a slot's job thread has ended, while it
// waits for one (clock milliseconds).
constexpr DWORD kBatchPollMs = 20;

}  // namespace

void CKelpa3MultiDlg::JobStarting(int /*slot*/, int /*port*/, bool restart) {
  if (!restart) return;
  TLOG_WINDOW(L"Download started. Create Thread\n");
  TLOG_WINDOW(L"PDA   : %ls\n", m_szPda.c_str());
  TLOG_WINDOW(L"CSC   : %ls\n", m_szCsc.c_str());
  TLOG_WINDOW(L"PHone : %ls\n", m_szPhone.c_str());
}

// Shown as a job's own error is; the controller has counted it already, and
// a second outcome of a slot counts nothing.
void CKelpa3MultiDlg::SlotError(int slot, const std::wstring& text) { OnJobError(text.c_str(), slot); }

void CKelpa3MultiDlg::RestartWaits(int slot) {
  TLOG_WINDOW(L"Slot %d: its last job still runs; the new job waits for it\n", slot);
}

void CKelpa3MultiDlg::BatchEnded() {
  if (!m_closed) OnBatchEnd();
}

void CKelpa3MultiDlg::FinishSlot(int slot, const wchar_t* error) {
  if (error) {
    m_batch.JobFailed(slot, error);
  } else {
    m_batch.JobPassed(slot);
  }
  SchedulePoll();
}

void CKelpa3MultiDlg::OnBatchPoll() {
  m_batch.Tick();
  SchedulePoll();
}

int CKelpa3MultiDlg::BatchPollInterval() {
  const auto interval = std::chrono::ceil<std::chrono::milliseconds>(tarn::platform::RealDuration(kBatchPollMs));
  return std::max<int>(1, static_cast<int>(interval.count()));
}

void CKelpa3MultiDlg::SchedulePoll() {
  if (m_closed || !m_batch.NeedsTicks()) {
    m_batchPoll.stop();
    return;
  }
  m_batchPoll.setInterval(BatchPollInterval());
  if (!m_batchPoll.isActive()) m_batchPoll.start();
}
