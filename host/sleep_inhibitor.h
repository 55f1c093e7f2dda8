// SPDX-License-Identifier: Apache-2.0
// Holds off system sleep and idle while a batch writes phones: a laptop that
// suspends mid-transfer leaves every phone half written. The hold is a login
// manager inhibitor lock, taken over D-Bus and kept as the file descriptor it
// returns; closing the descriptor releases it.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace tarn::host {

class SleepInhibitor {
 public:
  // The longest wait for the login manager's answer (clock milliseconds): a
  // stalled bus must never hold up the batch.
  static constexpr DWORD kCallTimeoutMs = 3000;

  // Takes the lock on the system bus for a batch of `phones` phones.
  explicit SleepInhibitor(int phones);
  // Same, on the bus at `busAddress` (a D-Bus address such as
  // "unix:path=/run/…"); tests point it at a private bus.
  SleepInhibitor(int phones, const std::string& busAddress);
  ~SleepInhibitor();
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

  // Whether the lock is held. Where there is no bus or no login manager it is
  // not, one log record says why, and the batch goes on without it.
  bool Held() const { return m_fd >= 0; }

 private:
  void Take(int phones, const std::string* busAddress);

  int m_fd = -1;
};

}  // namespace tarn::host
