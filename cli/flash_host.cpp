// SPDX-License-Identifier: Apache-2.0
#include "cli/flash_host.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "cli/output_streams.h"
#include "engine/events.h"
#include "host/soft_stop.h"
#include "host/slot_job.h"
#include "platform/clock.h"
#include "platform/devicemap.h"

namespace tarn::cli {

namespace {

constexpr auto kTick = std::chrono::milliseconds(100);
constexpr int kSlots = 8;

bool ValidSlot(long slot) { return slot >= 0 && slot < kSlots; }

}  // namespace

FlashHost::FlashHost(const FlashSetup& setup, FlashReport& report, ProgressView* view)
    : setup_(setup), report_(report), view_(view) {
  target_ = platform::CMessageTarget::Create(
      [this](UINT message, WPARAM wParam, LPARAM lParam) { return Handle(message, wParam, lParam); });
  platform::SetMainWindow(target_);
}

FlashHost::~FlashHost() {
  target_->Detach();
  if (platform::GetMainWindow() == target_) platform::SetMainWindow(nullptr);
}

LRESULT FlashHost::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == platform::WM_HOST_QUERY_CONTROL) return host::AnswerJobQuestion(*this, wParam);
  const host::JobEvent event = host::DecodeJobMessage(message, wParam, lParam);
  if (event.kind == host::JobEventKind::Files) {
    report_.Files(event.filesTotal, event.filesDone);
    return 0;
  }
  if (!ValidSlot(event.slot)) return 0;
  const int slot = event.slot;
  switch (event.kind) {
    case host::JobEventKind::Text:
    case host::JobEventKind::Error: OnText(event); break;
    case host::JobEventKind::Progress:
      slots_[slot].overall = event.overall;
      report_.Progress(slot, event.overall, event.file);
      if (view_) view_->Progress(slot, event.overall, event.file);
      break;
    case host::JobEventKind::State: report_.State(slot, event.state); break;
    case host::JobEventKind::Pass:
      slots_[slot].sawPass = true;
      report_.Pass(slot, event.filesDone);
      break;
    default: break;
  }
  return 0;
}

void FlashHost::OnText(const host::JobEvent& event) {
  if (event.text == nullptr) return;
  const std::wstring text = event.text;
  if (event.kind == host::JobEventKind::Error) {
    slots_[event.slot].errors.push_back(text);
    if (text == kJobStoppedText) slots_[event.slot].stopped = true;
    report_.Error(event.slot, text);
  } else {
    report_.Text(event.slot, text);
  }
  if (view_) view_->Status(event.slot, text);
}

std::optional<int> FlashHost::Nation() const { return setup_.nation; }

std::optional<bool> FlashHost::FactoryMode() const { return setup_.factoryMode; }

void FlashHost::StartSlot(int slot, int port, bool withFormat) {
  SlotRun& run = slots_[slot];
  host::SlotJob job;
  job.pda = setup_.pda;
  job.csc = setup_.csc;
  job.phone = setup_.phone;
  job.imageMask = setup_.plan.imageMask;
  // A restarted job gets the total too, so that its percentages stay in range.
  job.totalSize = setup_.plan.totalSize;
  job.options = setup_.plan.options;
  job.options.bBootFormat = withFormat ? job.options.bBootFormat : 0;
  const bool restart = run.active;
  const auto enter = [&] {
    if (answerTimeout_ > 0) engines_[slot].SetAnswerTimeout(answerTimeout_);
    if (!run.active) run.started = std::chrono::steady_clock::now();
    run.active = true;
    run.port = port;
    run.formatRun = job.options.bBootFormat != 0;
    run.sawPass = false;
    run.overall = 0;
    run.awaiting = false;
    report_.JobStarted(slot, port, restart);
    if (view_) view_->Attach(slot, port);
  };
  if (!host::StartSlotJob(engines_[slot], job, port, slot, enter)) {
    run.errors.push_back(host::kJobNotStartedText);
    report_.Error(slot, run.errors.back());
    run.done = true;
    run.ended = std::chrono::steady_clock::now();
    return;
  }
  run.jobRunning = true;
}

