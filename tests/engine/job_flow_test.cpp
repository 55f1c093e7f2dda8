// SPDX-License-Identifier: Apache-2.0
// Whole jobs against simulated phones: message sequences, stored bytes and
// the job-level edge cases.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/events.h"
#include "engine/options.h"
#include "wire/command_packet.h"
#include "platform/file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include "tests/testsupport/job_harness.h"
#include "tests/testsupport/test_images.h"

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
  const auto pda = h.Image(
      "pda.tar",
      BuildTar({{"zImage", zimage}, {"factoryfs.rfs", factory}, {"STRATINE.img", stratine}, {"ModemFW", "fw-bytes"}}));
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

namespace {

bool Logged(const JobHarness& h, const std::string& text) {
  for (const auto& line : h.LogLines()) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

int Count(const std::vector<tarn::test::RecordedMessage>& messages, UINT message) {
  return static_cast<int>(
      std::count_if(messages.begin(), messages.end(), [message](const auto& m) { return m.message == message; }));
}

TEST(JobFlow, EmptyMaskResetsAndWaitsOnlyInFactoryMode) {
  JobHarness h(0.01);  // the 160 s completion wait
  h.AddPhone(1);
  h.AddPhone(2);
  JobSpec spec;  // mask 0
  spec.port = 1;
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());
  EXPECT_TRUE(h.host.Passed(0));
  EXPECT_EQ(h.host.States(0), std::vector<int>{STATE_REBOOT});
  EXPECT_EQ(Codes(h.CommandsOf(1, 0)).back(), CMD_RESET);
  EXPECT_TRUE(Logged(h, ">>>>>>>> CHECK : 0"));

  // Factory mode: 160 ticks without a PDA image, after the wait state.
  h.host.Clear();
  h.host.factoryModeChecked = 1;
  spec.port = 2;
  spec.slot = 1;
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());
  EXPECT_TRUE(h.host.Passed(1));
  EXPECT_EQ(h.host.States(1), (std::vector<int>{STATE_REBOOT, STATE_WAIT}));
  EXPECT_TRUE(h.host.HasText(L"wait for the completion", 1));
  // Step 5's 0/0, the wait's start, then one per second.
  EXPECT_EQ(Count(h.host.Messages(), WM_JOB_PROGRESS), 1 + 1 + 160);
}

TEST(JobFlow, PortMinusTwoResetsAndEndsAsFailed) {
  JobHarness h;
  h.AddPhone(4);
  JobSpec spec;
  spec.port = -2;
  spec.mask = IMAGE_MASK_PDA;
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());
  EXPECT_FALSE(h.host.Passed(0));
  EXPECT_EQ(h.host.States(0).front(), STATE_ERROR);
  EXPECT_EQ(Codes(h.CommandsOf(4, 0)).back(), CMD_RESET);
  EXPECT_TRUE(h.CommandsOf(4, CMD_READY).empty());
}

// No false PASS. A refused phone binary does not stop the job: the CSC
// archive, the reset and the wait still follow so the phone is left usable,
// but the job ends with an error. A refused Stratine part fails its archive.
TEST(JobFlow, RefusedPhoneBinaryOrStratinePartNeverEndsInPass) {
  JobHarness h;
  auto config = JobHarness::Config();
  config.faults.fail = {CMD_PHONE, 1};
  config.faults.failResult = 1;
  h.AddPhone(5, config);
  config.faults.fail = {CMD_STRATINE, 1};
  config.faults.failResult = 4;
  h.AddPhone(12, config);
  h.host.nationSelection = 2;
  const std::string de = Pattern(5000, 9);
  JobSpec spec;
  spec.port = 5;
  spec.mask = IMAGE_MASK_PHONE | IMAGE_MASK_CSC;
  spec.phone = h.Image("modem.bin", Pattern(200000, 8));
  spec.csc = h.Image("csc.tar", BuildTar({{"FRANCE.csc", "fr"}, {"DE.csc", de}, {"XX.csc", "xx"}}));
  h.Start(spec);
  JobSpec stratine = tarn::test::PdaJob(
      12, 1, h.Image("stratine.tar", BuildTar({{"STRATINE", tarn::test::StratineData(Pattern(1000, 1), "", "")}})));
  stratine.options.bStratineAll = 0;
  stratine.options.nStratineParts = 1;
  h.Start(stratine);
  ASSERT_TRUE(h.WaitAll());

  EXPECT_FALSE(h.host.Passed(0));
  EXPECT_EQ(h.host.Errors(0),
            (std::vector<std::wstring>{L"e - Phone activating failed", L"e - the phone binary was not written"}));
  EXPECT_EQ(h.host.States(0), (std::vector<int>{STATE_PHONE_START, STATE_PHONE_UPDATE, STATE_ERROR, STATE_ERROR,
                                                STATE_PDA_START, STATE_PDA_END, STATE_REBOOT, STATE_ERROR}));
  EXPECT_FALSE(h.host.HasText(L"end.. bye~", 0));
  EXPECT_EQ(Codes(h.CommandsOf(5, 0)).back(), CMD_RESET);
  EXPECT_EQ(h.Stored(5, "part23.bin"), de);
  EXPECT_TRUE(h.host.HasText(L"SKIP FRANCE.csc (1), 2"));
  EXPECT_TRUE(h.host.HasText(L"Downloading DE.csc (2), 2"));
  EXPECT_TRUE(h.host.HasText(L"SKIP XX.csc (0), 2"));
  // The nation chosen at the start goes back to the phone after the archive.
  ASSERT_TRUE(h.CommandsOf(5, CMD_SET_PARAM).size() == 2u);

  EXPECT_FALSE(h.host.Passed(1));
  EXPECT_EQ(h.host.Errors(1).front(), L"e - Stratine flashing partition failed");
}

