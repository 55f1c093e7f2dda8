// One phone of a full batch of eight meets a fault; the other seven must not
// notice: they pass with their partitions byte for byte and no error.
#include <gtest/gtest.h>

#include "engine/options.h"
#include "tests/job/job_harness.h"
#include "tests/job/tar_builder.h"
#include "tests/reliability/resource_count.h"

namespace {

using tarn::test::BuildTar;
using tarn::test::JobHarness;
using tarn::test::JobSpec;
using tarn::test::Pattern;

constexpr int kFaultySlot = 3;

void RunBatchWithOneFault(const tarn::sim::FaultPlan& faults, const std::wstring& ownText) {
  JobHarness h;
  const std::string zimage = Pattern(3 * 131072 + 17, 5), factory = Pattern(200003, 6), csc = Pattern(7000, 7);
  const auto pda = h.Image("pda.tar", BuildTar({{"zImage", zimage}, {"factoryfs.rfs", factory}}));
  const auto cscTar = h.Image("csc.tar", BuildTar({{"ZUDARIDA.csc", csc}}));
  std::vector<JobSpec> specs;
  for (int slot = 0; slot < 8; ++slot) {
    tarn::sim::PhoneConfig config = JobHarness::Config();
    if (slot == kFaultySlot) config.faults = faults;
    h.AddPhone(slot + 1, config);
    JobSpec spec = tarn::test::PdaJob(slot + 1, slot, pda);
    spec.mask |= IMAGE_MASK_CSC;
    spec.csc = cscTar;
    specs.push_back(spec);
  }
  const int threads = tarn::platform::ProcessThreadCount();
  std::vector<CPellLinuxNp*> engines;
  for (const auto& spec : specs) engines.push_back(&h.Start(spec));
  ASSERT_TRUE(h.WaitAll());
  EXPECT_EQ(tarn::test::WaitForThreadCount(threads, std::chrono::seconds(10)), threads);
  for (int slot = 0; slot < 8; ++slot) {
    SCOPED_TRACE("slot " + std::to_string(slot));
    EXPECT_FALSE(engines[slot]->Context().m_device.IsOpen());
    EXPECT_TRUE(engines[slot]->Context().m_members.empty());
    if (slot == kFaultySlot) {
      EXPECT_FALSE(h.host.Passed(slot));
      EXPECT_TRUE(h.host.HasText(ownText, slot));
      ASSERT_FALSE(h.host.Errors(slot).empty());
      EXPECT_EQ(h.host.Errors(slot).back(), L"e - usb is disconnected!!");
      continue;
    }
    EXPECT_TRUE(h.host.Passed(slot));
    EXPECT_TRUE(h.host.Errors(slot).empty());
    EXPECT_FALSE(h.host.HasText(ownText, slot));
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
  RunBatchWithOneFault(faults, L"thread will be terminated.");
}

TEST(BatchIsolation, ARefusedPieceLeavesTheOtherSevenByteExact) {
  tarn::sim::FaultPlan faults;
  faults.fail = {505, 1};  // the write command of factoryfs.rfs
  faults.failResult = 4;
  RunBatchWithOneFault(faults, L"e - Command 505 Failed. result 4\n");
}

}  // namespace