void FlashHost::CollectEndedJobs() {
  for (int slot = 0; slot < kSlots; ++slot) {
    if (!slots_[slot].jobRunning) continue;
    std::int16_t running = 1;
    engines_[slot].IsJobRunning(&running);
    if (running) continue;
    // Every message of the job was sent (and so handled) before its thread ended.
    slots_[slot].jobRunning = false;
    JobEnded(slot);
  }
}

void FlashHost::JobEnded(int slot) {
  SlotRun& run = slots_[slot];
  run.ended = std::chrono::steady_clock::now();
  const bool formatOnly = run.formatRun && !run.sawPass && run.errors.empty();
  if (formatOnly && Stopped()) run.stopped = true;  // it is not flashed again
  if (formatOnly && !Stopped()) {
    // A format-only run: the phone reboots and comes back as a new port.
    run.awaiting = true;
    run.deadline = run.ended + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   platform::RealDuration(kReattachTimeoutMs));
    if (view_) view_->Status(slot, L"waiting for the phone to come back");
    return;
  }
  run.done = true;
}

bool FlashHost::Accepts(int port) const {
  // Ports taken from the map are no fixed list: any phone port may come back.
  return setup_.portsFromMap || std::find(setup_.ports.begin(), setup_.ports.end(), port) != setup_.ports.end();
}

void FlashHost::WatchMap() {
  std::map<int, std::uint64_t> now;
  for (const auto& entry : platform::ReadSerialComm()) {
    if (!IsPhoneModemName(entry.name)) continue;
    const int port = platform::ParseComNumber(entry.port);
    if (port <= 0) continue;
    struct stat st {};
    const auto path = platform::DeviceMapRoot() / "SERIALCOMM" / entry.name;
    now[port] = stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_ino) : 0;
  }
  for (const auto& [port, identity] : now) {
    auto seen = seenPorts_.find(port);
    const bool arrived = seen == seenPorts_.end() || seen->second != identity;
    if (arrived && Accepts(port) && std::find(arrivals_.begin(), arrivals_.end(), port) == arrivals_.end()) {
      arrivals_.push_back(port);
    }
  }
  seenPorts_ = std::move(now);
}

bool FlashHost::PortOfAnotherSlot(int port, int slot) const {
  for (int other = 0; other < kSlots; ++other) {
    if (other != slot && slots_[other].active && slots_[other].port == port) return true;
  }
  return false;
}

void FlashHost::RestartAwaiting() {
  for (int slot = 0; slot < kSlots && !arrivals_.empty(); ++slot) {
    if (!slots_[slot].awaiting) continue;
    // The phone most likely comes back on its own port; else take the oldest
    // arrival on a new port. Another slot's port is that slot's phone coming
    // back, often before its own job has ended: taking it would flash one
    // phone from two slots and leave this one unflashed.
    auto it = std::find(arrivals_.begin(), arrivals_.end(), slots_[slot].port);
    if (it == arrivals_.end()) {
      it = std::find_if(arrivals_.begin(), arrivals_.end(), [&](int port) { return !PortOfAnotherSlot(port, slot); });
    }
    if (it == arrivals_.end()) continue;
    const int port = *it;
    arrivals_.erase(it);
    StartSlot(slot, port, false);
  }
}

void FlashHost::ExpireAwaiting() {
  const auto now = std::chrono::steady_clock::now();
  for (int slot = 0; slot < kSlots; ++slot) {
    SlotRun& run = slots_[slot];
    if (!run.awaiting || now < run.deadline) continue;
    run.awaiting = false;
    run.done = true;
    run.errors.push_back(L"e - the phone did not come back after the boot format");
    report_.Error(slot, run.errors.back());
  }
}

