// SPDX-License-Identifier: Apache-2.0
// Every link count's figures side by side, and how they scale: a station
// serves up to 32 phones, so adding links must not make each byte dearer.
#include <cstdio>
#include <vector>

#include "bench/bench.h"

namespace tarn::bench {

namespace {

constexpr double kCpuGrowthTarget = 0.15;  // 32 links' CPU s/GiB at most this much above 8 links'

const LinkFigures* Find(const std::vector<LinkFigures>& rows, int links) {
  for (const auto& row : rows) {
    if (row.links == links) return &row;
  }
  return nullptr;
}

}  // namespace

const char* Verdict(bool met) { return met ? "met" : "missed"; }

void PrintScaling(const std::vector<LinkFigures>& rows) {
  std::printf("\n%5s  %10s  %14s  %16s  %14s\n", "links", "engine/raw", "engine s/GiB", "digests waited",
              "most at once");
  std::uint64_t waited = 0;
  for (const auto& row : rows) {
    std::printf("%5d  %10.3f  %14.3f  %16llu  %14d\n", row.links, row.ratio, row.cpuPerGiB,
                static_cast<unsigned long long>(row.digestsWaitedFor), row.mostAtOnce);
    waited += row.digestsWaitedFor;
  }
  const LinkFigures* eight = Find(rows, 8);
  const LinkFigures* many = Find(rows, 32);
  if (eight != nullptr && many != nullptr && eight->cpuPerGiB > 0) {
    const double growth = many->cpuPerGiB / eight->cpuPerGiB - 1;
    std::printf("CPU s/GiB at 32 links vs 8: %+.1f %% (target <= +%.0f %% %s)\n", growth * 100, kCpuGrowthTarget * 100,
                Verdict(growth <= kCpuGrowthTarget));
  }
  std::printf("pieces whose digest was waited for, all link counts: %llu (target 0 %s)\n",
              static_cast<unsigned long long>(waited), Verdict(waited == 0));
}

}  // namespace tarn::bench
