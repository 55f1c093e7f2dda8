// SPDX-License-Identifier: Apache-2.0
// Pieces, frames and write commands as the phone sees them.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "engine/kelpa3_engine.h"
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

std::vector<std::pair<int, int>> LengthsAndFlags(const std::vector<tarn::sim::CommandRecord>& commands) {
  std::vector<std::pair<int, int>> out;
  for (const auto& c : commands) out.emplace_back(c.length, c.flag);
  return out;
}

TEST(JobTransfer, FrameBoundariesAt131072And131073) {
  JobHarness h;
  auto& phone = h.AddPhone(1);
  const std::string exact = Pattern(131072, 1), over = Pattern(131073, 2);
  h.Start(PdaJob(1, 0, h.Image("pda.tar", BuildTar({{"zImage", exact}, {"initrd", over}}))));
  ASSERT_TRUE(h.WaitAll());
  EXPECT_TRUE(h.host.Passed(0));
  std::vector<int> readies;
  for (const auto& c : h.CommandsOf(1, CMD_READY)) readies.push_back(c.length);
  EXPECT_EQ(readies, (std::vector<int>{131072, 262144}));
  EXPECT_EQ(phone.Stats().frames, 3);
  EXPECT_EQ(h.Stored(1, "part03.bin"), exact);
  EXPECT_EQ(h.Stored(1, "part04.bin"), over);
}

// A PDA whose zImage is 60 MiB + 1000 bytes, mostly a hole in a sparse file.
void WriteLargePda(const std::filesystem::path& path, std::uint32_t size, std::string* member) {
  const std::string head = Pattern(70000, 5), tail = Pattern(1000, 6);
  const std::string header = BuildTar({{"zImage", "", std::to_string(0)}}, false).substr(0, 512);
  char sizeField[13];
  std::snprintf(sizeField, sizeof(sizeField), "%011o", size);
  std::string first = header;
  first.replace(124, 12, std::string(sizeField, 12));
  first += head;
  tarn::test::WriteFile(path, first);
  const int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), 512 + size - tail.size()), static_cast<ssize_t>(tail.size()));
  ASSERT_EQ(ftruncate(fd, 512 + (size + 511) / 512 * 512 + 1024), 0);
  close(fd);
  *member = head + std::string(size - head.size() - tail.size(), '\0') + tail;
}

TEST(JobTransfer, PieceLimitDependsOnTheLoaderVersion) {
  JobHarness h(1.0);  // 60 MiB pieces: the real serial time-outs, as a loaded machine needs them
  h.AddPhone(2, JobHarness::Config(6));
  h.AddPhone(3, JobHarness::Config(7));
  constexpr std::uint32_t kSize = 62914560 + 1000;
  std::string member;
  WriteLargePda(h.Dir() / "large.tar", kSize, &member);
  h.Start(PdaJob(2, 0, h.Dir() / "large.tar"));
  h.Start(PdaJob(3, 1, h.Dir() / "large.tar"));
  ASSERT_TRUE(h.WaitAll());
  EXPECT_TRUE(h.host.Passed(0));
  EXPECT_TRUE(h.host.Passed(1));
  EXPECT_EQ(LengthsAndFlags(h.CommandsOf(2, CMD_WRITE_PARTITION_BASE + 3)),
            (std::vector<std::pair<int, int>>{{62914560, 0}, {1000, 1}}));
  EXPECT_EQ(LengthsAndFlags(h.CommandsOf(3, CMD_WRITE_PARTITION_BASE + 3)),
            (std::vector<std::pair<int, int>>{{static_cast<int>(kSize), 1}}));
  EXPECT_TRUE(h.Stored(2, "part03.bin") == member);
  EXPECT_TRUE(h.Stored(3, "part03.bin") == member);
}

TEST(JobTransfer, OldLoaderGetsTheInfoBlockPieceInThePlainForm) {
  JobHarness h;
  auto config = JobHarness::Config();
  config.greeting = "KELD";  // loader version 2
  h.AddPhone(4, config);
  const std::string modem = Pattern(200000, 7);
  JobSpec spec;
  spec.port = 4;
  spec.mask = IMAGE_MASK_PHONE;
  spec.phone = h.Image("modem.bin", modem);
  spec.options.bPhoneBootUpdate = 1;
  spec.options.bPhoneEfsClear = 5;  // any nonzero value sets the bit
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());
  EXPECT_TRUE(h.host.Passed(0));
  EXPECT_TRUE(h.host.Errors().empty());
  ASSERT_EQ(h.CommandsOf(4, CMD_READY).size(), 1u);
  EXPECT_EQ(h.CommandsOf(4, CMD_READY)[0].length, 262144);
  EXPECT_EQ(LengthsAndFlags(h.CommandsOf(4, CMD_PHONE)), (std::vector<std::pair<int, int>>{{200072, 3}}));
  EXPECT_EQ(h.Stored(4, "phone.bin"), modem);
  EXPECT_TRUE(h.host.HasText(L"Please wait"));
}

