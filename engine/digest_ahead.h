// SPDX-License-Identifier: Apache-2.0
// A job's digest worker: works out the MD5 of the piece the job announces
// next while the current piece's frames are on the wire, so that the
// checksum step normally finds it done.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/win_types.h"

namespace tarn::platform {
class CFileMapping;
}

class CDigestAhead {
 public:
  enum class Outcome {
    None,    // no digest of that piece was asked for ahead
    Ready,   // `digest` holds it
    Failed,  // the image could not be read; the last error is set as the read left it
  };

  CDigestAhead() = default;
  ~CDigestAhead() { End(); }
  CDigestAhead(const CDigestAhead&) = delete;
  CDigestAhead& operator=(const CDigestAhead&) = delete;

  // Starts digesting [offset, offset + size) of `mapping` on the worker,
  // under the checksum lock, after the pieces every job asked for before it;
  // a digest asked for before and not taken is dropped. `mapping` must
  // outlive the request (see End).
  void Ask(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size);
  // The digest asked for ahead of this very piece, waiting for it when it is
  // still under way (a stopped job thread unwinds from the wait). `waited`
  // tells whether it was not ready yet.
  Outcome Take(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size, std::uint8_t digest[16],
               bool* waited);
  // Drops what was asked for and ends the worker; once it returns the worker
  // reads no image any more.
  void End();

 private:
  enum class State { Idle, Asked, Working, Done };
  void Run();
  void Work(std::unique_lock<std::mutex>& guard);

  std::mutex lock_;
  std::condition_variable changed_;
  std::thread worker_;
  State state_ = State::Idle;
  bool quit_ = false;
  std::atomic<bool> cancel_{false};
  const tarn::platform::CFileMapping* mapping_ = nullptr;
  DWORD offset_ = 0;
  DWORD size_ = 0;
  bool read_ = false;
  DWORD error_ = 0;
  std::uint8_t digest_[16] = {};
};

// Ends a job's digest worker when the image it may read is closed, however
// the job leaves the scope.
class CDigestAheadScope {
 public:
  explicit CDigestAheadScope(CDigestAhead& ahead) : ahead_(ahead) {}
  ~CDigestAheadScope() { ahead_.End(); }
  CDigestAheadScope(const CDigestAheadScope&) = delete;
  CDigestAheadScope& operator=(const CDigestAheadScope&) = delete;

 private:
  CDigestAhead& ahead_;
};
