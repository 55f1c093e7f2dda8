// SPDX-License-Identifier: Apache-2.0
// One phone of a full batch of eight meets a fault; the other seven must not
// notice: they pass with their partitions byte for byte and no error.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "engine/kelpa3_engine.h"
#include "engine/options.h"
#include "wire/command_packet.h"
#include "tests/testsupport/job_harness.h"
#include "tests/reliability/resource_count.h"
#include "tests/testsupport/test_images.h"

namespace {

using tarn::test::BuildTar;
using tarn::test::JobHarness;
using tarn::test::JobSpec;
using tarn::test::Pattern;

constexpr int kFaultySlot = 3;

struct OneFault {
  tarn::sim::FaultPlan faults;
  std::wstring ownText;   // a text only the faulty slot shows (empty: none)
  std::wstring ownError;  // an error only it shows (empty: none); "{image}" stands for its PDA archive
  // Runs once the batch has started; given the faulty slot's own PDA archive.
  std::function<void(JobHarness&, const std::filesystem::path&)> during;
};

void RunBatchWithOneFault(const OneFault& fault) {
  JobHarness h;
  const std::string zimage = Pattern(3 * 131072 + 17, 5), factory = Pattern(200003, 6), csc = Pattern(7000, 7);
  const std::string pdaBytes = BuildTar({{"zImage", zimage}, {"factoryfs.rfs", factory}});
  const auto pda = h.Image("pda.tar", pdaBytes);
  const auto faultyPda = h.Image("pda-faulty.tar", pdaBytes);
  const auto cscTar = h.Image("csc.tar", BuildTar({{"ZUDARIDA.csc", csc}}));
  std::vector<JobSpec> specs;
  for (int slot = 0; slot < 8; ++slot) {
    tarn::sim::PhoneConfig config = JobHarness::Config();
    if (slot == kFaultySlot) config.faults = fault.faults;
    h.AddPhone(slot + 1, config);
    JobSpec spec = tarn::test::PdaJob(slot + 1, slot, slot == kFaultySlot ? faultyPda : pda);
    spec.mask |= IMAGE_MASK_CSC;
    spec.csc = cscTar;
    specs.push_back(spec);
  }
  const int threads = tarn::platform::ProcessThreadCount();
  std::vector<CPellLinuxNp*> engines;
  for (const auto& spec : specs) engines.push_back(&h.Start(spec));
  if (fault.during) fault.during(h, faultyPda);
  ASSERT_TRUE(h.WaitAll());
  EXPECT_EQ(tarn::test::WaitForThreadCount(threads, std::chrono::seconds(10)), threads);
  for (int slot = 0; slot < 8; ++slot) {
    SCOPED_TRACE("slot " + std::to_string(slot));
    EXPECT_FALSE(engines[slot]->Context().m_device.IsOpen());
    EXPECT_TRUE(engines[slot]->Context().m_members.empty());
    if (slot == kFaultySlot) {
      EXPECT_FALSE(h.host.Passed(slot));
      EXPECT_TRUE(fault.ownText.empty() || h.host.HasText(fault.ownText, slot));
      const auto errors = h.host.Errors(slot);
      ASSERT_FALSE(errors.empty());
      std::wstring ownError = fault.ownError;
      if (const auto at = ownError.find(L"{image}"); at != std::wstring::npos)
        ownError.replace(at, 7, faultyPda.wstring());
      EXPECT_TRUE(ownError.empty() || std::find(errors.begin(), errors.end(), ownError) != errors.end()) << ownError;
      EXPECT_EQ(errors.back(), L"e - usb is disconnected!!");
      continue;
    }
    EXPECT_TRUE(h.host.Passed(slot));
    EXPECT_TRUE(h.host.Errors(slot).empty());
    EXPECT_TRUE(fault.ownText.empty() || !h.host.HasText(fault.ownText, slot));
    EXPECT_TRUE(h.Stored(slot + 1, "part03.bin") == zimage);
    EXPECT_TRUE(h.Stored(slot + 1, "part05.bin") == factory);
    EXPECT_TRUE(h.Stored(slot + 1, "part23.bin") == csc);
  }
  EXPECT_FALSE(tarn::test::IsMapped(pda));
  EXPECT_FALSE(tarn::test::IsMapped(cscTar));
}

TEST(BatchIsolation, AnUnpluggedPhoneLeavesTheOtherSevenByteExact) {
  tarn::sim::FaultPlan faults;
  faults.unplugAtFrame = 2;
  RunBatchWithOneFault({faults, L"thread will be terminated.", L"", nullptr});
}

TEST(BatchIsolation, ARefusedPieceLeavesTheOtherSevenByteExact) {
  tarn::sim::FaultPlan faults;
  faults.fail = {505, 1};  // the write command of factoryfs.rfs
  faults.failResult = 4;
  RunBatchWithOneFault({faults, L"e - Command 505 Failed. result 4\n", L"", nullptr});
}

// Read through mapped pages, a file cut short under a running batch would
// end the whole process.
TEST(BatchIsolation, AnImageCutShortWhileItIsSentFailsOnlyItsOwnJob) {
  RunBatchWithOneFault({{},
                        L"",
                        L"e - the image changed while it was being sent: {image}",
                        [](JobHarness& h, const std::filesystem::path& image) {
                          // Ready means the piece's digest is done; the job stops at its first
                          // progress message until the host runs again, so frames are still to come.
                          ASSERT_TRUE(h.host.RunUntil([&] { return !h.CommandsOf(kFaultySlot + 1, CMD_READY).empty(); },
                                                      std::chrono::seconds(60)));
                          std::filesystem::resize_file(image, 512 + 131072);
                        }});
}

}  // namespace
