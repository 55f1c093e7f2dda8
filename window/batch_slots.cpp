// SPDX-License-Identifier: Apache-2.0
#include "window/batch_slots.h"

#include <algorithm>

namespace tarn::window {

namespace {
bool ValidSlot(int slot) { return slot >= 0 && slot < kSlotCount; }
}  // namespace

void CBatchSlots::Clear() {
  m_counted.fill(false);
  m_finished.fill(false);
  m_deferred.fill(false);
}

void CBatchSlots::CountIn(int slot) {
  m_counted[slot] = true;
  m_finished[slot] = false;
}

bool CBatchSlots::Finish(int slot) {
  if (!ValidSlot(slot) || !m_counted[slot] || m_finished[slot]) return false;
  m_finished[slot] = true;
  return true;
}

bool CBatchSlots::AllFinished() const { return Unfinished() == 0; }

int CBatchSlots::Unfinished() const {
  int count = 0;
  for (int slot = 0; slot < kSlotCount; ++slot) count += m_counted[slot] && !m_finished[slot] ? 1 : 0;
  return count;
}

bool CBatchSlots::AnyStartDeferred() const {
  return std::any_of(m_deferred.begin(), m_deferred.end(), [](bool deferred) { return deferred; });
}

}  // namespace tarn::window
