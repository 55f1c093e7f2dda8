// SPDX-License-Identifier: Apache-2.0
#include "link/usb_device.h"

#include "platform/clock.h"
#include "platform/devicemap.h"
#include "platform/last_error.h"
#include "platform/serial_port.h"
#include "platform/text.h"

namespace {

constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryPauseMs = 1000;
constexpr DWORD kReadyPollMs = 1000;
constexpr DWORD kReadyPollStepMs = 5;
constexpr DWORD kPauseAfterWriteMs = 5;
constexpr DWORD kErrorFileNotFound = 2;

}  // namespace

CUSBDevice::CUSBDevice() = default;

CUSBDevice::~CUSBDevice() { Close(); }

bool CUSBDevice::Open(int port) {
  if (port == 0) {
    SetLastError(kErrorFileNotFound);
    return Failed();
  }
  Close();
  if (!worker_.InitIo()) return Failed();
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    const auto path = tarn::platform::ResolveComPort(port);
    if (!path) {
      // A link the map holds but refused leads to something that is there and no device.
      SetLastError(tarn::platform::ComPortLinkTarget(port) ? tarn::platform::kErrorNotASerialPort : kErrorFileNotFound);
    } else if (worker_.OpenPort(tarn::platform::Widen(path->string()), tarn::platform::kSerialBaudRate, 0, 8, 0) &&
               worker_.IsOpen()) {
      return true;
    }
    // Waiting does not turn a file or another device into the phone's port.
    if (GetLastError() == tarn::platform::kErrorNotASerialPort) break;
    if (attempt < kOpenAttempts) {
      const DWORD code = GetLastError();
      Sleep(kOpenRetryPauseMs);
      SetLastError(code);
    }
  }
  return Failed();
}

std::wstring CUSBDevice::OpenFailureText(int port) const {
  if (lastError_ != tarn::platform::kErrorNotASerialPort) {
    return tarn::platform::FormatW(512, L"e - cannot open the usb serial port%d. code: %d", port,
                                   static_cast<int>(lastError_));
  }
  const auto target = tarn::platform::ComPortLinkTarget(port);
  return tarn::platform::FormatW(512, L"e - the map entry of COM%d leads to no serial port: %ls", port,
                                 tarn::platform::Widen(target ? target->string() : "-").c_str());
}

bool CUSBDevice::Send(const void* buffer, DWORD count) {
  // Readiness poll: a gone port runs it out. A healthy port passes at once,
  // without the clock (and its lock, which every job shares) for each frame.
  if (!worker_.IsHealthy()) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kReadyPollMs) {
      if (worker_.IsHealthy()) break;
      Sleep(kReadyPollStepMs);
    }
  }
  if (!worker_.WriteBlock(buffer, count)) return Failed();
  Sleep(kPauseAfterWriteMs);
  return true;
}

DWORD CUSBDevice::Receive(void* destination, DWORD count) {
  SetLastError(0);
  lastError_ = 0;
  if (count == 0) return 0;
  const auto first = worker_.WaitFirstByte(answerTimeoutMs_);
  if (first != CWinRs232cSync::FirstByte::Readable) {
    lastError_ = first == CWinRs232cSync::FirstByte::Gone ? ERROR_ACCESS_DENIED : tarn::platform::kErrorTimeout;
    SetLastError(lastError_);
    return 0;
  }
  auto* bytes = static_cast<unsigned char*>(destination);
  DWORD total = worker_.ReadSome(bytes, count);
  DWORD last = total;
  while (total < count && last > 0) {
    last = worker_.ReadSome(bytes + total, count - total);
    total += last;
  }
  if (total == 0) lastError_ = GetLastError();
  return total;
}

bool CUSBDevice::Close() { return worker_.ClosePort(); }

bool CUSBDevice::Failed() {
  lastError_ = GetLastError();
  return false;
}

bool CUSBDevice::IsOpen() const { return worker_.IsOpen(); }
