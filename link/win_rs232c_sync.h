// SPDX-License-Identifier: Apache-2.0
// The port worker under a slot's device: one open tty and its receive
// staging buffer.
#pragma once

#include <memory>
#include <string>

#include "platform/win_types.h"

namespace tarn::platform {
class CSerialPort;
}

// The port worker: one open tty, a 5000-byte receive staging buffer.
class CWinRs232cSync {
 public:
  CWinRs232cSync();
  virtual ~CWinRs232cSync();
  CWinRs232cSync(const CWinRs232cSync&) = delete;
  CWinRs232cSync& operator=(const CWinRs232cSync&) = delete;

  bool InitIo();
  bool OpenPort(const std::wstring& path, DWORD baud, int parity, int byteSize, int stopBits);
  // true when it closed an open port.
  bool ClosePort();
  bool WriteBlock(const void* buffer, DWORD count);
  DWORD ReadSome(void* destination, DWORD count);
  bool IsOpen() const;

 private:
  friend class CUSBDevice;
  // For the device's readiness poll: open and showing no hang-up.
  bool IsHealthy() const;
  enum class FirstByte { Readable, TimedOut, Gone };
  // Waits up to `clockMs` for a first byte.
  FirstByte WaitFirstByte(DWORD clockMs);

  std::unique_ptr<tarn::platform::CSerialPort> port_;
  std::unique_ptr<unsigned char[]> receiveBuffer_;
};