TEST(JobFlow, FileSystemMemberNeedsLoaderSix) {
  JobHarness h;
  h.AddPhone(6, JobHarness::Config(5));
  JobSpec spec;
  spec.port = 6;
  spec.mask = IMAGE_MASK_PDA;
  spec.pda = h.Image("pda.tar", BuildTar({{"zImage", "k"}, {"factoryfs.rfs", Pattern(1000, 1)}}));
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());
  EXPECT_FALSE(h.host.Passed(0));
  const auto errors = h.host.Errors(0);
  ASSERT_GE(errors.size(), 2u);
  EXPECT_EQ(errors[0], L"e - Keld Version is too low. Please download again!\n");
  EXPECT_EQ(errors[1], L"e - usb is disconnected!!");
  EXPECT_TRUE(h.CommandsOf(6, CMD_WRITE_PARTITION_BASE + 5).empty());
  EXPECT_EQ(h.Stored(6, "part03.bin"), "k");  // the member before it went out
}

TEST(JobFlow, BootAndSblFollowTheBootUpdateOption) {
  JobHarness h;
  h.AddPhone(7);
  h.AddPhone(8);
  const std::string boot = Pattern(4000, 1), sbl = Pattern(3000, 2), zimage = Pattern(2000, 3);
  const auto pda = h.Image("pda.tar", BuildTar({{"boot.bin", boot}, {"sbl.bin", sbl}, {"zImage", zimage}}));
  JobSpec spec;
  spec.port = 7;
  spec.mask = IMAGE_MASK_PDA;
  spec.pda = pda;
  spec.options.bBootUpdate = 0;
  h.Start(spec);
  spec.port = 8;
  spec.slot = 1;
  spec.options.bBootUpdate = 1;
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());
  EXPECT_TRUE(h.host.Passed(0));
  EXPECT_TRUE(h.host.Passed(1));
  EXPECT_FALSE(h.HasStored(7, "part00.bin"));
  EXPECT_FALSE(h.HasStored(7, "part01.bin"));
  EXPECT_EQ(h.Stored(7, "part03.bin"), zimage);
  EXPECT_TRUE(Logged(h, "boot.bin pass.."));
  EXPECT_EQ(h.Stored(8, "part00.bin"), boot);
  EXPECT_EQ(h.Stored(8, "part01.bin"), sbl);
  EXPECT_TRUE(Logged(h, "BOOT UPDATE 1"));
}

TEST(JobFlow, EmptyArchiveAndUnknownMemberFailBeforeSending) {
  JobHarness h;
  h.AddPhone(9);
  h.AddPhone(10);
  JobSpec spec;
  spec.port = 9;
  spec.mask = IMAGE_MASK_PDA;
  spec.pda = h.Image("empty.tar", std::string(1024, '\0'));
  h.Start(spec);
  spec.port = 10;
  spec.slot = 1;
  spec.pda = h.Image("bad.tar", BuildTar({{"zImage", "abc"}, {"readme.txt", "hello"}}));
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());

  EXPECT_FALSE(h.host.Passed(0));
  EXPECT_EQ(h.host.Errors(0).front(), L"e - the PDA archive holds no files: " + (h.Dir() / "empty.tar").wstring());
  EXPECT_TRUE(h.CommandsOf(9, CMD_READY).empty());
  EXPECT_FALSE(h.host.Passed(1));
  EXPECT_EQ(h.host.Errors(1).front(), L"e - unknown file - \"readme.txt\"");
  EXPECT_TRUE(h.CommandsOf(10, CMD_GET_PARAM).empty());
  EXPECT_TRUE(h.CommandsOf(10, CMD_READY).empty());
}

TEST(JobFlow, NpsModeReadsSharedMemoryAndSendsNoStates) {
  JobHarness h;
  h.AddPhone(11);
  const std::string zimage = Pattern(150000, 4);
  const std::string image = BuildTar({{"zImage", zimage}});
  const std::string name = "tarn-job-nps-" + std::to_string(getpid());
  ASSERT_TRUE(tarn::platform::CreateSharedImage(name, image.data(), image.size()));
  JobSpec spec;
  spec.port = 11;
  spec.mask = IMAGE_MASK_PDA;
  spec.options.bNpsMode = 1;
  spec.sharedPda = std::wstring(name.begin(), name.end());
  spec.sharedPdaSize = static_cast<std::uint32_t>(image.size());
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());
  EXPECT_TRUE(h.host.Passed(0));
  EXPECT_TRUE(h.host.States().empty());
  EXPECT_TRUE(h.host.HasText(L"NPS Mode"));
  EXPECT_EQ(h.Stored(11, "part03.bin"), zimage);

  // An object that others may write is no image of the user's.
  const int fd = shm_open(("/" + name).c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(fchmod(fd, 0666), 0);
  close(fd);
  spec.slot = 1;
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());
  tarn::platform::RemoveSharedImage(name);
  EXPECT_FALSE(h.host.Passed(1));
  ASSERT_FALSE(h.host.Errors(1).empty());
  EXPECT_EQ(h.host.Errors(1).front(), L"e - the shared image is not the user's own or others can write it: " +
                                          std::wstring(name.begin(), name.end()));
}

}  // namespace
