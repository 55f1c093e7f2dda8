// SPDX-License-Identifier: Apache-2.0
// Boot Format runs and Stratine part downloads.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/events.h"
#include "engine/options.h"
#include "wire/command_packet.h"
#include "tests/testsupport/job_harness.h"
#include "tests/testsupport/test_images.h"

namespace {

using tarn::test::BuildTar;
using tarn::test::JobHarness;
using tarn::test::JobSpec;
using tarn::test::Pattern;
using tarn::test::PdaJob;

std::vector<std::pair<int, int>> CodesAndLengths(const std::vector<tarn::sim::CommandRecord>& commands) {
  std::vector<std::pair<int, int>> out;
  for (const auto& c : commands) {
    if (c.code >= CMD_WRITE_PARTITION_BASE && c.code != CMD_GET_PARAM && c.code != CMD_SET_PARAM &&
        c.code != CMD_GET_VERSION && c.code != CMD_GET_PLATFORM) {
      out.emplace_back(c.code, c.length);
    }
  }
  return out;
}

TEST(JobBootFormat, WritesBothBootBlocksAndEndsTheJob) {
  JobHarness h;
  auto& phone = h.AddPhone(1);
  h.AddPhone(2);
  h.AddPhone(3);
  const std::string zimage = Pattern(2000, 3);
  JobSpec spec = PdaJob(
      1, 0,
      h.Image("pda.tar",
              BuildTar({{"boot.bin", Pattern(4000, 1)}, {"sbl.bin", Pattern(3000, 2)}, {"zImage", zimage}})));
  spec.options.bBootFormat = 1;
  h.Start(spec);
  // Without SBL there is nothing to format: the normal download follows.
  spec = PdaJob(2, 1, h.Image("nosbl.tar", BuildTar({{"boot.bin", Pattern(4000, 1)}, {"zImage", zimage}})));
  spec.options.bBootFormat = 1;
  h.Start(spec);
  // BOOT has 128 KiB in the first block; a larger one is refused.
  spec = PdaJob(3, 2, h.Image("bigboot.tar", BuildTar({{"boot.bin", Pattern(131073, 1)}, {"sbl.bin", "s"}})));
  spec.options.bBootFormat = 1;
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());

  EXPECT_TRUE(h.host.Errors(0).empty());
  EXPECT_FALSE(h.host.Passed(0));
  EXPECT_EQ(h.host.States(0).back(), STATE_FORMAT);
  EXPECT_TRUE(h.host.HasText(L"Format", 0));
  EXPECT_EQ(CodesAndLengths(h.CommandsOf(1, 0)),
            (std::vector<std::pair<int, int>>{
                {CMD_READY, 262144}, {CMD_END_FRAMES, 0}, {CMD_READY, 131072}, {CMD_END_FRAMES, 0}, {CMD_FORMAT, 0}}));
  EXPECT_EQ(phone.Stats().frames, 3);
  EXPECT_TRUE(h.CommandsOf(1, CMD_RESET).empty());

  EXPECT_TRUE(h.host.Passed(1));
  EXPECT_TRUE(h.CommandsOf(2, CMD_FORMAT).empty());
  EXPECT_EQ(h.Stored(2, "part03.bin"), zimage);

  EXPECT_FALSE(h.host.Passed(2));
  EXPECT_EQ(h.host.Errors(2).front(), L"e - boot.bin is 131073 bytes; the boot area holds 131072");
  EXPECT_TRUE(h.CommandsOf(3, CMD_READY).empty());
}

struct StratineCase {
  int port;
  int mask;
  std::string ums, opt, csc;
};

TEST(JobStratine, PartsFollowTheMemoryGroupMask) {
  JobHarness h;
  const std::string ums = Pattern(1000, 1), opt = Pattern(5000, 2), csc = Pattern(3000, 3);
  const std::vector<StratineCase> cases = {
      {1, 0, ums, opt, csc}, {2, 2, ums, opt, csc}, {3, 7, ums, opt, csc}, {4, 4, ums, opt, ""}};
  for (const auto& c : cases) {
    h.AddPhone(c.port);
    JobSpec spec = PdaJob(c.port, c.port - 1,
                          h.Image("pda" + std::to_string(c.port) + ".tar",
                                  BuildTar({{"STRATINE", tarn::test::StratineData(c.ums, c.opt, c.csc)}})));
    spec.options.bStratineAll = 0;
    spec.options.nStratineParts = c.mask;
    h.Start(spec);
  }
  ASSERT_TRUE(h.WaitAll());
  for (int slot = 0; slot < 4; ++slot) EXPECT_TRUE(h.host.Passed(slot)) << slot;

  EXPECT_TRUE(h.CommandsOf(1, CMD_READY).empty());
  const auto texts = h.host.Texts(0);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), L"Skip stratine part 2\n"), 1);

  const auto only2 = h.CommandsOf(2, CMD_STRATINE);
  ASSERT_EQ(only2.size(), 1u);
  EXPECT_EQ(only2[0].argument, 2);
  EXPECT_EQ(only2[0].length, 5000);
  EXPECT_EQ(only2[0].flag, 1);
  EXPECT_EQ(h.Stored(2, "part22.bin"), opt);
  EXPECT_FALSE(h.HasStored(2, "part21.bin"));
  EXPECT_EQ(h.CommandsOf(2, CMD_READY).at(0).length, 131072);

  std::vector<int> arguments;
  for (const auto& c : h.CommandsOf(3, CMD_STRATINE)) arguments.push_back(c.argument);
  EXPECT_EQ(arguments, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(h.Stored(3, "part21.bin"), ums);
  EXPECT_EQ(h.Stored(3, "part22.bin"), opt);
  EXPECT_EQ(h.Stored(3, "part23.bin"), csc);

  EXPECT_TRUE(h.host.HasText(L"Download stratine part 3\n", 3));
  EXPECT_TRUE(h.CommandsOf(4, CMD_READY).empty());
}

TEST(JobStratine, PartsLargerThanTheMemberAreRefused) {
  JobHarness h;
  h.AddPhone(5);
  std::string member = tarn::test::StratineData(Pattern(1000, 1), "", "");
  member[17] = 0x10;  // part 1 now claims 4096 + 1000 bytes, past the member's end
  JobSpec spec = PdaJob(5, 0, h.Image("pda.tar", BuildTar({{"STRATINE", member}})));
  spec.options.bStratineAll = 0;
  spec.options.nStratineParts = 1;
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());
  EXPECT_FALSE(h.host.Passed(0));
  EXPECT_EQ(h.host.Errors(0).front().rfind(L"e - broken Stratine image", 0), 0u);
  EXPECT_TRUE(h.CommandsOf(5, CMD_READY).empty());
}

}  // namespace
