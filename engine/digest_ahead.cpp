// SPDX-License-Identifier: Apache-2.0
#include "engine/digest_ahead.h"

#include <algorithm>
#include <chrono>
#include <deque>

#include "engine/checksum.h"
#include "platform/last_error.h"
#include "platform/thread.h"

namespace {

// How soon a job thread waiting for its digest, or a worker waiting for its
// turn, sees a stop.
constexpr std::chrono::milliseconds kStopSlice{20};

// The workers with a piece to digest, in the order the pieces were asked
// for. Jobs started together all ask for their first piece at once, and the
// checksum lock alone would hand out turns in any order: the job starting
// next could find its digest still behind those of jobs starting seconds
// later.
class CTurns {
 public:
  void Join(const CDigestAhead* worker) {
    std::lock_guard<std::mutex> guard(lock_);
    if (std::find(queue_.begin(), queue_.end(), worker) == queue_.end()) queue_.push_back(worker);
  }
  // Whether the worker's turn came (or it is in no queue) before `cancel`
  // was set.
  bool Await(const CDigestAhead* worker, const std::atomic<bool>& cancel) {
    std::unique_lock<std::mutex> guard(lock_);
    while (queue_.front() != worker && std::find(queue_.begin(), queue_.end(), worker) != queue_.end()) {
      if (cancel.load()) return false;
      turn_.wait_for(guard, kStopSlice);
    }
    return true;
  }
  void Leave(const CDigestAhead* worker) {
    std::lock_guard<std::mutex> guard(lock_);
    const auto at = std::find(queue_.begin(), queue_.end(), worker);
    if (at == queue_.end()) return;
    queue_.erase(at);
    turn_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable turn_;
  std::deque<const CDigestAhead*> queue_;
};

// Never destroyed: a job ending at exit may still leave its place.
CTurns& Turns() {
  static CTurns* const turns = new CTurns;
  return *turns;
}

}  // namespace

void CDigestAhead::Ask(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size) {
  std::unique_lock<std::mutex> guard(lock_);
  cancel_ = true;  // a digest under way is no longer wanted
  changed_.wait(guard, [this] { return state_ != State::Working; });
  cancel_ = false;
  mapping_ = &mapping;
  offset_ = offset;
  size_ = size;
  state_ = State::Asked;
  Turns().Join(this);
  if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
  changed_.notify_all();
}

CDigestAhead::Outcome CDigestAhead::Take(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size,
                                         std::uint8_t digest[16], bool* waited) {
  std::unique_lock<std::mutex> guard(lock_);
  *waited = false;
  if (state_ == State::Idle || mapping_ != &mapping || offset_ != offset || size_ != size) return Outcome::None;
  while (state_ != State::Done) {
    *waited = true;
    changed_.wait_for(guard, kStopSlice);
    if (tarn::platform::StopRequestedHere()) {
      guard.unlock();
      End();
      tarn::platform::CheckStop();
    }
  }
  state_ = State::Idle;
  if (!read_) {
    SetLastError(error_);
    return Outcome::Failed;
  }
  std::copy(digest_, digest_ + 16, digest);
  return Outcome::Ready;
}

void CDigestAhead::End() {
  std::unique_lock<std::mutex> guard(lock_);
  if (!worker_.joinable()) return;
  cancel_ = true;
  quit_ = true;
  changed_.notify_all();
  std::thread worker = std::move(worker_);
  guard.unlock();
  worker.join();
  Turns().Leave(this);  // asked for and never started
  guard.lock();
  state_ = State::Idle;
  quit_ = false;
  cancel_ = false;
  mapping_ = nullptr;
}

void CDigestAhead::Run() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] { return quit_ || state_ == State::Asked; });
    if (quit_) return;
    Work(guard);
  }
}

void CDigestAhead::Work(std::unique_lock<std::mutex>& guard) {
  state_ = State::Working;
  const tarn::platform::CFileMapping& mapping = *mapping_;
  const DWORD offset = offset_, size = size_;
  guard.unlock();
  std::uint8_t digest[16];
  const DigestOutcome outcome = Turns().Await(this, cancel_) ? DigestImageRange(mapping, offset, size, digest, cancel_)
                                                             : DigestOutcome::Cancelled;
  const DWORD error = GetLastError();
  guard.lock();
  if (outcome == DigestOutcome::Cancelled) {
    state_ = State::Idle;
  } else {
    read_ = outcome == DigestOutcome::Done;
    error_ = error;
    std::copy(digest, digest + 16, digest_);
    state_ = State::Done;
  }
  // Only once the digest can be taken: the next worker's may not be done
  // before this one's.
  Turns().Leave(this);
  changed_.notify_all();
}
