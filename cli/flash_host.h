// SPDX-License-Identifier: Apache-2.0
// The headless host: runs one batch (host/batch_controller.h) with one job
// per slot, turns the jobs' messages and the controller's reports into report
// lines and progress bars, and, in a Boot Format batch, tells the controller
// which phone ports of the map arrive.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/flash_report.h"
#include "cli/flash_setup.h"
#include "cli/progress_view.h"
#include "host/batch_controller.h"
#include "host/batch_recorder.h"
#include "host/job_event.h"
#include "host/job_questions.h"
#include "platform/messages.h"

namespace tarn::cli {

// Clock milliseconds a phone may take to come back after its format-only run
// before its slot ends as failed.
constexpr DWORD kReattachTimeoutMs = 180000;

// tarn-flash answers the jobs' questions from its options.
class FlashHost : private host::JobQuestions, private host::BatchEvents {
 public:
  // `view` may be null (no terminal).
  FlashHost(const FlashSetup& setup, FlashReport& report, ProgressView* view);
  ~FlashHost();
  FlashHost(const FlashHost&) = delete;
  FlashHost& operator=(const FlashHost&) = delete;

  // Every job waits at most `seconds` for a phone's answer (0: the engine's default).
  void SetAnswerTimeout(int seconds) { batch_.SetAnswerTimeout(seconds); }
  // Polled while the batch runs: how many stop requests arrived. The first
  // asks every job to stop at its next command boundary, the second (or the
  // soft stop's bound running out) stops them at once; their slots end STOPPED.
  void WatchStopRequests(std::function<int()> requests) { stopRequests_ = std::move(requests); }
  // Called with a slot's summary as soon as it is final, before the batch
  // ends: once per slot, in the order the slots end.
  void WatchSlotEnds(std::function<void(const SlotSummary&)> ended) { slotEnds_ = std::move(ended); }
  // Each phone's result and the batch go to `records` too (the journal, a
  // metrics file), with the images' digests when they were worked out.
  void RecordTo(host::BatchRecorder& records, std::vector<host::ImageDigest> digests) {
    records_ = &records;
    digests_ = std::move(digests);
  }

  // Runs the batch to its end on the calling thread; one summary per slot.
  std::vector<SlotSummary> Run();
  // True when a stop request ended the batch early.
  bool Stopped() const { return batch_.Stopping() != host::StopLevel::None; }
  bool InBatch() const { return batch_.InBatch(); }

 private:
  // What the report and the bars show of a slot.
  struct SlotView {
    int port = 0;
    int overall = 0;  // the running or last job's overall percentage
    std::vector<std::wstring> errors;
  };

  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnText(const host::JobEvent& event);
  void ShowError(int slot, const std::wstring& text);
  std::optional<int> Nation() const override;
  // Clock seconds of the jobs' completion wait in Factory Mode.
  unsigned CompletionWaitSeconds() const;
  std::optional<bool> FactoryMode() const override;
  void JobStarting(int slot, int port, bool restart) override;
  void SlotError(int slot, const std::wstring& text) override;
  void AwaitingPhone(int slot) override;
  void SlotEnded(int slot) override;
  void BatchEnded() override;
  void Stopping(host::StopLevel level, bool overdue) override;
  // The phone ports of the map that arrived since the last look.
  std::vector<int> WatchMap();
  void PollStopRequests();
  bool Accepts(int port) const;
  SlotSummary SummaryOf(int slot) const;

  const FlashSetup& setup_;
  FlashReport& report_;
  ProgressView* view_;
  platform::HWND target_;
  // One slot per port, no more.
  host::BatchController batch_;
  std::vector<SlotView> slots_;
  // Phone ports of the map at the last look, with the identity of their
  // entry: a phone that re-registers between two looks still counts as back.
  std::map<int, std::uint64_t> seenPorts_;
  std::function<int()> stopRequests_;
  std::function<void(const SlotSummary&)> slotEnds_;
  host::BatchRecorder* records_ = nullptr;
  std::vector<host::ImageDigest> digests_;
};

// 0 when every slot passed, 1 otherwise.
int ExitCodeOf(const std::vector<SlotSummary>& summaries);

}  // namespace tarn::cli
