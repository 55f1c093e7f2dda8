// SPDX-License-Identifier: Apache-2.0
// One batch as every host runs it: the slots it counts in, each slot's first
// final outcome, the job a phone gets when it comes back after its Boot
// Format run, the stop at a command boundary and the stop at once, and the
// end of the batch once every outcome is in and every job thread has ended.
//
// The controller owns the slots' engines and decides; its host only shows
// what it reports (through BatchEvents) and passes on what the jobs say
// (JobPassed, JobFailed) and which phone ports arrive. It never waits: the
// host calls Tick while NeedsTicks holds, on the thread that handles the
// jobs' messages. Deadlines go by the project's clock, so tests speed them up.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/pell_linux_np.h"
#include "host/slot_job.h"
#include "platform/win_types.h"

namespace tarn::host {

constexpr int kNoPort = -1;  // a slot without a phone

enum class StopLevel { None, AtBoundary, AtOnce };
enum class SlotResult { Passed, Failed, Stopped };

// What the controller tells its host.
class BatchEvents {
 public:
  virtual ~BatchEvents() = default;
  // The slot's engine has everything; its job starts next. `restart`: a job
  // without the format step, given by Restart.
  virtual void JobStarting(int slot, int port, bool restart) = 0;
  // An outcome the controller gives a slot itself (its job could not start,
  // its phone did not come back, it was stopped at once after the soft
  // stop's bound): shown as a job's error is.
  virtual void SlotError(int slot, const std::wstring& text) = 0;
  // A job for a phone that came back waits until the slot's last job has ended.
  virtual void RestartWaits(int /*slot*/) {}
  // The slot's Boot Format run has ended; its phone is expected back.
  virtual void AwaitingPhone(int /*slot*/) {}
  // The slot's Result, Reason, Started and Ended are final: its last job has
  // its outcome and its thread has ended, no job waits for it and it awaits
  // no phone. Once per slot of the batch, before BatchEnded; a slot that a
  // host's Restart gives a further phone after that ends, and reports, again.
  virtual void SlotEnded(int /*slot*/) {}
  // A stop was asked for; `overdue`: the soft stop's bound ran out.
  virtual void Stopping(StopLevel /*level*/, bool /*overdue*/) {}
  virtual void BatchEnded() {}
};

class BatchController {
 public:
  // `slotCount` slots (at most platform::kMostPhones), each with its engine
  // from the start: an idle engine holds its job context (some 21 KiB), so a
  // host makes only the slots it can show.
  BatchController(BatchEvents& events, int slotCount);
  BatchController(const BatchController&) = delete;
  BatchController& operator=(const BatchController&) = delete;

  // Every image of `job`'s mask checked as START must (host/image_check.h):
  // one line per cause, empty when START may go on.
  static std::vector<std::wstring> ImageRefusals(const SlotJob& job);

  // Clock milliseconds a phone may take to come back after its Boot Format
  // run before its slot fails; 0 waits as long as the batch runs.
  void SetReattachTimeout(DWORD clockMs) { reattachMs_ = clockMs; }
  // Every job waits at most `seconds` for a phone's answer (0: the engine's default).
  void SetAnswerTimeout(int seconds) { answerTimeout_ = seconds; }

  int SlotCount() const { return static_cast<int>(slots_.size()); }
  CPellLinuxNp& Engine(int slot) { return *engines_[slot]; }
  const CPellLinuxNp& Engine(int slot) const { return *engines_[slot]; }
  bool JobRunning(int slot);
  bool AnyJobRunning();

  // Starts `job` on every slot whose port (ports[slot]) is not kNoPort;
  // slots past the end of `ports` stay out of the batch. Every slot is
  // counted in before the first job starts, so that a job that cannot start
  // does not end the batch of the others.
  void Start(const SlotJob& job, std::span<const int> ports);
  bool InBatch() const { return inBatch_; }
  // Slots of the batch whose job has no final outcome yet.
  int Unfinished() const;
  StopLevel Stopping() const { return stop_; }

