// SPDX-License-Identifier: Apache-2.0
// Phones that come back during a Boot Format batch: which slot an arriving
// port belongs to, and its job without the format step, which waits until
// the slot's last job thread has ended (two jobs must never share one engine).
#include <algorithm>

#include "host/batch_controller.h"

namespace tarn::host {

bool BatchController::TakesArrivals() const {
  return inBatch_ && job_.options.bBootFormat != 0 && stop_ == StopLevel::None;
}

int BatchController::SlotForArrival(int port) { return SlotForArrival(port, false); }

int BatchController::SlotForArrival(int port, bool ownPortOnly) {
  if (!TakesArrivals()) return -1;
  CollectEndedJobs();
  const auto expecting = [](const Slot& run) {
    return run.inBatch && run.formatRun && !run.finished && !run.restartPending;
  };
  // The phone most likely comes back on its own port, often while its last
  // job still pauses after the format.
  for (int slot = 0; slot < SlotCount(); ++slot) {
    if (expecting(slots_[slot]) && slots_[slot].port == port) return slot;
  }
  if (ownPortOnly) return -1;
  // Else a new port, to the first slot whose run has ended. Another slot's
  // port is that slot's phone coming back, often before its own job has
  // ended: taking it would flash one phone from two slots and leave this
  // one unflashed.
  for (int slot = 0; slot < SlotCount(); ++slot) {
    if (slots_[slot].awaiting && !slots_[slot].restartPending && !PortOfAnotherSlot(port, slot)) return slot;
  }
  return -1;
}

bool BatchController::PortOfAnotherSlot(int port, int slot) const {
  for (int other = 0; other < SlotCount(); ++other) {
    if (other != slot && slots_[other].inBatch && slots_[other].port == port) return true;
  }
  return false;
}

void BatchController::Restart(int slot, int port) {
  Slot& run = slots_[slot];
  run.restartPending = true;
  run.restartPort = port;
  run.awaiting = false;
  CollectEndedJobs();
  if (run.jobRunning) {
    events_.RestartWaits(slot);
    return;
  }
  StartWaitingRestarts();
}

bool BatchController::CancelRestart(int slot) {
  Slot& run = slots_[slot];
  if (!run.restartPending) return false;
  run.restartPending = false;
  CollectEndedJobs();
  // A Boot Format run that ended while the job waited expects its phone again.
  if (!run.jobRunning && !run.finished) JobEnded(slot);
  CheckEnd();
  return true;
}

void BatchController::StartWaitingRestarts() {
  for (int slot = 0; slot < SlotCount(); ++slot) {
    Slot& run = slots_[slot];
    if (!run.restartPending || run.jobRunning || stop_ != StopLevel::None) continue;
    run.restartPending = false;
    StartSlot(slot, run.restartPort, true);
  }
}

void BatchController::PortArrived(int port) {
  if (!TakesArrivals() || std::find(arrivals_.begin(), arrivals_.end(), port) != arrivals_.end()) return;
  arrivals_.push_back(port);
  HandOutArrivals();
}

void BatchController::HandOutArrivals() {
  // Every slot's own port first, then the new ports, oldest first.
  for (bool ownPortOnly : {true, false}) {
    for (auto it = arrivals_.begin(); it != arrivals_.end();) {
      const int slot = SlotForArrival(*it, ownPortOnly);
      if (slot < 0) {
        ++it;
        continue;
      }
      const int port = *it;
      it = arrivals_.erase(it);
      Restart(slot, port);
    }
  }
}

}  // namespace tarn::host
