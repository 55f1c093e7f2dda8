// SPDX-License-Identifier: Apache-2.0
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "bench/bench.h"

namespace tarn::bench {

double LinkRates::Sum() const {
  double sum = 0;
  for (double r : mibPerSecond) sum += r;
  return sum;
}

std::filesystem::path WriteBenchPda(const std::filesystem::path& dir, std::uint32_t mib) {
  // The name passes the platform check of the START computations.
  const auto path = dir / "test_bench_pda.tar";
  const std::uint64_t size = std::uint64_t{mib} * kMiB;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  char header[512] = {};
  std::strcpy(header, "zImage");
  char sizeField[24];
  std::snprintf(sizeField, sizeof(sizeField), "%011llo", static_cast<unsigned long long>(size));
  std::memcpy(header + 124, sizeField, 12);
  out.write(header, sizeof(header));
  std::vector<char> block(kMiB);
  std::uint32_t x = 0x12345678;
  for (std::uint32_t i = 0; i < mib; ++i) {
    for (auto& c : block) {
      x = x * 1103515245u + 12345u;
      c = static_cast<char>(x >> 16);
    }
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  const std::vector<char> end(1024, 0);
  out.write(end.data(), static_cast<std::streamsize>(end.size()));
  return path;
}

}  // namespace tarn::bench
