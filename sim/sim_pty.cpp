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
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return false;
  char name[128] = {};
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof(name)) != 0) {
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
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  WatchOpeners();
  return true;
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
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
  if (watched_ >= 0) ::inotify_rm_watch(watch_, watched_);
  master_ = slave_ = watched_ = -1;
}

SimPty::ReadEnd SimPty::ReadWithin(void* destination, std::size_t count, const std::atomic<bool>& stop, int silenceMs) {
  using Steady = std::chrono::steady_clock;
  auto* bytes = static_cast<unsigned char*>(destination);
  std::size_t done = 0;
  auto lastByte = Steady::now();
  while (done < count) {
    if (stop.load() || master_ < 0) return ReadEnd::Interrupted;
    // Read first and wait only when nothing is there: within a frame the
    // next bytes are usually already queued.
    const ssize_t n = ::read(master_, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      lastByte = Steady::now();
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) return ReadEnd::Interrupted;
    pollfd p[2] = {{master_, POLLIN, 0}, {watch_, POLLIN, 0}};
    const int r = ::poll(p, watched_ >= 0 ? 2 : 1, kPollSliceMs);
    if (r < 0 && errno != EINTR) return ReadEnd::Interrupted;
    if (r > 0 && (p[0].revents & (POLLERR | POLLNVAL))) return ReadEnd::Interrupted;
    if (r > 0 && (p[1].revents & POLLIN)) CountOpeners();
    if (silenceMs > 0 && Steady::now() - lastByte >= std::chrono::milliseconds(silenceMs)) return ReadEnd::Silent;
  }
  return ReadEnd::Complete;
}

bool SimPty::WriteAll(const void* source, std::size_t count) {
  const auto* bytes = static_cast<const unsigned char*>(source);
  std::size_t done = 0;
  while (done < count) {
    if (master_ < 0) return false;
    const ssize_t n = ::write(master_, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd p{master_, POLLOUT, 0};
    ::poll(&p, 1, kPollSliceMs);
  }
  return true;
}

}  // namespace tarn::sim

namespace tarn::sim {

void SimPty::DropUnread() {
  if (slave_ >= 0) ::tcflush(slave_, TCIFLUSH);
}

void SimPty::WaitDrained(int timeoutMs) {
  using Steady = std::chrono::steady_clock;
  const auto Pending = [this] {
    int pending = 0;
    return slave_ >= 0 && ::ioctl(slave_, FIONREAD, &pending) == 0 ? pending : 0;
  };
  // Written bytes reach the job's side a moment later; until then the
  // queue looks empty. Give them that moment, then wait for the job to read.
  const auto arrival = Steady::now() + std::chrono::milliseconds(kArrivalMs);
  while (Pending() == 0 && Steady::now() < arrival) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
  while (Pending() > 0 && Steady::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace tarn::sim