TEST(JobTransfer, RefusedThirdFrameStopsThePiece) {
  JobHarness h;
  auto config = JobHarness::Config();
  config.faults.failFrame = 3;
  auto& phone = h.AddPhone(5, config);
  h.Start(PdaJob(5, 0, h.Image("pda.tar", BuildTar({{"zImage", Pattern(5 * 131072, 8)}}))));
  ASSERT_TRUE(h.WaitAll());
  EXPECT_FALSE(h.host.Passed(0));
  EXPECT_EQ(phone.Stats().frames, 3);
  EXPECT_TRUE(h.CommandsOf(5, CMD_END_FRAMES).empty());
  EXPECT_TRUE(h.CommandsOf(5, CMD_WRITE_PARTITION_BASE + 3).empty());
  EXPECT_EQ(h.host.Errors(0).back(), L"e - usb is disconnected!!");
}

TEST(JobTransfer, MemberMustFitItsPartitionAndTheNationGoesBack) {
  JobHarness h;
  auto fits = JobHarness::Config();
  fits.params.sizes[3] = 5000;
  fits.params.nation = 5;
  auto tooSmall = fits;
  tooSmall.params.sizes[3] = 4999;
  h.AddPhone(6, fits);
  h.AddPhone(7, tooSmall);
  h.host.nationSelection = 2;
  const auto pda = h.Image("pda.tar", BuildTar({{"zImage", Pattern(5000, 9)}}));
  h.Start(PdaJob(6, 0, pda));
  h.Start(PdaJob(7, 1, pda));
  ASSERT_TRUE(h.WaitAll());

  EXPECT_TRUE(h.host.Passed(0));
  ASSERT_TRUE(h.CommandsOf(6, CMD_SET_PARAM).size() == 2u);
  EXPECT_EQ(h.CommandsOf(6, CMD_READY).size(), 1u);

  EXPECT_FALSE(h.host.Passed(1));
  EXPECT_EQ(h.host.Errors(1).front(), L"e - file size is greater than partition size!!");
  EXPECT_TRUE(h.host.HasText(L"index: 3, file size: 5000, partition size: 4999", 1));
  EXPECT_TRUE(h.CommandsOf(7, CMD_READY).empty());
  EXPECT_TRUE(h.CommandsOf(7, CMD_SET_PARAM).empty());
}

TEST(JobTransfer, ImagesOf4GiBAreRefused) {
  JobHarness h;
  h.AddPhone(8);
  const auto path = h.Dir() / "huge.tar";
  const std::string head = BuildTar({{"zImage", "abc"}}, false);
  tarn::test::WriteFile(path, head);
  ASSERT_EQ(truncate(path.c_str(), (off_t{1} << 32) + 512), 0);  // a hole, no disk space
  h.Start(PdaJob(8, 0, path));
  ASSERT_TRUE(h.WaitAll());
  EXPECT_FALSE(h.host.Passed(0));
  const auto errors = h.host.Errors(0);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front().rfind(L"e - the image is 4 GiB or larger", 0), 0u);
  EXPECT_TRUE(h.CommandsOf(8, CMD_READY).empty());
}

// START refuses an empty phone binary; this one became empty after it.
TEST(JobTransfer, AnEmptyPhoneBinaryFailsWithItsReason) {
  JobHarness h;
  h.AddPhone(2);
  JobSpec spec;
  spec.port = 2;
  spec.mask = IMAGE_MASK_PHONE;
  spec.phone = h.Image("modem.bin", "");
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());
  ASSERT_FALSE(h.host.Errors(0).empty());
  EXPECT_EQ(h.host.Errors(0).front(), L"e - the phone binary is empty: " + spec.phone.wstring());
  EXPECT_TRUE(h.CommandsOf(2, CMD_READY).empty());
}

}  // namespace

namespace {

TEST(JobTransfer, CsaClearOnlyWithOptionOne) {
  JobHarness h;
  const auto pda = h.Image("pda.tar", BuildTar({{"zImage", "abc"}}));
  for (int value : {0, 1, 2}) {
    h.AddPhone(value + 1);
    JobSpec spec = PdaJob(value + 1, value, pda);
    spec.options.bCsaClear = value;
    h.Start(spec);
  }
  ASSERT_TRUE(h.WaitAll());
  EXPECT_TRUE(h.CommandsOf(1, CMD_CSA_CLEAR).empty());
  EXPECT_EQ(h.CommandsOf(2, CMD_CSA_CLEAR).size(), 1u);
  EXPECT_TRUE(h.CommandsOf(3, CMD_CSA_CLEAR).empty());
  for (int slot = 0; slot < 3; ++slot) EXPECT_TRUE(h.host.Passed(slot));
}

TEST(JobTransfer, UnplugDuringAFrameEndsTheJobAndReleasesItsPort) {
  JobHarness h;
  auto config = JobHarness::Config();
  config.faults.unplugAtFrame = 2;
  h.AddPhone(4, config);
  auto& engine = h.Start(PdaJob(4, 0, h.Image("pda.tar", BuildTar({{"zImage", Pattern(4 * 131072, 3)}}))));
  ASSERT_TRUE(h.WaitAll());
  EXPECT_FALSE(h.host.Passed(0));
  const auto errors = h.host.Errors(0);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), L"e - usb is disconnected!!");
  EXPECT_TRUE(h.host.HasText(L"thread will be terminated.", 0));
  EXPECT_TRUE(engine.Context().m_members.empty());
  EXPECT_FALSE(engine.Context().m_device.IsOpen());
}

}  // namespace
