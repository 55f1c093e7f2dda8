// SPDX-License-Identifier: Apache-2.0
// The simulated phone's end of a pseudo-terminal: the master side, plus a
// slave descriptor of its own so that the master never sees a hang-up when a
// job closes the port (a real phone does not notice the host closing either).
#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>

namespace tarn::sim {

class SimPty {
 public:
  SimPty() = default;
  ~SimPty();  // Close(), and the watch descriptor goes too
  SimPty(const SimPty&) = delete;
  SimPty& operator=(const SimPty&) = delete;

  // Opens a new pseudo-terminal in raw mode; false when none can be had.
  bool Create();
  // Closes both sides: a job with the port open sees the device go.
  void Close();
  bool IsOpen() const { return master_ >= 0; }
  const std::filesystem::path& SlavePath() const { return slavePath_; }

  // Reads exactly `count` bytes; false when `stop` was raised or the
  // pseudo-terminal was closed first.
  bool ReadExact(void* destination, std::size_t count, const std::atomic<bool>& stop) {
    return ReadWithin(destination, count, stop, 0) == ReadEnd::Complete;
  }
  enum class ReadEnd { Complete, Interrupted, Silent };
  // As ReadExact, but Silent once `silenceMs` (> 0) pass without a byte.
  ReadEnd ReadWithin(void* destination, std::size_t count, const std::atomic<bool>& stop, int silenceMs);
  bool WriteAll(const void* source, std::size_t count);
  // Discards what was written and not read yet.
  void DropUnread();
  // Waits until the job has read everything written, at most `timeoutMs`:
  // closing the master discards what the job has not read yet.
  void WaitDrained(int timeoutMs);

 private:
  // Follows who opens and closes the slave side. A host that dies holding
  // the port never gives up its exclusive flag, and only the last close of
  // the slave would clear it, which never comes while we hold one: once no
  // one else has it open, the flag is cleared here, as unplugging would.
  void WatchOpeners();
  void CountOpeners();

  int master_ = -1;
  int slave_ = -1;
  // Kept from the first Create to the end, so that a replug or an unplug
  // changes the phone's descriptors by the pseudo-terminal's two alone.
  int watch_ = -1;    // inotify descriptor
  int watched_ = -1;  // its watch on the current slave path
  int openers_ = 0;   // open descriptions of the slave other than ours
  std::filesystem::path slavePath_;
};

}  // namespace tarn::sim
