// SPDX-License-Identifier: Apache-2.0
// A serial port on a POSIX tty: the stand-in for the communications calls the
// download link was designed around. Raw 8N1 at 115200, opened exclusively,
// every wait bounded and interruptible by a job's stop request.
//
// Errors go to the thread's last error code: ERROR_ACCESS_DENIED (5) when the
// port is held by another opener, not permitted, or gone (unplugged);
// kErrorTimeout when a wait ran out; kErrorNotASerialPort when the path leads
// to no terminal device (which is then never opened read-write); otherwise
// the errno value.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win_types.h"

namespace tarn::platform {

constexpr DWORD kSerialBaudRate = 115200;
constexpr DWORD kSerialReadTimeoutMs = 1000;
constexpr DWORD kSerialWriteTimeoutMs = 1000;
// Longest real time one poll() may block, so stop requests are seen quickly.
constexpr int kSerialPollSliceMs = 50;
// Last error code of a wait that ran out (the value Windows uses for it).
constexpr DWORD kErrorTimeout = 121;
// Last error code of an open refused because the node is no serial port (ENOTTY).
constexpr DWORD kErrorNotASerialPort = 25;

class CSerialPort {
 public:
  enum class WaitResult { Readable, TimedOut, Gone };

  CSerialPort() = default;
  ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Opens `path` when it is a terminal device (OpenSerialNode), exclusively
  // (TIOCEXCL and flock), sets raw 8N1 at 115200 with DTR dropped and both
  // queues purged. False with the last error set.
  bool Open(const std::string& path);
  // False when nothing was open.
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }
  // True while the port shows no sign of having gone (hang-up, error).
  bool IsHealthy() const;

  // Writes all `count` bytes within the write time-out. False with the last error set.
  bool Write(const void* buffer, std::size_t count);
  // Waits up to `clockMs` clock milliseconds for a byte to read.
  WaitResult WaitReadable(DWORD clockMs);
  // Reads what is there (up to `count`) after waiting up to the read time-out
  // for something to arrive: the byte count, 0 when nothing came (last error
  // kErrorTimeout, or ERROR_ACCESS_DENIED when the port has gone).
  std::size_t Read(void* destination, std::size_t count);

 private:
  int fd_ = -1;
};

}  // namespace tarn::platform