void FlashHost::PollStopRequests() {
  const int requests = stopRequests_ ? stopRequests_() : 0;
  if (requests > stopsActedOn_ && stopsActedOn_ < 2) {
    StopAll(stopsActedOn_ == 1);
  } else if (stopsActedOn_ == 1 && std::chrono::steady_clock::now() >= softStopDeadline_) {
    StopAll(true, true);
  }
}

void FlashHost::StopAll(bool atOnce, bool overdue) {
  ++stopsActedOn_;
  softStopDeadline_ = std::chrono::steady_clock::now() +
                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                          platform::RealDuration(host::kSoftStopBoundMs));
  if (view_) view_->Erase();
  WriteStream(stderr, overdue  ? "tarn-flash: a job did not stop within 5 s; stopping every job at once\n"
                      : atOnce ? "tarn-flash: stopping every job at once\n"
                               : "tarn-flash: stopping every job at its next command boundary (at most 5 s); a "
                                 "second signal stops them at once\n");
  for (int slot = 0; slot < kSlots; ++slot) {
    SlotRun& run = slots_[slot];
    if (run.awaiting) {
      run.awaiting = false;
      run.done = run.stopped = true;
      run.ended = std::chrono::steady_clock::now();
    }
    if (!run.jobRunning) continue;
    if (atOnce) {
      // A job stopped at once sends nothing more, not even why it ended.
      run.stopped = true;
      engines_[slot].StopJob();
      if (overdue) {
        run.errors.push_back(host::kSoftStopOverdueText);
        report_.Error(slot, run.errors.back());
        if (view_) view_->Status(slot, run.errors.back());
      }
    } else {
      engines_[slot].StopAtCommandBoundary();
    }
  }
}

bool FlashHost::AllDone() const {
  return std::all_of(slots_.begin(), slots_.end(), [](const SlotRun& run) { return !run.active || run.done; });
}

SlotSummary FlashHost::SummaryOf(int slot) const {
  const SlotRun& run = slots_[slot];
  SlotSummary summary;
  summary.slot = slot;
  summary.port = run.port;
  summary.passed = run.sawPass && run.errors.empty();
  summary.stopped = !summary.passed && run.stopped;
  summary.filesDone = engines_[slot].FilesDone();
  summary.errors = run.errors;
  const std::uint64_t jobBytes = setup_.plan.totalSize;
  summary.bytes = summary.passed ? jobBytes
                                 : jobBytes * static_cast<std::uint64_t>(std::clamp(run.overall, 0, 100)) / 100;
  summary.seconds = std::chrono::duration<double>(run.ended - run.started).count();
  return summary;
}

std::vector<SlotSummary> FlashHost::Run() {
  const bool restarts = setup_.plan.options.bBootFormat != 0;
  if (restarts) {
    WatchMap();
    arrivals_.clear();  // ports present now are not arrivals
  }
  for (std::size_t slot = 0; slot < setup_.ports.size() && slot < kSlots; ++slot) {
    StartSlot(static_cast<int>(slot), setup_.ports[slot], true);
  }
  while (!AllDone()) {
    target_->WaitAndDispatch(kTick);
    PollStopRequests();
    CollectEndedJobs();
    if (restarts) {
      WatchMap();
      RestartAwaiting();
      ExpireAwaiting();
    }
    if (view_) view_->Draw();
  }
  target_->DispatchPending();
  std::vector<SlotSummary> summaries;
  for (int slot = 0; slot < kSlots; ++slot) {
    if (!slots_[slot].active) continue;
    summaries.push_back(SummaryOf(slot));
    report_.Summary(summaries.back());
    if (view_) view_->Finish(slot, ResultOf(summaries.back()));
  }
  if (view_) view_->Draw(true);
  return summaries;
}

int ExitCodeOf(const std::vector<SlotSummary>& summaries) {
  for (const auto& summary : summaries) {
    if (!summary.passed) return kExitFailed;
  }
  return kExitPassed;
}

}  // namespace tarn::cli
