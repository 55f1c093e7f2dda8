// SPDX-License-Identifier: Apache-2.0
// The soak's bound: batch after batch of eight phones through tarn-flash's
// host loop, one of them with a fault from the fault set, passes every
// fault-free phone byte-exact, fails the faulted one with its texts, leaves
// descriptors and threads exactly where they were and lets resident memory
// grow by at most 8 MiB after the first batch. Twenty batches here, drawn from
// the faults that do not wait out the answer bound; bench/soak.cpp runs any
// number with every failing fault and prints the figures.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/reliability/resource_count.h"
#include "tests/reliability/soak_run.h"

namespace {

constexpr int kBatches = 20;
constexpr std::uint64_t kSeed = 14;
constexpr long kRssGrowthKiB = 8 * 1024;

TEST(Soak, BatchesOfEightPhonesLeaveDescriptorsThreadsAndMemoryFlat) {
  tarn::test::SoakOptions options;
  options.batches = kBatches;
  options.faults = true;
  options.slowFaults = false;
  options.seed = kSeed;
  std::vector<tarn::test::BatchFigures> batches;
  std::string error;
  ASSERT_TRUE(tarn::test::RunSoak(
      options, [&](const tarn::test::BatchFigures& f) { batches.push_back(f); }, &error))
      << error;
  ASSERT_EQ(batches.size(), static_cast<std::size_t>(kBatches));
  const tarn::test::Resources& first = batches.front().after;
  for (const auto& b : batches) {
    SCOPED_TRACE("batch " + std::to_string(b.batch));
    SCOPED_TRACE(b.fault + " on slot " + std::to_string(b.faultSlot));
    EXPECT_EQ(b.clean, 7);
    EXPECT_EQ(b.passed, 7);
    EXPECT_EQ(b.exact, 7);
    EXPECT_EQ(b.faultProblem, "");
    EXPECT_EQ(b.after.fds, b.before.fds);
    EXPECT_EQ(b.after.threads, b.before.threads);
    EXPECT_EQ(b.after.fds, first.fds);
    EXPECT_EQ(b.after.threads, first.threads);
    if (tarn::test::kResidentMemoryMeaningful) {
      EXPECT_LE(b.after.rssKiB - first.rssKiB, kRssGrowthKiB);
    }
  }
  std::printf(
      "soak: %d batches (seed %llu), fds %d, threads %d, RSS %ld KiB after the first batch, %ld KiB after the last\n",
      kBatches, static_cast<unsigned long long>(kSeed), first.fds, first.threads, first.rssKiB,
      batches.back().after.rssKiB);
}

}  // namespace
