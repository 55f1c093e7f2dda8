// SPDX-License-Identifier: Apache-2.0
// CPU time and memory of the benchmark's own runs, and md5sum's CPU time for
// the same bytes as a yardstick.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "bench/bench.h"

namespace tarn::bench {

namespace {

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

}  // namespace

CpuTimes CpuTimes::Now() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return Of(usage);
}

CpuTimes CpuTimes::Of(const rusage& usage) {
  return {Seconds(usage.ru_utime), Seconds(usage.ru_stime), static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw)};
}

CpuTimes CpuTimes::operator-(const CpuTimes& earlier) const {
  return {user - earlier.user, system - earlier.system, switches - earlier.switches};
}

MachineTimes MachineTimes::Now() {
  // "cpu user nice system idle iowait irq softirq steal ..." in clock ticks.
  std::ifstream stat("/proc/stat");
  std::string cpu;
  stat >> cpu;
  MachineTimes times;
  for (int field = 0; field < 8; ++field) {
    double ticks = 0;
    if (!(stat >> ticks)) break;
    times.total += ticks;
    if (field != 3 && field != 4) times.busy += ticks;
  }
  return times;
}

double MachineTimes::BusyCoresSince(const MachineTimes& earlier) const {
  const double total = this->total - earlier.total;
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  return total > 0 ? (busy - earlier.busy) / total * static_cast<double>(cores) : 0.0;
}

void ResetPeakRss() {
  // "5" resets the process's resident high-water mark (VmHWM).
  std::ofstream("/proc/self/clear_refs") << "5";
}

long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

CpuTimes Md5sumTimes(const std::filesystem::path& file) {
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    execlp("md5sum", "md5sum", file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return {-1, -1};
  }
  return CpuTimes::Of(usage);
}

}  // namespace tarn::bench
