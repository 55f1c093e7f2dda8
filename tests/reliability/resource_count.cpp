// SPDX-License-Identifier: Apache-2.0
#include "tests/reliability/resource_count.h"

#include <fstream>
#include <string>
#include <thread>

#include "platform/thread.h"

namespace tarn::test {

int OpenFdCount() {
  int count = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    ++count;
  }
  return count;  // includes the iterator's own descriptor, the same every time
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

Resources Measure() { return {OpenFdCount(), platform::ProcessThreadCount(), ResidentKiB()}; }

int WaitForThreadCount(int expected, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int now = platform::ProcessThreadCount();
  while (now != expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    now = platform::ProcessThreadCount();
  }
  return now;
}

bool IsMapped(const std::filesystem::path& path) {
  std::ifstream maps("/proc/self/maps");
  const std::string name = path.string();
  for (std::string line; std::getline(maps, line);) {
    if (line.size() >= name.size() && line.compare(line.size() - name.size(), name.size(), name) == 0) return true;
  }
  return false;
}

}  // namespace tarn::test
