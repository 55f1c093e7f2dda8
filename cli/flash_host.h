// SPDX-License-Identifier: Apache-2.0
// The headless host: starts one job per slot, turns the jobs' messages into
// report lines and progress bars, and, in a Boot Format batch, gives each
// phone that re-attaches after its format-only run a job without the format
// step, as the window's automatic restart does.
#pragma once

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/flash_report.h"
#include "cli/flash_setup.h"
#include "cli/progress_view.h"
#include "engine/pell_linux_np.h"
#include "host/job_event.h"
#include "host/job_questions.h"
#include "platform/messages.h"

namespace tarn::cli {

// Clock milliseconds a phone may take to come back after its format-only run
// before its slot ends as failed.
constexpr DWORD kReattachTimeoutMs = 180000;

// tarn-flash answers the jobs' questions from its options.
class FlashHost : private host::JobQuestions {
 public:
  // `view` may be null (no terminal).
  FlashHost(const FlashSetup& setup, FlashReport& report, ProgressView* view);
  ~FlashHost();
  FlashHost(const FlashHost&) = delete;
  FlashHost& operator=(const FlashHost&) = delete;

  // Every job waits at most `seconds` for a phone's answer (0: the engine's default).
  void SetAnswerTimeout(int seconds) { answerTimeout_ = seconds; }
  // Polled while the batch runs: how many stop requests arrived. The first
  // asks every job to stop at its next command boundary, the second (or the
  // soft stop's bound running out) stops them at once; their slots end STOPPED.
  void WatchStopRequests(std::function<int()> requests) { stopRequests_ = std::move(requests); }

  // Runs the batch to its end on the calling thread; one summary per slot.
  std::vector<SlotSummary> Run();
  // True when a stop request ended the batch early.
  bool Stopped() const { return stopsActedOn_ > 0; }

 private:
  struct SlotRun {
    bool active = false;  // part of the batch
    int port = 0;
    bool jobRunning = false;
    bool formatRun = false;  // the running or last job had the format step
    bool sawPass = false;
    int overall = 0;        // the running or last job's overall percentage
    bool awaiting = false;  // format-only run ended, waiting for the phone
    std::chrono::steady_clock::time_point deadline{};
    bool done = false;
    bool stopped = false;  // the job ended on a stop request
    std::vector<std::wstring> errors;
    std::chrono::steady_clock::time_point started{};
    std::chrono::steady_clock::time_point ended{};
  };

  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnText(const host::JobEvent& event);
  std::optional<int> Nation() const override;
  std::optional<bool> FactoryMode() const override;
  void StartSlot(int slot, int port, bool withFormat);
  void CollectEndedJobs();
  void JobEnded(int slot);
  void WatchMap();
  void RestartAwaiting();
  void ExpireAwaiting();
  void PollStopRequests();
  void StopAll(bool atOnce, bool overdue = false);
  bool AllDone() const;
  bool Accepts(int port) const;
  bool PortOfAnotherSlot(int port, int slot) const;
  SlotSummary SummaryOf(int slot) const;

  const FlashSetup& setup_;
  FlashReport& report_;
  ProgressView* view_;
  platform::HWND target_;
  std::array<CPellLinuxNp, 8> engines_;
  std::array<SlotRun, 8> slots_{};
  // Phone ports of the map at the last look, with the identity of their
  // entry: a phone that re-registers between two looks still counts as back.
  std::map<int, std::uint64_t> seenPorts_;
  std::deque<int> arrivals_;
  int answerTimeout_ = 0;
  std::function<int()> stopRequests_;
  int stopsActedOn_ = 0;
  std::chrono::steady_clock::time_point softStopDeadline_{};
};

// 0 when every slot passed, 1 otherwise.
int ExitCodeOf(const std::vector<SlotSummary>& summaries);

}  // namespace tarn::cli
