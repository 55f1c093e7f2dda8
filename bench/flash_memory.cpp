// SPDX-License-Identifier: Apache-2.0
// Peak resident memory of the headless host while it flashes phones.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "sim/keld_sim.h"

namespace tarn::bench {

namespace {

constexpr auto kSampleInterval = std::chrono::milliseconds(10);

// VmHWM of a running process in KiB; -1 when it cannot be read.
long HighWaterKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

}  // namespace

long FlashPeakRssKiB(int links, const std::filesystem::path& pda, bool* passed) {
  const std::string report = (pda.parent_path() / "tarn-flash.txt").string();
  *passed = false;
#ifndef TARN_FLASH_PATH
  (void)links;
  (void)pda;
  return -1;
#else
  std::vector<std::unique_ptr<sim::SimPhone>> phones;
  std::vector<std::string> args = {TARN_FLASH_PATH, "--pda", pda.string(), "--no-factory-mode"};
  for (int i = 0; i < links; ++i) {
    sim::PhoneConfig config;
    config.greeting = "LAST";
    config.loaderVersion = 7;
    config.comNumber = 11 + i;
    config.index = 10 + i;
    phones.push_back(std::make_unique<sim::SimPhone>(config));
    if (!phones.back()->Start()) return -1;
    args.push_back("--port");
    args.push_back(std::to_string(config.comNumber));
  }
  const pid_t child = fork();
  if (child == 0) {
    const int out = open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (child < 0) return -1;
  // The rusage of a forked child counts the parent's pages it held before
  // exec, so the peak is read from the child's own high-water mark instead.
  long peak = -1;
  int status = 0;
  for (;;) {
    const long sample = HighWaterKiB(child);
    if (sample > peak) peak = sample;
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0) return -1;
    std::this_thread::sleep_for(kSampleInterval);
  }
  *passed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!*passed) {
    // Show why: the error lines and the verdicts.
    std::ifstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.find("ERROR") != std::string::npos || line.find("FAIL") != std::string::npos) {
        std::fprintf(stderr, "tarn-flash: %s\n", line.c_str());
      }
    }
  }
  return peak;
#endif
}

}  // namespace tarn::bench
