// Several jobs at once: the checksum lock and eight phones.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/checksum.h"
#include "engine/options.h"
#include "link/protocol.h"
#include "tests/job/job_harness.h"
#include "tests/job/tar_builder.h"

namespace {

using tarn::test::BuildTar;
using tarn::test::JobHarness;
using tarn::test::JobSpec;
using tarn::test::PdaJob;
using tarn::test::Pattern;

// Every "Enter" of the checksum section is followed by its "Leave" before
// the next "Enter".
void ExpectChecksumsOneAtATime(const std::vector<std::string>& log, int expectedPieces) {
  int inside = 0, entries = 0;
  for (const auto& line : log) {
    if (line.find("Enter Critical Section To Make MD5 Checksum") != std::string::npos) {
      EXPECT_EQ(inside, 0) << line;
      ++inside;
      ++entries;
    } else if (line.find("Leave Critical Section!!") != std::string::npos) {
      --inside;
    }
  }
  EXPECT_EQ(inside, 0);
  EXPECT_EQ(entries, expectedPieces);
}

TEST(JobConcurrency, JobsWaitForTheChecksumLockBeforeAnnouncingAPiece) {
  JobHarness h;
  h.AddPhone(1);
  h.AddPhone(2);
  const std::string zimage = Pattern(400000, 1);
  const auto pda = h.Image("pda.tar", BuildTar({{"zImage", zimage}}));
  g_csChecksum.Enter();
  h.Start(PdaJob(1, 0, pda));
  h.Start(PdaJob(2, 1, pda));
  const bool prepared = h.host.RunUntil(
      [&] { return h.CommandsOf(1, CMD_SET_PARAM).size() == 1 && h.CommandsOf(2, CMD_SET_PARAM).size() == 1; },
      std::chrono::seconds(30));
  h.host.RunFor(std::chrono::milliseconds(200));
  const bool announced = !h.CommandsOf(1, CMD_READY).empty() || !h.CommandsOf(2, CMD_READY).empty();
  g_csChecksum.Leave();
  ASSERT_TRUE(prepared);
  EXPECT_FALSE(announced);
  ASSERT_TRUE(h.WaitAll());
  EXPECT_TRUE(h.host.Passed(0));
  EXPECT_TRUE(h.host.Passed(1));
  EXPECT_EQ(h.Stored(1, "part03.bin"), zimage);
  EXPECT_EQ(h.Stored(2, "part03.bin"), zimage);
  ExpectChecksumsOneAtATime(h.LogLines(), 2);
}

TEST(JobConcurrency, EightPhonesAtOnce) {
  JobHarness h;
  const std::string zimage = Pattern(700000, 2), factory = Pattern(300001, 3), csc = Pattern(9000, 4);
  const auto pda = h.Image("pda.tar", BuildTar({{"zImage", zimage}, {"factoryfs.rfs", factory}}));
  const auto cscTar = h.Image("csc.tar", BuildTar({{"ZUDARIDA.csc", csc}, {"FR.csc", "fr"}}));
  for (int slot = 0; slot < 8; ++slot) {
    h.AddPhone(slot + 1);
    JobSpec spec = PdaJob(slot + 1, slot, pda);
    spec.mask |= IMAGE_MASK_CSC;
    spec.csc = cscTar;
    h.Start(spec);
  }
  ASSERT_TRUE(h.WaitAll());
  for (int slot = 0; slot < 8; ++slot) {
    EXPECT_TRUE(h.host.Passed(slot)) << slot;
    EXPECT_TRUE(h.host.Errors(slot).empty()) << slot;
    EXPECT_TRUE(h.Stored(slot + 1, "part03.bin") == zimage) << slot;
    EXPECT_TRUE(h.Stored(slot + 1, "part05.bin") == factory) << slot;
    EXPECT_TRUE(h.Stored(slot + 1, "part23.bin") == csc) << slot;
  }
  ExpectChecksumsOneAtATime(h.LogLines(), 8 * 3);
}

}  // namespace
