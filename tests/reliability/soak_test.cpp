// SPDX-License-Identifier: Apache-2.0
// The soak's bound: batch after batch of eight phones through tarn-flash's
// host loop leaves descriptors and threads exactly where they were and lets
// resident memory grow by at most 8 MiB after the first batch. Twenty batches
// here; bench/soak.cpp runs fifty and prints the figures.
#include <gtest/gtest.h>

#include <vector>

#include "tests/reliability/soak_run.h"

namespace {

constexpr int kBatches = 20;
constexpr long kRssGrowthKiB = 8 * 1024;

// AddressSanitizer keeps freed memory in quarantine and ThreadSanitizer grows
// its shadow memory, so resident memory grows there by design; the leak
// checker covers those builds instead.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kRssMeaningful = false;
#else
constexpr bool kRssMeaningful = true;
#endif

TEST(Soak, BatchesOfEightPhonesLeaveDescriptorsThreadsAndMemoryFlat) {
  tarn::test::SoakOptions options;
  options.batches = kBatches;
  std::vector<tarn::test::BatchFigures> batches;
  std::string error;
  ASSERT_TRUE(tarn::test::RunSoak(
      options, [&](const tarn::test::BatchFigures& f) { batches.push_back(f); }, &error))
      << error;
  ASSERT_EQ(batches.size(), static_cast<std::size_t>(kBatches));
  const tarn::test::Resources& first = batches.front().after;
  for (const auto& b : batches) {
    SCOPED_TRACE("batch " + std::to_string(b.batch));
    EXPECT_EQ(b.passed, 8);
    EXPECT_EQ(b.exact, 8);
    EXPECT_EQ(b.after.fds, b.before.fds);
    EXPECT_EQ(b.after.threads, b.before.threads);
    EXPECT_EQ(b.after.fds, first.fds);
    if (kRssMeaningful) {
      EXPECT_LE(b.after.rssKiB - first.rssKiB, kRssGrowthKiB);
    }
  }
  std::printf("soak: %d batches, fds %d, threads %d, RSS %ld KiB after the first batch, %ld KiB after the last\n",
              kBatches, first.fds, first.threads, first.rssKiB, batches.back().after.rssKiB);
}

}  // namespace
