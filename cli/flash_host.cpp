// SPDX-License-Identifier: Apache-2.0
#include "cli/flash_host.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "cli/output_streams.h"
#include "engine/events.h"
#include "host/soft_stop.h"
#include "platform/devicemap.h"
#include "platform/port_names.h"

namespace tarn::cli {

namespace {

constexpr auto kTick = std::chrono::milliseconds(100);

const char* StopLine(host::StopLevel level, bool overdue) {
  if (overdue) return "tarn-flash: a job did not stop within 5 s; stopping every job at once\n";
  if (level == host::StopLevel::AtOnce) return "tarn-flash: stopping every job at once\n";
  return "tarn-flash: stopping every job at its next command boundary (at most 5 s); a second signal stops them at "
         "once\n";
}

}  // namespace

FlashHost::FlashHost(const FlashSetup& setup, FlashReport& report, ProgressView* view)
    : setup_(setup),
      report_(report),
      view_(view),
      batch_(*this, static_cast<int>(std::min<std::size_t>(setup.ports.size(), platform::kMostPhones))),
      slots_(static_cast<std::size_t>(batch_.SlotCount())) {
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
  if (event.slot < 0 || event.slot >= batch_.SlotCount()) return 0;
  const int slot = event.slot;
  switch (event.kind) {
    case host::JobEventKind::Text:
    case host::JobEventKind::Error: OnText(event); break;
    case host::JobEventKind::Progress:
      slots_[slot].overall = event.overall;
      report_.Progress(slot, event.overall, event.file);
      if (view_) view_->Progress(slot, event.overall, event.file);
      break;
    case host::JobEventKind::State:
      report_.State(slot, event.state);
      if (view_ && event.state == STATE_WAIT) view_->Waiting(slot, CompletionWaitSeconds());
      break;
    case host::JobEventKind::Pass:
      batch_.JobPassed(slot);
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
    batch_.JobFailed(event.slot, text);
    ShowError(event.slot, text);
  } else {
    batch_.JobText(event.slot, text);
    report_.Text(event.slot, text);
  }
  if (view_) view_->Status(event.slot, text);
}

void FlashHost::ShowError(int slot, const std::wstring& text) {
  slots_[slot].errors.push_back(text);
  report_.Error(slot, text);
}

std::optional<int> FlashHost::Nation() const { return setup_.nation; }

unsigned FlashHost::CompletionWaitSeconds() const {
  return (setup_.plan.imageMask & IMAGE_MASK_PDA) != 0 ? kCompletionWaitSecondsWithPda
                                                       : kCompletionWaitSecondsWithoutPda;
}

std::optional<bool> FlashHost::FactoryMode() const { return setup_.factoryMode; }

void FlashHost::JobStarting(int slot, int port, bool restart) {
  slots_[slot].port = port;
  slots_[slot].overall = 0;
  if (records_) records_->JobStarting(slot, port);
  report_.JobStarted(slot, port, restart);
  if (view_) view_->Attach(slot, port);
}

void FlashHost::SlotError(int slot, const std::wstring& text) {
  ShowError(slot, text);
  if (view_ && text == host::kSoftStopOverdueText) view_->Status(slot, text);
}

void FlashHost::AwaitingPhone(int slot) {
  if (view_) view_->Status(slot, L"waiting for the phone to come back");
}

void FlashHost::SlotEnded(int slot) {
  const SlotSummary summary = SummaryOf(slot);
  if (records_) records_->SlotEnded(batch_, slot, summary.port, summary.bytes);
  if (slotEnds_) slotEnds_(summary);
}

void FlashHost::BatchEnded() {
  if (records_) records_->End();
}

void FlashHost::Stopping(host::StopLevel level, bool overdue) {
  if (view_) view_->Erase();
  WriteStream(stderr, StopLine(level, overdue));
}

bool FlashHost::Accepts(int port) const {
  // Ports taken from the map are no fixed list: any phone port may come back.
  return setup_.portsFromMap || std::find(setup_.ports.begin(), setup_.ports.end(), port) != setup_.ports.end();
}

std::vector<int> FlashHost::WatchMap() {
  std::map<int, std::uint64_t> now;
  for (const auto& entry : platform::ReadSerialComm()) {
    if (!IsPhoneModemName(entry.name)) continue;
    const int port = platform::ParseComNumber(entry.port);
    if (port <= 0) continue;
    struct stat st {};
    const auto path = platform::DeviceMapRoot() / "SERIALCOMM" / entry.name;
    now[port] = stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_ino) : 0;
  }
  std::vector<int> arrived;
  for (const auto& [port, identity] : now) {
    auto seen = seenPorts_.find(port);
    if ((seen == seenPorts_.end() || seen->second != identity) && Accepts(port)) arrived.push_back(port);
  }
  seenPorts_ = std::move(now);
  return arrived;
}

void FlashHost::PollStopRequests() {
  // The first request stops every job at its next command boundary, the
  // second at once; the controller enforces the soft stop's bound.
  const int requests = stopRequests_ ? stopRequests_() : 0;
  const host::StopLevel level = batch_.Stopping();
  if (requests > 0 && level == host::StopLevel::None) {
    batch_.Stop(host::StopLevel::AtBoundary);
  } else if (requests > 1 && level == host::StopLevel::AtBoundary) {
    batch_.Stop(host::StopLevel::AtOnce);
  }
}

SlotSummary FlashHost::SummaryOf(int slot) const {
  const SlotView& run = slots_[slot];
  const host::SlotResult result = batch_.Result(slot);
  SlotSummary summary;
  summary.slot = slot;
  summary.port = run.port;
  summary.passed = result == host::SlotResult::Passed;
  summary.stopped = result == host::SlotResult::Stopped;
  summary.filesDone = batch_.Engine(slot).FilesDone();
  summary.errors = run.errors;
  summary.reason = batch_.Reason(slot);
  summary.bytes = host::BytesSent(setup_.plan.totalSize, summary.passed, run.overall);
  summary.seconds = std::chrono::duration<double>(batch_.Ended(slot) - batch_.Started(slot)).count();
  return summary;
}

std::vector<SlotSummary> FlashHost::Run() {
  const bool restarts = setup_.plan.options.bBootFormat != 0;
  if (restarts) WatchMap();  // ports present now are not arrivals
  host::SlotJob job;
  job.pda = setup_.pda;
  job.csc = setup_.csc;
  job.phone = setup_.phone;
  job.imageMask = setup_.plan.imageMask;
  job.totalSize = setup_.plan.totalSize;
  job.options = setup_.plan.options;
  batch_.SetReattachTimeout(kReattachTimeoutMs);
  if (records_) {
    host::BatchFacts facts = host::FactsOf(job, "tarn-flash");
    facts.digests = digests_;
    records_->Start(std::move(facts));
  }
  batch_.Start(job, setup_.ports);
  while (batch_.InBatch()) {
    target_->WaitAndDispatch(kTick);
    PollStopRequests();
    if (restarts) {
      for (int port : WatchMap()) batch_.PortArrived(port);
    }
    batch_.Tick();
    if (view_) view_->Draw();
  }
  target_->DispatchPending();
  std::vector<SlotSummary> summaries;
  for (int slot = 0; slot < batch_.SlotCount(); ++slot) {
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
