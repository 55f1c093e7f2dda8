// SPDX-License-Identifier: Apache-2.0
#include "engine/digest_ahead.h"

#include <chrono>

#include "engine/checksum.h"
#include "platform/last_error.h"
#include "platform/thread.h"

namespace {

// How soon a job thread waiting for its digest sees a stop.
constexpr std::chrono::milliseconds kStopSlice{20};

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
  const DigestOutcome outcome = DigestImageRange(mapping, offset, size, digest, cancel_);
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
  changed_.notify_all();
}
