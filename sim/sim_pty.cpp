// SPDX-License-Identifier: Apache-2.0
#include "sim/sim_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace tarn::sim {
namespace {

constexpr int kPollSliceMs = 20;  // how soon a stop request is seen
constexpr int kArrivalMs = 100;   // longest time written bytes take to reach the slave side

}  // namespace

SimPty::~SimPty() {
  Close();
  if (watch_ >= 0) ::close(watch_);
}

bool SimPty::Create() {
  Close();
  given_ = false;
  line_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (line_ < 0) return false;
  char name[128] = {};
  if (::grantpt(line_) != 0 || ::unlockpt(line_) != 0 || ::ptsname_r(line_, name, sizeof(name)) != 0) {
    Close();
    return false;
  }
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  if (slave_ < 0 || ::tcgetattr(slave_, &tio) != 0) {
    Close();
    return false;
  }
  // Raw from the start, so nothing the job sends before it sets the line up
  // is echoed or translated.
  ::cfmakeraw(&tio);
  ::tcsetattr(slave_, TCSANOW, &tio);
  ::fcntl(line_, F_SETFL, ::fcntl(line_, F_GETFL) | O_NONBLOCK);
  WatchOpeners();
  return true;
}

bool SimPty::Open(const std::filesystem::path& path) {
  const bool retrying = hungUp_;  // a failed try leaves it for the next
  Close();
  given_ = true;
  slavePath_ = path;
  line_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  termios tio{};
  if (line_ >= 0 && ::tcgetattr(line_, &tio) == 0) {
    // A tty starts with echo and line editing on: it would answer the host's
    // bytes itself and hold them back until a newline. A pseudo-terminal's
    // master has neither, and the phone must speak the same on both.
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(line_, TCSANOW, &tio) == 0) {
      hungUp_ = false;
      return true;
    }
  }
  openError_ = errno;
  if (line_ >= 0) ::close(line_);
  line_ = -1;
  hungUp_ = retrying;
  return false;
}

void SimPty::WatchOpeners() {
  openers_ = 0;
  if (watch_ < 0) watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch_ >= 0) watched_ = ::inotify_add_watch(watch_, slavePath_.c_str(), IN_OPEN | IN_CLOSE);
}

void SimPty::CountOpeners() {
  alignas(inotify_event) char events[4096];
  bool closed = false;
  for (ssize_t n; (n = ::read(watch_, events, sizeof(events))) > 0;) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->wd != watched_) continue;  // a terminal of an earlier plug
      if (event->mask & IN_OPEN) ++openers_;
      if (event->mask & IN_CLOSE) {
        --openers_;
        closed = true;
      }
    }
  }
  if (closed && openers_ <= 0) {
    openers_ = 0;
    ::ioctl(slave_, TIOCNXCL);
  }
}

void SimPty::Close() {
  if (line_ >= 0) ::close(line_);
  if (slave_ >= 0) ::close(slave_);
  if (watched_ >= 0) ::inotify_rm_watch(watch_, watched_);
  line_ = slave_ = watched_ = -1;
  hungUp_ = false;
}

// A given tty whose far side went away (a gadget unbound) stays hung up for
// good: it is closed here, and the phone opens the path again later, as a
// re-bound gadget keeps its node.
SimPty::ReadEnd SimPty::HangUp() {
  if (given_) {
    Close();
    hungUp_ = true;
  }
  return ReadEnd::Interrupted;
}

SimPty::ReadEnd SimPty::ReadWithin(void* destination, std::size_t count, const std::atomic<bool>& stop, int silenceMs) {
  using Steady = std::chrono::steady_clock;
  auto* bytes = static_cast<unsigned char*>(destination);
  std::size_t done = 0;
  auto lastByte = Steady::now();
  while (done < count) {
    if (stop.load() || line_ < 0) return ReadEnd::Interrupted;
    // Read first and wait only when nothing is there: within a frame the
    // next bytes are usually already queued.
    const ssize_t n = ::read(line_, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      lastByte = Steady::now();
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) return HangUp();
    pollfd p[2] = {{line_, POLLIN, 0}, {watch_, POLLIN, 0}};
    const int r = ::poll(p, watched_ >= 0 ? 2 : 1, kPollSliceMs);
    if (r < 0 && errno != EINTR) return ReadEnd::Interrupted;
    if (r > 0 && (p[0].revents & (POLLERR | POLLNVAL | POLLHUP))) return HangUp();
    if (r > 0 && (p[1].revents & POLLIN)) CountOpeners();
    if (silenceMs > 0 && Steady::now() - lastByte >= std::chrono::milliseconds(silenceMs)) return ReadEnd::Silent;
  }
  return ReadEnd::Complete;
}

bool SimPty::WriteAll(const void* source, std::size_t count) {
  const auto* bytes = static_cast<const unsigned char*>(source);
  std::size_t done = 0;
  while (done < count) {
    if (line_ < 0) return false;
    const ssize_t n = ::write(line_, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd p{line_, POLLOUT, 0};
    ::poll(&p, 1, kPollSliceMs);
  }
  return true;
}

}  // namespace tarn::sim

namespace tarn::sim {

void SimPty::DropUnread() {
  // The far end of a given tty is out of reach: drop what has not gone out.
  if (slave_ >= 0) {
    ::tcflush(slave_, TCIFLUSH);
  } else if (line_ >= 0) {
    ::tcflush(line_, TCOFLUSH);
  }
}

void SimPty::WaitDrained(int timeoutMs) {
  using Steady = std::chrono::steady_clock;
  // On a given tty, what has not gone out yet is all that can be seen.
  const auto Pending = [this] {
    int pending = 0;
    if (slave_ >= 0) return ::ioctl(slave_, FIONREAD, &pending) == 0 ? pending : 0;
    return line_ >= 0 && ::ioctl(line_, TIOCOUTQ, &pending) == 0 ? pending : 0;
  };
  // Written bytes reach the job's side a moment later; until then the
  // queue looks empty. Give them that moment, then wait for the job to read.
  const auto arrival = Steady::now() + std::chrono::milliseconds(kArrivalMs);
  while (Pending() == 0 && Steady::now() < arrival) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
  while (Pending() > 0 && Steady::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace tarn::sim
