// SPDX-License-Identifier: Apache-2.0
// SIGINT, SIGTERM and SIGHUP as stop requests. The handler only counts them
// in lock-free atomics (safe in a handler); the host's loop polls the count.
// After the second, the signals get their default action back, so a third
// ends the process even if a job cannot be stopped.
#pragma once

namespace tarn::cli {

// Installs the handlers; call before the batch starts.
void InstallStopSignals();
// How many stop signals arrived so far.
int StopSignalCount();
// The first stop signal that arrived; 0 before any.
int FirstStopSignal();
// The exit status of a batch that `signal` stopped: 128 + its number.
int ExitCodeOfSignal(int signal);

}  // namespace tarn::cli
