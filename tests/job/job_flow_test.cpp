// Whole jobs against simulated phones: message sequences, stored bytes and
// the job-level edge cases.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/events.h"
#include "engine/options.h"
#include "link/protocol.h"
#include "tests/job/job_harness.h"
#include "tests/job/tar_builder.h"

namespace {

using tarn::test::BuildTar;
using tarn::test::JobHarness;
using tarn::test::JobSpec;
using tarn::test::Pattern;

std::vector<int> Codes(const std::vector<tarn::sim::CommandRecord>& commands) {
  std::vector<int> out;
  for (const auto& c : commands) out.push_back(c.code);
  return out;
}

TEST(JobFlow, PdaArchiveIsWrittenByteForByteWithTheMessageSequence) {
  JobHarness h;
  h.AddPhone(3);
  const std::string zimage = Pattern(300000, 1);
  const std::string factory = Pattern(131072, 2);
  const std::string stratine = Pattern(20000, 3);
  const auto pda = h.Image("pda.tar", BuildTar({{"zImage", zimage}, {"factoryfs.rfs", factory},
                                                {"STRATINE.img", stratine}, {"ModemFW", "fw-bytes"}}));
  JobSpec spec;
  spec.port = 3;
  spec.slot = 0;
  spec.mask = IMAGE_MASK_PDA;
  spec.pda = pda;
  spec.totalSize = 300000 + 131072 + 20000 + 8;
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());

  EXPECT_TRUE(h.host.Errors().empty());
  EXPECT_TRUE(h.host.Passed(0));
  EXPECT_EQ(h.host.States(0), (std::vector<int>{STATE_PDA_START, STATE_PDA_END, STATE_REBOOT}));
  EXPECT_EQ(h.Stored(3, "part03.bin"), zimage);
  EXPECT_EQ(h.Stored(3, "part05.bin"), factory);
  EXPECT_EQ(h.Stored(3, "part20.bin"), stratine);
  EXPECT_TRUE(h.host.HasText(L"Downloading zImage"));
  EXPECT_EQ(h.host.Texts(0).back(), L"end.. bye~");

  // Files: one message per member, then the pass with files done.
  std::vector<std::pair<WPARAM, LPARAM>> files;
  for (const auto& m : h.host.Messages()) {
    if (m.message == WM_JOB_FILES) files.emplace_back(m.wParam, m.lParam);
    if (m.message == WM_JOB_PASS) {
      EXPECT_EQ(m.lParam, 4);
    }
  }
  EXPECT_EQ(files, (std::vector<std::pair<WPARAM, LPARAM>>{{4, 1}, {4, 2}, {4, 3}, {4, 4}}));

  // Progress: slot 0 and port 3 in the high bytes; overall percentages never go back.
  int last = 0;
  for (const auto& m : h.host.Messages()) {
    if (m.message != WM_JOB_PROGRESS) continue;
    EXPECT_EQ((m.wParam >> 16) & 0xFFFF, 3u);
    const int overall = static_cast<int>(m.wParam & 0xFF);
    EXPECT_GE(overall, last);
    last = overall;
  }
  EXPECT_GT(last, 90);

  // Per piece: Ready, frames, 711, the write command; the parameter record around the archive.
  const auto codes = Codes(h.CommandsOf(3, 0));
  const auto firstReady = std::find(codes.begin(), codes.end(), CMD_READY);
  ASSERT_NE(firstReady, codes.end());
  EXPECT_EQ(std::count(codes.begin(), codes.end(), CMD_GET_PARAM), 2);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), CMD_SET_PARAM), 2);
  EXPECT_EQ(codes.back(), CMD_RESET);
  const auto stra = h.CommandsOf(3, CMD_STRATINE);
  ASSERT_EQ(stra.size(), 1u);
  EXPECT_EQ(stra[0].argument, 0);
  EXPECT_EQ(stra[0].flag, 1);
  EXPECT_EQ(h.CommandsOf(3, CMD_FW).size(), 1u);
}

}  // namespace
