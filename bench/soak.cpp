// SPDX-License-Identifier: Apache-2.0
// Soak figures: consecutive batches of eight simulated phones through
// tarn-flash's host loop in this one process (test clock), each batch with
// one fault from the fault set on a random slot. Every fault-free slot must
// pass byte-exact, the faulted one fail with its texts; descriptors and
// threads must stay where batch 1 left them and resident memory within
// 8 MiB of it. Exits 1 when any batch breaks a check.
//   tarn-soak [batches [seed]]     (TARN_SOAK_SEED also sets the seed)
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>

#include "tests/reliability/soak_run.h"

namespace {

constexpr long kRssGrowthKiB = 8 * 1024;

using tarn::test::BatchFigures;
using tarn::test::Resources;

struct Tally {
  int drawn = 0;
  int asExpected = 0;
};

std::uint64_t SeedOf(int argc, char** argv) {
  if (argc > 2) return std::strtoull(argv[2], nullptr, 10);
  if (const char* seed = std::getenv("TARN_SOAK_SEED")) return std::strtoull(seed, nullptr, 10);
  return std::random_device{}();
}

// What is wrong with a batch against batch 1's figures; empty when nothing is.
std::string Broken(const BatchFigures& f, const Resources& first) {
  std::string out;
  if (f.passed != f.clean) out += " fault-free slot failed;";
  if (f.exact != f.clean) out += " phone binary not byte-exact;";
  if (!f.faultProblem.empty()) out += " faulted slot: " + f.faultProblem + ";";
  if (f.after.fds != first.fds || f.after.fds != f.before.fds) out += " descriptors moved;";
  if (f.after.threads != first.threads || f.after.threads != f.before.threads) out += " threads moved;";
  if (f.after.rssKiB - first.rssKiB > kRssGrowthKiB) out += " resident memory grew over 8 MiB;";
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  tarn::test::SoakOptions options;
  options.faults = true;
  if (argc > 1) options.batches = std::atoi(argv[1]);
  if (options.batches <= 0) {
    std::fprintf(stderr, "usage: tarn-soak [batches [seed]]\n");
    return 2;
  }
  options.seed = SeedOf(argc, argv);
  std::printf("tarn-soak: %d batches of %d phones, seed %llu\n", options.batches, options.phones,
              static_cast<unsigned long long>(options.seed));
  std::printf("%5s  %-36s %4s %6s %9s %9s %9s %7s\n", "batch", "fault on slot", "slot", "passed", "fds", "threads",
              "RSS KiB", "sec");
  Resources first, last;
  int failures = 0, passes = 0, jobs = 0, faultsOk = 0;
  double total = 0;
  std::map<std::string, Tally> tally;
  std::string error;
  const bool ran = tarn::test::RunSoak(
      options,
      [&](const BatchFigures& f) {
        if (f.batch == 1) first = f.after;
        last = f.after;
        jobs += options.phones;
        passes += f.passed;
        total += f.seconds;
        Tally& t = tally[f.fault];
        ++t.drawn;
        if (f.faultProblem.empty()) {
          ++t.asExpected;
          ++faultsOk;
        }
        const std::string broken = Broken(f, first);
        if (!broken.empty()) ++failures;
        std::printf("%5d  %-36s %4d %3d/%-2d %4d>%-4d %4d>%-4d %9ld %7.2f%s%s\n", f.batch, f.fault.c_str(), f.faultSlot,
                    f.passed, f.clean, f.before.fds, f.after.fds, f.before.threads, f.after.threads, f.after.rssKiB,
                    f.seconds, broken.empty() ? "" : "  !", broken.c_str());
        if (f.passed != f.clean) std::printf("%s", f.cleanProblem.c_str());
        std::fflush(stdout);
      },
      &error);
  if (!ran) {
    std::fprintf(stderr, "tarn-soak: %s\n", error.c_str());
    return 2;
  }
  std::printf("\nfaults drawn (times drawn, of which FAIL with their texts):\n");
  for (const auto& [fault, t] : tally) std::printf("  %-36s %3d %3d\n", fault.c_str(), t.drawn, t.asExpected);
  std::printf(
      "summary: %d batches, %d jobs, %d fault-free passes of %d, %d faults (%d FAIL with their texts); fds %d -> %d, "
      "threads %d -> %d, "
      "RSS %ld -> %ld KiB (growth %ld KiB); %.1f s; %d batches broke a check; seed %llu\n",
      options.batches, jobs, passes, jobs - options.batches, options.batches, faultsOk, first.fds, last.fds,
      first.threads, last.threads, first.rssKiB, last.rssKiB, last.rssKiB - first.rssKiB, total, failures,
      static_cast<unsigned long long>(options.seed));
  return failures == 0 ? 0 : 1;
}
