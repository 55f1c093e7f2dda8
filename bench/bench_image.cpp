// SPDX-License-Identifier: Apache-2.0
#include <cstdint>

#include "bench/bench.h"
#include "tools/tar_writer.h"

namespace tarn::bench {

double LinkRates::Sum() const {
  double sum = 0;
  for (double r : mibPerSecond) sum += r;
  return sum;
}

std::filesystem::path WriteBenchPda(const std::filesystem::path& dir, std::uint32_t mib) {
  // The name passes the platform check of the START computations.
  const auto path = dir / "test_bench_pda.tar";
  std::uint32_t x = 0x12345678;
  tools::TarWriter tar(path.string());
  tar.AddMember("zImage", std::uint64_t{mib} * kMiB, [&x](unsigned char* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      x = x * 1103515245u + 12345u;
      out[i] = static_cast<unsigned char>(x >> 16);
    }
  });
  tar.Finish();
  return path;
}

}  // namespace tarn::bench
