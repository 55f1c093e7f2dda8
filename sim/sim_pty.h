// SPDX-License-Identifier: Apache-2.0
// The simulated phone's end of its line. Either the master side of a
// pseudo-terminal it makes, plus a slave descriptor of its own so that the
// master never sees a hang-up when a job closes the port (a real phone does
// not notice the host closing either); or an existing tty it is given, such
// as a USB gadget's /dev/ttyGS0, whose host side is a real phone port.
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
  // Opens the existing tty `path` in raw mode; false (OpenError() says why)
  // when it cannot be opened or is no terminal.
  bool Open(const std::filesystem::path& path);
  int OpenError() const { return openError_; }
  // Closes both sides: a job with the port open sees the device go.
  void Close();
  bool IsOpen() const { return line_ >= 0; }
  // The given tty hung up (its far side went away) and was closed.
  bool HungUp() const { return hungUp_; }
  // Opens the hung-up tty again; false while it cannot be had.
  bool Reopen() { return hungUp_ && Open(slavePath_); }
  // The job's side: the pseudo-terminal's slave, or the given tty.
  const std::filesystem::path& SlavePath() const { return slavePath_; }

  // Reads exactly `count` bytes; false when `stop` was raised or the line
  // was closed or hung up first.
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

  ReadEnd HangUp();

  int line_ = -1;   // the phone's side: the master, or the given tty
  int slave_ = -1;  // pseudo-terminal only
  bool given_ = false;
  bool hungUp_ = false;
  int openError_ = 0;
  // Kept from the first Create to the end, so that a replug or an unplug
  // changes the phone's descriptors by the pseudo-terminal's two alone.
  int watch_ = -1;    // inotify descriptor
  int watched_ = -1;  // its watch on the current slave path
  int openers_ = 0;   // open descriptions of the slave other than ours
  std::filesystem::path slavePath_;
};

}  // namespace tarn::sim
