// SPDX-License-Identifier: Apache-2.0
// The window's soak bound: batch after batch of eight phones through one
// operator window leaves descriptors and threads exactly where they were and
// lets resident memory grow by at most 8 MiB after the first batch. Twelve
// batches here; tarn-window-soak runs fifty and prints the figures.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include <QThread>

#include "tests/window/window_fixture.h"
#include "tests/window/window_soak_run.h"

namespace tarn::test {
namespace {

constexpr int kBatches = 12;
constexpr long kRssGrowthKiB = 8 * 1024;

using WindowSoakTest = WindowTest;

TEST_F(WindowSoakTest, BatchesOfEightPhonesLeaveDescriptorsThreadsAndMemoryFlat) {
  WindowSoakOptions options;
  options.batches = kBatches;
  std::vector<WindowBatchFigures> batches;
  std::string error;
  ASSERT_TRUE(RunWindowSoak(
      options, [&](const WindowBatchFigures& f) { batches.push_back(f); }, &error))
      << error;
  ASSERT_EQ(batches.size(), static_cast<std::size_t>(kBatches));
  const Resources& first = batches.front().after.own;
  for (const auto& b : batches) {
    SCOPED_TRACE("batch " + std::to_string(b.batch));
    EXPECT_EQ(b.passed, tarn::window::kSlotCount);
    EXPECT_EQ(b.exact, tarn::window::kSlotCount);
    EXPECT_EQ(b.after.own.fds, b.before.own.fds);
    EXPECT_EQ(b.after.own.threads, b.before.own.threads);
    EXPECT_EQ(b.after.own.fds, first.fds);
    EXPECT_EQ(b.after.own.threads, first.threads);
    if (kResidentMemoryMeaningful) {
      EXPECT_LE(b.after.own.rssKiB - first.rssKiB, kRssGrowthKiB);
    }
    // The toolkit's pool never grows past its own limit.
    EXPECT_LE(b.after.paintPool, QThread::idealThreadCount());
  }
  std::printf(
      "window soak: %d batches, fds %d, threads %d, RSS %ld KiB after the first batch, %ld KiB after the last\n",
      kBatches, first.fds, first.threads, first.rssKiB, batches.back().after.own.rssKiB);
}

}  // namespace
}  // namespace tarn::test
