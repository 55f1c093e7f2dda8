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
#ifdef TARN_FLASH_PATH
constexpr const char* kFlashPath = TARN_FLASH_PATH;
#else
constexpr const char* kFlashPath = nullptr;
#endif

// VmHWM of a running process in KiB; -1 when it cannot be read.
long HighWaterKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// tarn-flash with its output in `report`; its pid, or -1.
pid_t StartFlash(std::vector<std::string> args, const std::string& report) {
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
  return child;
}

// The child's peak resident memory in KiB, sampled until it exits. The
// rusage of a forked child counts the parent's pages it held before exec, so
// the peak is read from the child's own high-water mark instead.
long PeakUntilExit(pid_t child, int* status) {
  long peak = -1;
  for (;;) {
    const long sample = HighWaterKiB(child);
    if (sample > peak) peak = sample;
    const pid_t done = waitpid(child, status, WNOHANG);
    if (done == child) return peak;
    if (done < 0) return -1;
    std::this_thread::sleep_for(kSampleInterval);
  }
}

// Shows why a run failed: the error lines and the verdicts.
void ShowFailures(const std::string& report) {
  std::ifstream lines(report);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("ERROR") != std::string::npos || line.find("FAIL") != std::string::npos) {
      std::fprintf(stderr, "tarn-flash: %s\n", line.c_str());
    }
  }
}

}  // namespace

FlashRun RunFlash(int links, const std::filesystem::path& pda) {
  FlashRun run;
  if (kFlashPath == nullptr) return run;
  std::vector<std::unique_ptr<sim::SimPhone>> phones;
  std::vector<std::string> args = {kFlashPath, "--pda", pda.string(), "--no-factory-mode"};
  for (int i = 0; i < links; ++i) {
    sim::PhoneConfig config;
    config.greeting = "LAST";
    config.loaderVersion = 7;
    config.comNumber = 11 + i;
    config.index = 10 + i;
    phones.push_back(std::make_unique<sim::SimPhone>(config));
    if (!phones.back()->Start()) return run;
    args.push_back("--port");
    args.push_back(std::to_string(config.comNumber));
  }
  const std::string report = (pda.parent_path() / "tarn-flash.txt").string();
  const pid_t child = StartFlash(args, report);
  if (child < 0) return run;
  int status = 0;
  run.peakRssKiB = PeakUntilExit(child, &status);
  run.passed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!run.passed) ShowFailures(report);
  // Counted on the phones: one left outside the batch is never driven and
  // fails no job, so tarn-flash's exit status alone would not show it.
  for (const auto& phone : phones) {
    const auto stats = phone->Stats();
    if (stats.piecesStored > 0 && stats.digestMismatches == 0) ++run.phonesWritten;
  }
  return run;
}

}  // namespace tarn::bench
