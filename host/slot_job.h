// SPDX-License-Identifier: Apache-2.0
// One slot's job as a host starts it: what the engine object is given, in
// the order every host gives it, and the start itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/options.h"
#include "engine/pell_linux_np.h"

namespace tarn::host {

// What a host shows for a slot whose job could not be started: that job will
// never report, so this is its outcome.
constexpr const wchar_t* kJobNotStartedText = L"e - the job could not be started";

struct SlotJob {
  std::wstring pda, csc, phone;  // paths; empty when not named
  std::uint16_t imageMask = 0;
  // The download total START computed; without it the engine keeps the 0
  // that Init leaves.
  std::optional<std::uint32_t> totalSize;
  ENGINE_OPTIONS options{};
};

// Gives `engine`, whose job thread must have ended, everything `job` holds
// and starts its job on `port` as `slot`. `beforeStart` (when given) runs
// once the engine has everything, just before the job starts. True when the
// job thread was started.
bool StartSlotJob(CPellLinuxNp& engine, const SlotJob& job, int port, int slot,
                  const std::function<void()>& beforeStart = {});

}  // namespace tarn::host
