// SPDX-License-Identifier: Apache-2.0
// Recursive locks, as the platform's critical sections are: the owning thread
// may enter again and must leave as often as it entered.
//
// Built on a plain mutex and a condition variable rather than a timed mutex:
// the timed lock call of the C library is invisible to the thread sanitizer,
// which then reports every leave as the unlock of a mutex nobody holds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/thread.h"

namespace tarn::platform {

class CCriticalSection {
 public:
  void Enter() {
    std::unique_lock<std::mutex> guard(lock_);
    free_.wait(guard, [this] { return Available(); });
    Take();
  }
  void Leave() {
    std::lock_guard<std::mutex> guard(lock_);
    if (--depth_ > 0) return;
    owner_ = std::thread::id();
    free_.notify_one();
  }
  bool TryEnter() { return TryEnterFor(std::chrono::milliseconds(0)); }
  // Waits up to `timeout` real time; true when the section was entered.
  bool TryEnterFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!free_.wait_for(guard, timeout, [this] { return Available(); })) return false;
    Take();
    return true;
  }

 private:
  bool Available() const { return depth_ == 0 || owner_ == std::this_thread::get_id(); }
  void Take() {
    owner_ = std::this_thread::get_id();
    ++depth_;
  }

  std::mutex lock_;
  std::condition_variable free_;
  std::thread::id owner_;
  int depth_ = 0;
};

// Holds a critical section for a scope, so that a job thread unwound by a stop
// or an unplugged phone never leaves it held.
class CSectionLock {
 public:
  explicit CSectionLock(CCriticalSection& section) : section_(section) { section_.Enter(); }
  ~CSectionLock() { section_.Leave(); }
  CSectionLock(const CSectionLock&) = delete;
  CSectionLock& operator=(const CSectionLock&) = delete;

 private:
  CCriticalSection& section_;
};

// As CSectionLock, for a section that another job may hold for a long time
// (the checksum lock, held while a piece of up to 100 MiB is digested): the
// wait goes in short slices, and a job thread asked to stop meanwhile unwinds
// from here (thread.h) instead of queueing on. A thread that is no job thread
// simply waits. The slice bounds only how late a stop is seen; a section that
// is left wakes the waiter at once.
class CStoppableSectionLock {
 public:
  static constexpr std::chrono::milliseconds kSlice{20};

  explicit CStoppableSectionLock(CCriticalSection& section) : section_(section) {
    while (!section_.TryEnterFor(kSlice)) CheckStop();
  }
  ~CStoppableSectionLock() { section_.Leave(); }
  CStoppableSectionLock(const CStoppableSectionLock&) = delete;
  CStoppableSectionLock& operator=(const CStoppableSectionLock&) = delete;

 private:
  CCriticalSection& section_;
};

}  // namespace tarn::platform
