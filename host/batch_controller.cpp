// SPDX-License-Identifier: Apache-2.0
// Starting the batch, the slots' outcomes, the job threads, stopping and the
// end of the batch.
#include "host/batch_controller.h"

#include <algorithm>

#include "engine/events.h"
#include "host/image_check.h"
#include "host/job_event.h"
#include "host/soft_stop.h"
#include "platform/clock.h"
#include "platform/port_names.h"

namespace tarn::host {

namespace {

std::chrono::steady_clock::time_point After(DWORD clockMs) {
  return std::chrono::steady_clock::now() +
         std::chrono::duration_cast<std::chrono::steady_clock::duration>(platform::GuardDuration(clockMs));
}

}  // namespace

BatchController::BatchController(BatchEvents& events, int slotCount)
    : events_(events), slots_(static_cast<std::size_t>(std::clamp(slotCount, 0, platform::kMostPhones))) {
  for (std::size_t slot = 0; slot < slots_.size(); ++slot) engines_.push_back(std::make_unique<CPellLinuxNp>());
}

std::vector<std::wstring> BatchController::ImageRefusals(const SlotJob& job) {
  const auto named = [&job](std::uint16_t bit, const std::wstring& path) {
    return (job.imageMask & bit) ? path : std::wstring();
  };
  return CheckImages(named(IMAGE_MASK_PDA, job.pda), named(IMAGE_MASK_CSC, job.csc),
                     named(IMAGE_MASK_PHONE, job.phone));
}

bool BatchController::JobRunning(int slot) {
  std::int16_t running = 0;
  engines_[slot]->IsJobRunning(&running);
  return running != 0;
}

bool BatchController::AnyJobRunning() {
  for (int slot = 0; slot < SlotCount(); ++slot) {
    if (JobRunning(slot)) return true;
  }
  return false;
}

void BatchController::Start(const SlotJob& job, std::span<const int> ports) {
  job_ = job;
  // A restarted job gets the batch's total too, so that its percentages stay in range.
  job_.totalSize = job.totalSize.value_or(0);
  slots_.assign(slots_.size(), Slot{});
  arrivals_.clear();
  stop_ = StopLevel::None;
  inBatch_ = true;
  const int used = std::min(SlotCount(), static_cast<int>(ports.size()));
  for (int slot = 0; slot < used; ++slot) {
    slots_[slot].inBatch = ports[slot] != kNoPort;
    slots_[slot].port = ports[slot];
  }
  for (int slot = 0; slot < used; ++slot) {
    if (ports[slot] != kNoPort) StartSlot(slot, ports[slot], false);
  }
  CheckEnd();
}

void BatchController::StartSlot(int slot, int port, bool restart) {
  Slot& run = slots_[slot];
  SlotJob job = job_;
  if (restart) job.options.bBootFormat = 0;
  run.endReported = false;  // whatever this job's outcome, it is the slot's new end
  const auto countIn = [&] {
    if (answerTimeout_ > 0) engines_[slot]->SetAnswerTimeout(answerTimeout_);
    if (!restart || !run.inBatch) run.started = std::chrono::steady_clock::now();
    run.inBatch = true;
    run.port = port;
    run.formatRun = job.options.bBootFormat != 0;
    run.sawPass = run.finished = run.awaiting = false;
    events_.JobStarting(slot, port, restart);
  };
  if (!StartSlotJob(*engines_[slot], job, port, slot, countIn)) {
    // No job will report for this slot: its outcome is this error, or the
    // batch would never end.
    Settle(slot, kJobNotStartedText);
    return;
  }
  run.jobRunning = true;
}

// Closes the slot's outcome without a job's message.
void BatchController::Settle(int slot, const wchar_t* error) {
  Slot& run = slots_[slot];
  run.finished = true;
  run.awaiting = false;
  run.ended = std::chrono::steady_clock::now();
  if (!error) return;
  run.failed = true;
  events_.SlotError(slot, error);
}

int BatchController::Unfinished() const {
  return static_cast<int>(
      std::count_if(slots_.begin(), slots_.end(), [](const Slot& run) { return run.inBatch && !run.finished; }));
}

void BatchController::JobPassed(int slot) {
  if (!ValidSlot(slot) || !slots_[slot].inBatch) return;  // no job of the batch
  slots_[slot].sawPass = true;
  slots_[slot].finished = true;
  CheckEnd();
}

void BatchController::JobText(int slot, const std::wstring& text) {
  if (!ValidSlot(slot) || !slots_[slot].inBatch || !IsErrorText(text)) return;
  if (slots_[slot].reason.empty()) slots_[slot].reason = WithoutLineEnd(text);
}

void BatchController::JobFailed(int slot, const std::wstring& text) {
  if (!ValidSlot(slot) || !slots_[slot].inBatch) return;
  if (slots_[slot].reason.empty()) slots_[slot].reason = WithoutLineEnd(text);
  slots_[slot].failed = true;
  if (text == kJobStoppedText) slots_[slot].stopped = true;
  slots_[slot].finished = true;
  CheckEnd();
}

SlotResult BatchController::Result(int slot) const {
  const Slot& run = slots_[slot];
  if (run.sawPass && !run.failed) return SlotResult::Passed;
  return run.stopped ? SlotResult::Stopped : SlotResult::Failed;
}

void BatchController::CollectEndedJobs() {
  for (int slot = 0; slot < SlotCount(); ++slot) {
    if (!slots_[slot].jobRunning || JobRunning(slot)) continue;
    // Every message of the job was sent (and so handled) before its thread ended.
    slots_[slot].jobRunning = false;
    JobEnded(slot);
  }
}

void BatchController::JobEnded(int slot) {
  Slot& run = slots_[slot];
  run.ended = std::chrono::steady_clock::now();
  if (run.finished || run.restartPending) return;
  // A Boot Format run ends without an outcome: the phone reboots and comes
  // back, maybe as a new port. Any other job that ends so has nothing to say.
  if (!run.formatRun || stop_ != StopLevel::None) {
    run.stopped = run.stopped || stop_ != StopLevel::None;
    Settle(slot, nullptr);
    return;
  }
  run.awaiting = true;
  if (reattachMs_ > 0) run.deadline = After(reattachMs_);
  events_.AwaitingPhone(slot);
}

void BatchController::ExpireAwaiting() {
  if (reattachMs_ == 0) return;
  const auto now = std::chrono::steady_clock::now();
  for (int slot = 0; slot < SlotCount(); ++slot) {
    if (slots_[slot].awaiting && now >= slots_[slot].deadline) {
      Settle(slot, L"e - the phone did not come back after the boot format");
    }
  }
}

void BatchController::Stop(StopLevel level) { StopAt(level, false); }

void BatchController::StopAt(StopLevel level, bool overdue) {
  if (level <= stop_) return;
  stop_ = level;
  softStopDeadline_ = After(kSoftStopBoundMs);
  events_.Stopping(level, overdue);
  arrivals_.clear();
  for (int slot = 0; slot < SlotCount(); ++slot) {
    Slot& run = slots_[slot];
    run.restartPending = false;
    if (run.awaiting) {
      run.stopped = true;  // it is not flashed again
      Settle(slot, nullptr);
    }
    if (!run.jobRunning) continue;
    if (level == StopLevel::AtBoundary) {
      engines_[slot]->StopAtCommandBoundary();
      continue;
    }
    // A job stopped at once sends nothing more, not even why it ended.
    run.stopped = true;
    engines_[slot]->StopJob();
    if (overdue) Settle(slot, kSoftStopOverdueText);
  }
}

void BatchController::Tick() {
  CollectEndedJobs();
  if (stop_ == StopLevel::AtBoundary && std::chrono::steady_clock::now() >= softStopDeadline_) {
    StopAt(StopLevel::AtOnce, true);
  }
  StartWaitingRestarts();
  HandOutArrivals();
  ExpireAwaiting();
  CheckEnd();
}

bool BatchController::NeedsTicks() {
  if (!inBatch_) return false;
  if (stop_ != StopLevel::None || !arrivals_.empty()) return true;
  for (const Slot& run : slots_) {
    if (run.restartPending || (run.awaiting && reattachMs_ > 0)) return true;
    // A finished job's thread is about to end, and then its slot's end is due.
    if (run.inBatch && run.finished && (run.jobRunning || !run.endReported)) return true;
  }
  return Unfinished() == 0 && AnyJobRunning();
}

bool BatchController::Final(const Slot& run) {
  return run.inBatch && run.finished && !run.jobRunning && !run.restartPending && !run.awaiting;
}

void BatchController::ReportEndedSlots() {
  for (int slot = 0; slot < SlotCount(); ++slot) {
    if (slots_[slot].endReported || !Final(slots_[slot])) continue;
    slots_[slot].endReported = true;
    events_.SlotEnded(slot);
  }
}

void BatchController::CheckEnd() {
  if (!inBatch_) return;
  CollectEndedJobs();
  ReportEndedSlots();
  if (Unfinished() > 0) return;
  for (const Slot& run : slots_) {
    if (run.jobRunning || run.restartPending) return;
  }
  inBatch_ = false;
  events_.BatchEnded();
}

}  // namespace tarn::host
