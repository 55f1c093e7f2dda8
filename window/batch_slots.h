// SPDX-License-Identifier: Apache-2.0
// Which slots a batch has started and which of them have reached their final
// outcome. A batch is counted per slot, not per message: one job can report
// its own error and then "e - usb is disconnected!!", and counting both would
// end the batch while other phones are still being written.
#pragma once

#include <array>

#include "window/control_ids.h"

namespace tarn::window {

class CBatchSlots {
 public:
  // A new batch: no slot counted, nothing pending.
  void Clear();
  // A job starts on `slot`: the slot is unfinished until its first final outcome.
  void CountIn(int slot);
  // The slot's job reported PASS or an error. True when this is the slot's
  // first final outcome; later ones of the same job count nothing.
  bool Finish(int slot);
  bool AllFinished() const;
  int Unfinished() const;

  // A job that must wait until the slot's previous job thread has ended.
  void DeferStart(int slot) { m_deferred[slot] = true; }
  void CancelStart(int slot) { m_deferred[slot] = false; }
  bool StartDeferred(int slot) const { return m_deferred[slot]; }
  bool AnyStartDeferred() const;

 private:
  std::array<bool, kSlotCount> m_counted{};
  std::array<bool, kSlotCount> m_finished{};
  std::array<bool, kSlotCount> m_deferred{};
};

}  // namespace tarn::window
