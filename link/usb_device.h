// SPDX-License-Identifier: Apache-2.0
// The slot's serial device: the port worker and the device that opens it by
// port number, sends blocks and receives exact byte counts.
#pragma once

#include <memory>
#include <string>

#include "platform/win_types.h"

namespace tarn::platform {
class CSerialPort;
}

// Longest wait for the first byte of an answer. A phone may take minutes to
// answer a write command while it programs its flash; one silent for longer
// is taken as hung and the command fails.
constexpr DWORD kFirstByteTimeoutMs = 300000;

// The port worker: one open tty, a 5000-byte receive staging buffer.
class CWinRs232cSync {
 public:
  CWinRs232cSync();
  virtual ~CWinRs232cSync();
  CWinRs232cSync(const CWinRs232cSync&) = delete;
  CWinRs232cSync& operator=(const CWinRs232cSync&) = delete;

  int InitIo();
  int OpenPort(const std::wstring& path, DWORD baud, int parity, int byteSize, int stopBits);
  int ClosePort();
  int WriteBlock(const void* buffer, DWORD count);
  DWORD ReadSome(void* destination, DWORD count);
  bool IsOpen() const;

 private:
  friend class CUSBDevice;
  // For the device's readiness poll: open and showing no hang-up.
  bool IsHealthy() const;
  // Waits up to `clockMs` for a first byte: 1 readable, 0 timed out, -1 gone.
  int WaitFirstByte(DWORD clockMs);

  std::unique_ptr<tarn::platform::CSerialPort> port_;
  std::unique_ptr<unsigned char[]> receiveBuffer_;
};

class CUSBDevice {
 public:
  CUSBDevice();
  virtual ~CUSBDevice();
  CUSBDevice(const CUSBDevice&) = delete;
  CUSBDevice& operator=(const CUSBDevice&) = delete;

  int Open(int port);
  int Send(const void* buffer, DWORD count);
  DWORD Receive(void* destination, DWORD count);
  // Closes the port if it is open; 1 when it closed one.
  int Close();
  bool IsOpen() const;
  CWinRs232cSync& Worker() { return worker_; }

 private:
  CWinRs232cSync worker_;
};
