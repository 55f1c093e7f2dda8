// SPDX-License-Identifier: Apache-2.0
// The slot's serial device: opens its port by COM number, sends blocks and
// receives exact byte counts.
#pragma once

#include <string>

#include "link/win_rs232c_sync.h"
#include "platform/win_types.h"

// Longest wait for the first byte of an answer unless the host sets another
// (SetAnswerTimeout). A phone may take minutes to answer a write command
// while it programs its flash; one silent for longer is taken as hung and the
// command fails.
constexpr DWORD kFirstByteTimeoutMs = 300000;

class CUSBDevice {
 public:
  CUSBDevice();
  virtual ~CUSBDevice();
  CUSBDevice(const CUSBDevice&) = delete;
  CUSBDevice& operator=(const CUSBDevice&) = delete;

  bool Open(int port);
  bool Send(const void* buffer, DWORD count);
  // Reads `count` bytes, or fewer when the phone stops sending.
  DWORD Receive(void* destination, DWORD count);
  // Closes the port if it is open; true when it closed one.
  bool Close();
  bool IsOpen() const;
  // Why the last failed Open, Send or Receive failed (a system error code;
  // ERROR_ACCESS_DENIED: the port has gone).
  DWORD LastError() const { return lastError_; }
  // The operator's error line for the last failed Open of `port`.
  std::wstring OpenFailureText(int port) const;
  CWinRs232cSync& Worker() { return worker_; }
  // The longest wait for the first byte of an answer, in clock milliseconds.
  void SetAnswerTimeout(DWORD clockMs) { answerTimeoutMs_ = clockMs; }
  DWORD AnswerTimeoutMs() const { return answerTimeoutMs_; }

 private:
  bool Failed();

  CWinRs232cSync worker_;
  DWORD lastError_ = 0;
  DWORD answerTimeoutMs_ = kFirstByteTimeoutMs;
};
