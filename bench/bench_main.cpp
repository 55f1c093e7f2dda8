// SPDX-License-Identifier: Apache-2.0
// tarn-bench [S]: engine throughput for 1 and 8 simulated phones against a
// raw pseudo-terminal ping-pong, and the peak memory of tarn-flash flashing
// 8 phones, with a PDA of S MiB (default 256).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench.h"

namespace {

constexpr std::uint32_t kDefaultMiB = 256;
constexpr double kMemoryTargetMiB = 64.0;
constexpr double kThroughputTarget = 0.90;

void Compare(int links, std::uint32_t mib, const std::filesystem::path& pda) {
  const auto raw = tarn::bench::RunRawPingPong(links, mib);
  const auto engine = tarn::bench::RunEngine(links, mib, pda);
  const double ratio = raw.Sum() > 0 ? engine.Sum() / raw.Sum() : 0.0;
  std::printf("throughput, %d link(s) of %u MiB: engine %.2f MiB/s, raw %.2f MiB/s, engine/raw %.3f%s\n", links, mib,
              engine.Sum(), raw.Sum(), ratio,
              links == 8 ? (ratio >= kThroughputTarget ? " (target >= 0.90 met)" : " (target >= 0.90 missed)") : "");
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint32_t mib = argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)) : kDefaultMiB;
  if (mib == 0 || mib > 4000) {
    std::fprintf(stderr, "usage: tarn-bench [MiB per image, 1..4000]\n");
    return 2;
  }
  char pattern[] = "/tmp/tarn-bench-XXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  setenv("TARN_DEVICEMAP", (dir / "map").c_str(), 1);
  setenv("TARN_DEBUG_OUTPUT", "/dev/null", 1);
  const auto pda = tarn::bench::WriteBenchPda(dir, mib);

  // Memory first, while this process is small.
  bool passed = false;
  const long kib = tarn::bench::FlashPeakRssKiB(8, pda, &passed);
  if (kib < 0) {
    std::printf("memory: tarn-flash could not be run\n");
  } else {
    const double peak = kib / 1024.0;
    std::printf(
        "memory: tarn-flash flashing 8 phones with %u MiB images: peak RSS %.1f MiB (%s), ratio to the "
        "64 MiB target %.2f%s\n",
        mib, peak, passed ? "all passed" : "NOT all passed", peak / kMemoryTargetMiB,
        peak <= kMemoryTargetMiB ? " (met)" : " (missed)");
  }
  Compare(1, mib, pda);
  Compare(8, mib, pda);
  std::filesystem::remove_all(dir);
  return 0;
}
