// SPDX-License-Identifier: Apache-2.0
// The baseline: what the links can carry with the same frames, pauses and
// answers and nothing else.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "bench/bench.h"

namespace tarn::bench {

namespace {

bool ReadAll(int fd, void* buffer, std::size_t count) {
  auto* p = static_cast<char*>(buffer);
  while (count > 0) {
    const ssize_t n = read(fd, p, count);
    if (n <= 0) return false;
    p += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const void* buffer, std::size_t count) {
  const auto* p = static_cast<const char*>(buffer);
  while (count > 0) {
    const ssize_t n = write(fd, p, count);
    if (n <= 0) return false;
    p += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

struct PtyPair {
  int master = -1;
  int slave = -1;
};

PtyPair OpenPair() {
  PtyPair pair;
  pair.master = posix_openpt(O_RDWR | O_NOCTTY);
  grantpt(pair.master);
  unlockpt(pair.master);
  pair.slave = open(ptsname(pair.master), O_RDWR | O_NOCTTY);
  termios t{};
  tcgetattr(pair.slave, &t);
  cfmakeraw(&t);
  tcsetattr(pair.slave, TCSANOW, &t);
  tcgetattr(pair.master, &t);
  cfmakeraw(&t);
  tcsetattr(pair.master, TCSANOW, &t);
  return pair;
}

void Phone(int fd, std::uint32_t frames) {
  std::vector<char> frame(kFrameBytes);
  const char answer[4] = {0, 0, 0, 0};
  for (std::uint32_t i = 0; i < frames; ++i) {
    if (!ReadAll(fd, frame.data(), frame.size()) || !WriteAll(fd, answer, sizeof(answer))) return;
  }
}

double Host(int fd, std::uint32_t frames, int slot) {
  std::vector<char> frame(kFrameBytes, static_cast<char>(0xA5));
  char answer[4];
  std::this_thread::sleep_for(std::chrono::milliseconds(slot * kSlotStaggerMs));
  const auto start = std::chrono::steady_clock::now();
  for (std::uint32_t i = 0; i < frames; ++i) {
    if (!WriteAll(fd, frame.data(), frame.size())) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
    if (!ReadAll(fd, answer, sizeof(answer))) break;
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

LinkRates RunRawPingPong(int links, std::uint32_t mib) {
  const std::uint32_t frames = mib * (kMiB / kFrameBytes);
  std::vector<PtyPair> pairs;
  for (int i = 0; i < links; ++i) pairs.push_back(OpenPair());
  std::vector<double> seconds(static_cast<std::size_t>(links));
  const CpuTimes before = CpuTimes::Now();
  const MachineTimes machine = MachineTimes::Now();
  std::vector<std::thread> threads;
  for (int i = 0; i < links; ++i) {
    threads.emplace_back(Phone, pairs[i].master, frames);
    threads.emplace_back([&seconds, &pairs, i, frames] { seconds[i] = Host(pairs[i].slave, frames, i); });
  }
  for (auto& t : threads) t.join();
  LinkRates rates;
  rates.cpu = CpuTimes::Now() - before;
  rates.machineBusyCores = MachineTimes::Now().BusyCoresSince(machine);
  for (int i = 0; i < links; ++i) {
    close(pairs[i].slave);
    close(pairs[i].master);
    rates.mibPerSecond.push_back(mib / seconds[i]);
  }
  return rates;
}

}  // namespace tarn::bench