  // A job's final messages. Only a slot's first outcome counts: one job can
  // report its own error and then "e - usb is disconnected!!".
  void JobPassed(int slot);
  void JobFailed(int slot, const std::wstring& text);
  // A text of the slot's job: an error text among them may be the slot's reason.
  void JobText(int slot, const std::wstring& text);
  // Passed only when the slot's last job passed and none of its jobs failed.
  SlotResult Result(int slot) const;
  // Why the slot did not pass: its first error in this batch, whether the
  // job sent it as an error or as a text (its closing error follows from
  // it); empty when there was none.
  const std::wstring& Reason(int slot) const { return slots_[slot].reason; }
  // When the slot's first job started and when its last one ended.
  std::chrono::steady_clock::time_point Started(int slot) const { return slots_[slot].started; }
  std::chrono::steady_clock::time_point Ended(int slot) const { return slots_[slot].ended; }

  // ---- Phones that come back during a Boot Format batch ---------------------
  // Whether an arriving phone port may get a job now.
  bool TakesArrivals() const;
  // The slot of the batch that `port` is the phone of: the slot on that very
  // port whose Boot Format run has no outcome yet; else, for a port that is
  // no other slot's, the first slot whose Boot Format run has ended. -1 for none.
  int SlotForArrival(int port);
  // Gives `slot` a job without the format step on `port` once its last job
  // has ended; the slot joins the batch if it was not in it.
  void Restart(int slot, int port);
  // Drops a job that waits for the slot's last one; true when one waited.
  bool CancelRestart(int slot);
  // An arrival kept until a slot of the batch wants it (SlotForArrival).
  void PortArrived(int port);

  // ---- Stopping ----------------------------------------------------------------
  // AtBoundary asks every job to stop at its next command boundary, bounded
  // by host/soft_stop.h; AtOnce stops them now. No job starts afterwards.
  void Stop(StopLevel level);

  // Looks at the job threads, starts the jobs that waited, hands out kept
  // arrivals, fails phones that did not come back, enforces the soft stop's
  // bound and ends the batch.
  void Tick();
  bool NeedsTicks();

 private:
  struct Slot {
    bool inBatch = false;
    int port = kNoPort;
    bool jobRunning = false;  // a job was started and its thread not yet seen ended
    bool formatRun = false;   // the running or last job has the format step
    bool sawPass = false;     // the running or last job passed
    bool finished = false;    // the running or last job has its outcome
    bool failed = false;      // a job of the slot failed in this batch
    bool stopped = false;
    bool awaiting = false;  // Boot Format run ended, its phone not back yet
    bool restartPending = false;
    int restartPort = kNoPort;
    bool endReported = false;  // SlotEnded was called for its last job
    std::wstring reason;
    std::chrono::steady_clock::time_point deadline{}, started{}, ended{};
  };

  void StartSlot(int slot, int port, bool restart);
  void Settle(int slot, const wchar_t* error);
  void CollectEndedJobs();
  void JobEnded(int slot);
  void StartWaitingRestarts();
  void HandOutArrivals();
  int SlotForArrival(int port, bool ownPortOnly);
  bool PortOfAnotherSlot(int port, int slot) const;
  void ExpireAwaiting();
  void StopAt(StopLevel level, bool overdue);
  bool ValidSlot(int slot) const { return slot >= 0 && slot < SlotCount(); }
  // Nothing of the slot's outcome can change any more (see SlotEnded).
  static bool Final(const Slot& run);
  void ReportEndedSlots();
  void CheckEnd();

  BatchEvents& events_;
  std::vector<std::unique_ptr<CPellLinuxNp>> engines_;
  std::vector<Slot> slots_;
  SlotJob job_;
  bool inBatch_ = false;
  std::deque<int> arrivals_;
  DWORD reattachMs_ = 0;
  int answerTimeout_ = 0;
  StopLevel stop_ = StopLevel::None;
  std::chrono::steady_clock::time_point softStopDeadline_{};
};

}  // namespace tarn::host
