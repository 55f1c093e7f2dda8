// Recursive locks, as the platform's critical sections are: the owning thread
// may enter again and must leave as often as it entered.
#pragma once

#include <mutex>

namespace tarn::platform {

class CCriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }

 private:
  std::recursive_mutex mutex_;
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

}  // namespace tarn::platform
