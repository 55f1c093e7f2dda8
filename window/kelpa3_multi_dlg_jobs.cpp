// SPDX-License-Identifier: Apache-2.0
// What the batch controller reports, as the window shows it, and the poll
// that lets the controller look at the job threads while it waits for them.
#include <algorithm>
#include <chrono>

#include <QPlainTextEdit>
#include <QStringList>

#include "platform/clock.h"
#include "window/kelpa3_multi_dlg.h"
#include "window/window_log.h"

using namespace tarn::window;

namespace {

// How often the window looks whether a slot's job thread has ended, while it
// waits for one (clock milliseconds).
constexpr DWORD kBatchPollMs = 20;

}  // namespace

void CKelpa3MultiDlg::JobStarting(int slot, int port, bool restart) {
  m_slotInBatch[slot] = true;
  m_jobPort[slot] = port;
  m_overall[slot] = 0;
  if (m_records) m_records->JobStarting(slot, port);
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

// The controller needs its ticks to see the stopped threads end and to end
// the batch, whoever asked for the stop.
void CKelpa3MultiDlg::Stopping(tarn::host::StopLevel /*level*/, bool /*overdue*/) { SchedulePoll(); }

void CKelpa3MultiDlg::SlotEnded(int slot) {
  if (!m_records) return;
  const bool passed = m_batch.Result(slot) == tarn::host::SlotResult::Passed;
  m_records->SlotEnded(m_batch, slot, m_jobPort[slot], tarn::host::BytesSent(m_nTotalSize, passed, m_overall[slot]));
}

void CKelpa3MultiDlg::BatchEnded() {
  if (m_records) m_records->End();
  if (m_closed) return;
  TallyBatch();
  // Once: the station's tooling misses the counts until someone mends it.
  const std::string metrics = m_records ? m_records->TakeMetricsError() : std::string();
  if (!metrics.empty()) RefuseStart(QString::fromLocal8Bit(metrics));
  OnBatchEnd();
}

void CKelpa3MultiDlg::TallyBatch() {
  using tarn::host::SlotResult;
  int passed = 0, failed = 0, stopped = 0;
  QStringList reasons;  // why each failed slot failed: its first error, not the closing one
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!m_slotInBatch[slot]) continue;
    switch (m_batch.Result(slot)) {
      case SlotResult::Passed: ++passed, ++m_dayPasses[slot]; break;
      case SlotResult::Failed:
        ++failed, ++m_dayFailures[slot];
        reasons << QStringLiteral("  Device %1: ").arg(slot) + QString::fromStdWString(m_batch.Reason(slot));
        break;
      case SlotResult::Stopped: ++stopped, ShowStopped(slot); break;
    }
  }
  const int phones = passed + failed + stopped;
  const QString line = QStringLiteral("%1 %2: %3 passed, %4 failed, %5 stopped")
                           .arg(phones)
                           .arg(phones == 1 ? QStringLiteral("phone") : QStringLiteral("phones"))
                           .arg(passed)
                           .arg(failed)
                           .arg(stopped);
  QPlainTextEdit* main = Edit(IDC_MAIN_EDIT);
  for (const QString& text : QStringList{line} + reasons) {
    if (main) AppendLine(main, text);
    LogReadyString(text);
  }
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
