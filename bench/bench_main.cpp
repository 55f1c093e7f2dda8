// SPDX-License-Identifier: Apache-2.0
// tarn-bench [S [R [L]]]: engine throughput for 1 to 32 simulated phones
// against a raw pseudo-terminal ping-pong, with the engine's CPU time per GiB
// beside md5sum's, a table of every link count side by side, and the peak
// memory of tarn-flash flashing 8 and 32 phones, with a PDA of S MiB (default
// 256). With R > 1 every comparison runs R times, raw
// and engine side by side each time, and the ratio's median and range are
// printed too: on a shared machine one run's ratio can be off by a tenth.
// With L only L links are compared, without the memory run (for profiling).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench.h"

namespace {

constexpr std::uint32_t kDefaultMiB = 256;
constexpr double kThroughputTarget = 0.97;
constexpr double kCpuTarget = 1.5;  // times md5sum's user time, plus the bare link's system time
constexpr int kLinkCounts[] = {1, 2, 4, 8, 16, 32};

// tarn-flash's peak memory flashing this many phones, and its target.
struct MemoryCase {
  int phones;
  double targetMiB;
};
constexpr MemoryCase kMemoryCases[] = {{8, 16.0}, {32, 48.0}};

using tarn::bench::Verdict;

double RatioOf(const tarn::bench::LinkRates& engine, const tarn::bench::LinkRates& raw) {
  return raw.Sum() > 0 ? engine.Sum() / raw.Sum() : 0.0;
}

// One run side by side, printed in full; returns its figures.
tarn::bench::LinkFigures Compare(int links, std::uint32_t mib, const std::filesystem::path& pda,
                                 const tarn::bench::CpuTimes& md5sum) {
  const auto raw = tarn::bench::RunRawPingPong(links, mib);
  const auto engine = tarn::bench::RunEngine(links, mib, pda);
  const double ratio = RatioOf(engine, raw);
  std::printf("%d link(s) of %u MiB: engine %.2f MiB/s, raw %.2f MiB/s, engine/raw %.3f (target >= %.2f %s)\n", links,
              mib, engine.Sum(), raw.Sum(), ratio, kThroughputTarget, Verdict(ratio >= kThroughputTarget));
  // Per GiB of image sent; the raw ping-pong's time covers both of its ends.
  const double gib = links * (mib / 1024.0);
  const double md5User = md5sum.user * 1024.0 / mib;
  const double limit = kCpuTarget * md5User + raw.cpu.system / 2 / gib;
  const double engineCpu = (engine.cpu.user + engine.cpu.system) / gib;
  std::printf(
      "  host CPU s/GiB: engine user %.3f system %.3f; md5sum user %.3f system %.3f; raw link (both ends) "
      "user %.3f system %.3f; engine %.3f vs %.3f (target %s)\n",
      engine.cpu.user / gib, engine.cpu.system / gib, md5User, md5sum.system * 1024.0 / mib, raw.cpu.user / gib,
      raw.cpu.system / gib, engineCpu, limit, Verdict(engineCpu <= limit));
  // On a machine with few cores, many links can be bound by CPU: the phones
  // check every byte's digest (a real phone does that on its own CPU) and the
  // pseudo-terminals' kernel work runs in kernel threads nobody's time shows.
  std::printf(
      "  machine busy cores while sending (of %ld): raw %.2f, engine %.2f; simulated phones CPU s/GiB user %.3f "
      "system %.3f\n",
      sysconf(_SC_NPROCESSORS_ONLN), raw.machineBusyCores, engine.machineBusyCores, engine.phonesCpu.user / gib,
      engine.phonesCpu.system / gib);
  // Every switch is a wake-up the frame's turnaround may wait for.
  const double frames = gib * 1024.0 * 1024.0 * 1024.0 / tarn::bench::kFrameBytes;
  std::printf("  context switches per frame: engine %.1f, simulated phones %.1f, raw link (both ends) %.1f\n",
              engine.cpu.switches / frames, engine.phonesCpu.switches / frames, raw.cpu.switches / frames);
  std::printf("  engine peak RSS %.1f MiB; pieces whose digest was waited for: %llu\n", engine.peakRssKiB / 1024.0,
              static_cast<unsigned long long>(engine.digestsWaitedFor));
  return {links, ratio, engineCpu, engine.digestsWaitedFor, engine.mostAtOnce};
}

// Runs the comparison `repeats - 1` more times and prints the spread of all
// `repeats` ratios, the first run's included; returns their median.
double Repeat(int links, std::uint32_t mib, const std::filesystem::path& pda, int repeats, double first) {
  std::vector<double> ratios{first};
  for (int i = 1; i < repeats; ++i) {
    const auto raw = tarn::bench::RunRawPingPong(links, mib);
    ratios.push_back(RatioOf(tarn::bench::RunEngine(links, mib, pda), raw));
  }
  std::sort(ratios.begin(), ratios.end());
  const double median = ratios[ratios.size() / 2];
  std::printf("  %d runs: engine/raw median %.3f, min %.3f, max %.3f\n", repeats, median, ratios.front(),
              ratios.back());
  return median;
}

// The peak memory of tarn-flash flashing `memory.phones` phones.
void PrintFlashMemory(std::uint32_t mib, const std::filesystem::path& pda, const MemoryCase& memory) {
  const auto run = tarn::bench::RunFlash(memory.phones, pda);
  if (run.peakRssKiB < 0) {
    std::printf("memory: tarn-flash could not be run with %d phones\n", memory.phones);
    return;
  }
  const double peak = run.peakRssKiB / 1024.0;
  std::printf(
      "memory: tarn-flash flashing %d phones with %u MiB images: peak RSS %.1f MiB (%s, %d of %d phones written), "
      "target <= %.0f MiB %s\n",
      memory.phones, mib, peak, run.passed ? "all passed" : "NOT all passed", run.phonesWritten, memory.phones,
      memory.targetMiB, Verdict(peak <= memory.targetMiB));
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint32_t mib = argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)) : kDefaultMiB;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 1;
  // One link count alone, for a profiler's record of just that case.
  const int only = argc > 3 ? std::atoi(argv[3]) : 0;
  const bool known = only == 0 ||
                     std::find(std::begin(kLinkCounts), std::end(kLinkCounts), only) != std::end(kLinkCounts);
  if (mib == 0 || mib > 4000 || repeats < 1 || repeats > 50 || !known || argc > 4) {
    std::fprintf(stderr,
                 "usage: tarn-bench [MiB per image, 1..4000 [runs per comparison, 1..50 [links, 1|2|4|8|16|32]]]\n");
    return 2;
  }
  char pattern[] = "/tmp/tarn-bench-XXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  setenv("TARN_DEVICEMAP", (dir / "map").c_str(), 1);
  setenv("TARN_DEBUG_OUTPUT", "/dev/null", 1);
  const auto pda = tarn::bench::WriteBenchPda(dir, mib);

  // Memory first, while this process is small.
  if (only == 0) {
    for (const auto& memory : kMemoryCases) PrintFlashMemory(mib, pda, memory);
  }
  const auto md5sum = tarn::bench::Md5sumTimes(pda);
  if (md5sum.user < 0) std::printf("md5sum could not be run\n");
  std::vector<tarn::bench::LinkFigures> rows;
  for (int links : kLinkCounts) {
    if (only != 0 && links != only) continue;
    rows.push_back(Compare(links, mib, pda, md5sum));
    if (repeats > 1) rows.back().ratio = Repeat(links, mib, pda, repeats, rows.back().ratio);
  }
  tarn::bench::PrintScaling(rows);
  std::filesystem::remove_all(dir);
  return 0;
}
