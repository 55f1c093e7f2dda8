// SPDX-License-Identifier: Apache-2.0
// Pieces of the benchmark program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct rusage;

namespace tarn::bench {

constexpr std::uint32_t kFrameBytes = 131072;
constexpr std::uint32_t kPauseMs = 5;
constexpr std::uint32_t kMiB = 1u << 20;
// The engine starts slot i this long after slot 0; the bare links start as
// late, so that as many of them overlap and their rates compare.
constexpr int kSlotStaggerMs = 500;

// CPU seconds spent by this process (or a child), user and system, and how
// often its threads gave up the CPU (waits and preemptions).
struct CpuTimes {
  double user = 0;
  double system = 0;
  double switches = 0;
  static CpuTimes Now();
  static CpuTimes Of(const rusage& usage);
  CpuTimes operator-(const CpuTimes& earlier) const;
};

// Busy and total CPU time of the whole machine (every process and kernel
// thread), from /proc/stat.
struct MachineTimes {
  double busy = 0;
  double total = 0;
  static MachineTimes Now();
  // Cores kept busy on average since `earlier`.
  double BusyCoresSince(const MachineTimes& earlier) const;
};

// MiB/s of each link, measured over its own transfer, and what the run cost
// this process.
struct LinkRates {
  std::vector<double> mibPerSecond;
  CpuTimes cpu;
  // The simulated phones' CPU time (engine runs only).
  CpuTimes phonesCpu;
  double machineBusyCores = 0;
  // The most links whose transfer was under way at one time: the engine
  // starts its slots half a second apart, so short images overlap less.
  int mostAtOnce = 0;
  long peakRssKiB = -1;
  // Pieces whose digest the job had to wait for (not computed ahead in time).
  std::uint64_t digestsWaitedFor = 0;
  double Sum() const;
};

void ResetPeakRss();
long PeakRssKiB();
// CPU time md5sum spends on the file; negative when it could not be run.
CpuTimes Md5sumTimes(const std::filesystem::path& file);

// A PDA archive with one raw member of `mib` MiB of varied bytes.
std::filesystem::path WriteBenchPda(const std::filesystem::path& dir, std::uint32_t mib);

// `links` pseudo-terminal pairs, each sending `mib` MiB as 131072-byte frames
// with a 5 ms pause after each and a 4-byte answer per frame, link i from
// i * kSlotStaggerMs on. The CPU time covers both ends.
LinkRates RunRawPingPong(int links, std::uint32_t mib);
// `links` simulated phones (served by a child process) flashed by the engine
// in this process; each link's rate covers its archive from "PDA Download
// start" to "PDA Download end", the CPU time is the engine's alone.
LinkRates RunEngine(int links, std::uint32_t mib, const std::filesystem::path& pda);
// What tarn-flash did flashing simulated phones: its peak resident memory
// (-1 when it could not be run), whether it exited with 0, and how many
// phones were written with every digest matching.
struct FlashRun {
  long peakRssKiB = -1;
  bool passed = false;
  int phonesWritten = 0;
};
FlashRun RunFlash(int links, const std::filesystem::path& pda);

// One link count's figures, printed side by side once every count has run.
struct LinkFigures {
  int links = 0;
  double ratio = 0;  // engine/raw throughput (the median with several runs)
  double cpuPerGiB = 0;
  std::uint64_t digestsWaitedFor = 0;
  int mostAtOnce = 0;  // of the engine's links
};
const char* Verdict(bool met);
// The table, with the targets on how the figures scale with the link count.
void PrintScaling(const std::vector<LinkFigures>& rows);

}  // namespace tarn::bench
