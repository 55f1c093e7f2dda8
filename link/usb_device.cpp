// SPDX-License-Identifier: Apache-2.0
#include "link/usb_device.h"

#include <cstring>

#include "platform/clock.h"
#include "platform/devicemap.h"
#include "platform/last_error.h"
#include "platform/serial_port.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace {

constexpr DWORD kReceiveBufferSize = 5000;
constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryPauseMs = 1000;
constexpr DWORD kSettleAfterOpenMs = 500;
constexpr DWORD kReadyPollMs = 1000;
constexpr DWORD kReadyPollStepMs = 5;
constexpr DWORD kPauseAfterWriteMs = 5;
constexpr DWORD kErrorFileNotFound = 2;

}  // namespace

// --- CWinRs232cSync ---

CWinRs232cSync::CWinRs232cSync() = default;

CWinRs232cSync::~CWinRs232cSync() { ClosePort(); }

int CWinRs232cSync::InitIo() {
  receiveBuffer_ = std::make_unique<unsigned char[]>(kReceiveBufferSize);
  return 1;
}

int CWinRs232cSync::OpenPort(const std::wstring& path, DWORD /*baud*/, int /*parity*/, int /*byteSize*/,
                             int /*stopBits*/) {
  // The line settings are fixed (115200 8N1); CSerialPort applies them.
  if (!port_) port_ = std::make_unique<tarn::platform::CSerialPort>();
  if (!port_->Open(tarn::platform::Narrow(path))) return 0;
  Sleep(kSettleAfterOpenMs);
  return 1;
}

int CWinRs232cSync::ClosePort() {
  if (!IsOpen()) return 0;
  port_->Close();
  receiveBuffer_.reset();
  return 1;
}

int CWinRs232cSync::WriteBlock(const void* buffer, DWORD count) {
  if (!IsOpen()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  return port_->Write(buffer, count) ? 1 : 0;
}

DWORD CWinRs232cSync::ReadSome(void* destination, DWORD count) {
  if (!IsOpen() || !receiveBuffer_) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  if (count > kReceiveBufferSize) count = kReceiveBufferSize;
  const auto n = static_cast<DWORD>(port_->Read(receiveBuffer_.get(), count));
  if (n > 0) std::memcpy(destination, receiveBuffer_.get(), n);
  return n;
}

bool CWinRs232cSync::IsOpen() const { return port_ && port_->IsOpen(); }

bool CWinRs232cSync::IsHealthy() const { return port_ && port_->IsHealthy(); }

int CWinRs232cSync::WaitFirstByte(DWORD clockMs) {
  using Wait = tarn::platform::CSerialPort::WaitResult;
  if (!IsOpen()) return -1;
  const Wait result = port_->WaitReadable(clockMs);
  return result == Wait::Readable ? 1 : (result == Wait::TimedOut ? 0 : -1);
}

// --- CUSBDevice ---

CUSBDevice::CUSBDevice() = default;

CUSBDevice::~CUSBDevice() { Close(); }

int CUSBDevice::Open(int port) {
  if (port == 0) {
    SetLastError(kErrorFileNotFound);
    return 0;
  }
  Close();
  if (!worker_.InitIo()) return 0;
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    const auto path = tarn::platform::ResolveComPort(port);
    if (!path) {
      SetLastError(kErrorFileNotFound);
    } else if (worker_.OpenPort(tarn::platform::Widen(path->string()), tarn::platform::kSerialBaudRate, 0, 8, 0) &&
               worker_.IsOpen()) {
      return 1;
    }
    if (attempt < kOpenAttempts) {
      const DWORD code = GetLastError();
      Sleep(kOpenRetryPauseMs);
      SetLastError(code);
    }
  }
  return 0;
}

int CUSBDevice::Send(const void* buffer, DWORD count) {
  // Readiness poll: ends at once on a healthy port; a gone port runs it out.
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kReadyPollMs) {
    if (worker_.IsHealthy()) break;
    Sleep(kReadyPollStepMs);
  }
  if (!worker_.WriteBlock(buffer, count)) return 0;
  Sleep(kPauseAfterWriteMs);
  return 1;
}

DWORD CUSBDevice::Receive(void* destination, DWORD count) {
  SetLastError(0);
  if (count == 0) return 0;
  const int first = worker_.WaitFirstByte(kFirstByteTimeoutMs);
  if (first <= 0) {
    SetLastError(first < 0 ? ERROR_ACCESS_DENIED : tarn::platform::kErrorTimeout);
    return 0;
  }
  auto* bytes = static_cast<unsigned char*>(destination);
  DWORD total = worker_.ReadSome(bytes, count);
  DWORD last = total;
  while (total < count && last > 0) {
    last = worker_.ReadSome(bytes + total, count - total);
    total += last;
  }
  return total;
}

int CUSBDevice::Close() { return worker_.ClosePort(); }

bool CUSBDevice::IsOpen() const { return worker_.IsOpen(); }
