// SPDX-License-Identifier: Apache-2.0
#include "link/win_rs232c_sync.h"

#include <cstring>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/serial_port.h"
#include "platform/text.h"

namespace {

constexpr DWORD kReceiveBufferSize = 5000;
constexpr DWORD kSettleAfterOpenMs = 500;

}  // namespace

CWinRs232cSync::CWinRs232cSync() = default;

CWinRs232cSync::~CWinRs232cSync() { ClosePort(); }

bool CWinRs232cSync::InitIo() {
  receiveBuffer_ = std::make_unique<unsigned char[]>(kReceiveBufferSize);
  return true;
}

bool CWinRs232cSync::OpenPort(const std::wstring& path, DWORD /*baud*/, int /*parity*/, int /*byteSize*/,
                              int /*stopBits*/) {
  // The line settings are fixed (115200 8N1); CSerialPort applies them.
  if (!port_) port_ = std::make_unique<tarn::platform::CSerialPort>();
  if (!port_->Open(tarn::platform::Narrow(path))) return false;
  Sleep(kSettleAfterOpenMs);
  return true;
}

bool CWinRs232cSync::ClosePort() {
  if (!IsOpen()) return false;
  port_->Close();
  receiveBuffer_.reset();
  return true;
}

bool CWinRs232cSync::WriteBlock(const void* buffer, DWORD count) {
  if (!IsOpen()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return port_->Write(buffer, count);
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

CWinRs232cSync::FirstByte CWinRs232cSync::WaitFirstByte(DWORD clockMs) {
  using Wait = tarn::platform::CSerialPort::WaitResult;
  if (!IsOpen()) return FirstByte::Gone;
  switch (port_->WaitReadable(clockMs)) {
    case Wait::Readable: return FirstByte::Readable;
    case Wait::TimedOut: return FirstByte::TimedOut;
    default: return FirstByte::Gone;
  }
}
