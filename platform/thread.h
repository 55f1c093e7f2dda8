// SPDX-License-Identifier: Apache-2.0
// Job threads: the framework thread object the engine keeps per job.
//
// A Linux thread cannot be killed safely: one killed while it holds the log or
// checksum lock would freeze every other job. So a stop is a request that the
// thread honours at its next wait or I/O point (Sleep, serial reads and
// writes, waiting for the host) by unwinding to its entry. Unwinding releases
// every lock, port and mapping through their owners' destructors.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/win_types.h"

namespace tarn::platform {

// Thrown to end the calling job thread; caught only at the thread entry.
struct ThreadUnwind {
  DWORD exitCode = 0;
};

class CThread {
 public:
  // Starts `body` at once on a new thread, at above-normal priority where the
  // process may raise it (an unprivileged process may not; that is no error).
  // The thread's exit code is what `body` returns, or the code of the
  // ThreadUnwind that ended it. Returns nullptr when no thread can be created.
  static std::shared_ptr<CThread> Create(std::function<DWORD()> body);

  ~CThread();
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;

  bool IsRunning() const;
  // STILL_ACTIVE (259) while the thread runs, then its exit code.
  DWORD ExitCode() const;
  // Asks the thread to end at its next wait or I/O point.
  void RequestStop();
  bool StopRequested() const;
  // Waits up to `timeout` for the thread to end; true when it has.
  bool WaitEnded(std::chrono::milliseconds timeout) const;
  // Waits for the thread to end, however long that takes. Once it returns the
  // thread touches nothing its body worked on any more.
  void WaitEnded() const;

  struct Shared;

 private:
  explicit CThread(std::shared_ptr<Shared> shared);
  std::shared_ptr<Shared> shared_;
};

// True when the calling thread is a job thread that was asked to stop.
bool StopRequestedHere();
// Unwinds the calling job thread if it was asked to stop.
void CheckStop();
// Sleeps `real` real time; false when the calling thread was asked to stop
// before the time was up (it then returns at once).
bool SleepInterruptible(std::chrono::nanoseconds real);
// Ends the calling job thread at once with `code` (unwinds to its entry).
[[noreturn]] void EndThisThread(DWORD code);
// Operating-system id of the calling thread, as the log prints it.
DWORD CurrentThreadId();
// Number of threads of this process (for leak checks in tests and soaks).
int ProcessThreadCount();

}  // namespace tarn::platform
