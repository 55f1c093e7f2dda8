// SPDX-License-Identifier: Apache-2.0
#include "platform/serial_port.h"

#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/serial_node.h"
#include "platform/thread.h"

namespace tarn::platform {
namespace {

using Steady = std::chrono::steady_clock;

// OpenSerialNode's refusal reaches the caller as this code through SetErrnoError.
static_assert(kErrorNotASerialPort == ENOTTY);

// The errno values that say the device has left the bus.
bool IsGoneErrno(int e) { return e == EIO || e == ENXIO || e == ENODEV || e == EBADF; }

void SetErrnoError(int e) {
  const bool denied = e == EACCES || e == EPERM || e == EBUSY || e == EWOULDBLOCK;
  SetLastError(denied || IsGoneErrno(e) ? ERROR_ACCESS_DENIED : static_cast<DWORD>(e));
}

// Full 8N1 raw set-up: cfmakeraw leaves the modem-control flags as found.
bool ConfigureLine(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return false;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B115200);
  ::cfsetospeed(&tio, B115200);
  return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Polls `fd` for `events` until the real deadline; honours stop requests
// between slices. Returns the revents seen, 0 when the deadline passed.
short PollUntil(int fd, short events, Steady::time_point deadline) {
  for (;;) {
    CheckStop();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
    const int slice = static_cast<int>(std::clamp<long long>(left.count(), 0, kSerialPollSliceMs));
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, slice);
    if (r > 0) return p.revents;
    if (r < 0 && errno != EINTR) return POLLERR;
    if (r == 0 && Steady::now() >= deadline) return 0;
  }
}

bool IsHangUp(short revents) { return (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0; }

}  // namespace

CSerialPort::~CSerialPort() { Close(); }

bool CSerialPort::Open(const std::string& path) {
  Close();
  const int fd = OpenSerialNode(path);
  if (fd < 0) {
    SetErrnoError(errno);
    return false;
  }
  // TIOCEXCL alone does not stop root; the flock stops every other opener
  // that also takes it (every job and the registrar-aware tools do).
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0 || !ConfigureLine(fd)) {
    const int e = errno;
    ::close(fd);
    SetErrnoError(e == ENOTTY ? ENOTTY : e);
    return false;
  }
  // Linux raises DTR at every open; the phone expects it low. Pseudo-terminals
  // have no modem lines, so the result is not looked at.
  int dtr = TIOCM_DTR;
  (void)::ioctl(fd, TIOCMBIC, &dtr);
  ::tcflush(fd, TCIOFLUSH);
  fd_ = fd;
  return true;
}

bool CSerialPort::Close() {
  if (fd_ < 0) return false;
  // A tty that stays open elsewhere (a pseudo-terminal's other holders)
  // keeps the exclusive flag past our close; give it up explicitly.
  (void)::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  return true;
}

bool CSerialPort::IsHealthy() const {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLOUT, 0};
  return ::poll(&p, 1, 0) >= 0 && !IsHangUp(p.revents);
}

bool CSerialPort::Write(const void* buffer, std::size_t count) {
  if (fd_ < 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // The time-out bounds a stall, not the whole block: a 128 KiB frame may
  // take longer than that on a slow line while bytes keep moving. Taken once:
  // the clock's scale is shared by every job, and a frame is many writes.
  const auto stall = GuardDuration(kSerialWriteTimeoutMs);
  auto deadline = Steady::now() + stall;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      deadline = Steady::now() + stall;
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      SetErrnoError(errno);
      return false;
    }
    const short revents = PollUntil(fd_, POLLOUT, deadline);
    if (IsHangUp(revents)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    if (revents == 0) {
      SetLastError(kErrorTimeout);
      return false;
    }
  }
  return true;
}

CSerialPort::WaitResult CSerialPort::WaitReadable(DWORD clockMs) {
  if (fd_ < 0) return WaitResult::Gone;
  const short revents = PollUntil(fd_, POLLIN, Steady::now() + GuardDuration(clockMs));
  // Data still queued is delivered before a hang-up counts.
  if (revents & POLLIN) return WaitResult::Readable;
  if (IsHangUp(revents)) return WaitResult::Gone;
  return WaitResult::TimedOut;
}

std::size_t CSerialPort::Read(void* destination, std::size_t count) {
  if (count == 0) return 0;
  // An answer is usually queued already (its first byte was waited for):
  // take it without another poll. Anything else goes the careful way below.
  if (fd_ >= 0) {
    CheckStop();
    const ssize_t n = ::read(fd_, destination, count);
    if (n > 0) return static_cast<std::size_t>(n);
  }
  switch (WaitReadable(kSerialReadTimeoutMs)) {
    case WaitResult::Gone: SetLastError(ERROR_ACCESS_DENIED); return 0;
    case WaitResult::TimedOut: SetLastError(kErrorTimeout); return 0;
    case WaitResult::Readable: break;
  }
  const ssize_t n = ::read(fd_, destination, count);
  if (n > 0) return static_cast<std::size_t>(n);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
    SetLastError(kErrorTimeout);
    return 0;
  }
  // A read of 0 after poll() said readable, or an error: the device has gone.
  SetLastError(n == 0 ? ERROR_ACCESS_DENIED : (IsGoneErrno(errno) ? ERROR_ACCESS_DENIED : static_cast<DWORD>(errno)));
  return 0;
}

}  // namespace tarn::platform
