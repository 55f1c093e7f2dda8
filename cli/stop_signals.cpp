// SPDX-License-Identifier: Apache-2.0
#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>

namespace tarn::cli {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalExitBase = 128;

std::atomic<int> g_count{0};
std::atomic<int> g_first{0};
static_assert(std::atomic<int>::is_always_lock_free);

void SetAction(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls of the job threads go on where they can.
  action.sa_flags = SA_RESTART;
  for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
}

void OnStopSignal(int signal) {
  int none = 0;
  g_first.compare_exchange_strong(none, signal);
  if (g_count.fetch_add(1) + 1 >= 2) SetAction(SIG_DFL);  // sigaction is async-signal-safe
}

}  // namespace

void InstallStopSignals() { SetAction(OnStopSignal); }

int StopSignalCount() { return g_count.load(); }

int FirstStopSignal() { return g_first.load(); }

int ExitCodeOfSignal(int signal) { return kSignalExitBase + signal; }

}  // namespace tarn::cli
