// SPDX-License-Identifier: Apache-2.0
// Several jobs at once: the checksum lock and eight phones.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "engine/kelpa3_engine.h"
#include "engine/checksum.h"
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
using namespace std::chrono_literals;

bool Logged(const JobHarness& h, const std::string& text) {
  const auto log = h.LogLines();
  return std::any_of(log.begin(), log.end(), [&](const auto& line) { return line.find(text) != std::string::npos; });
}

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

// One job per slot: while a job runs, its engine refuses a second start and
// every change, so the job keeps its context and ends byte-exact. Once its
// thread has ended the engine takes a new job again.
TEST(JobConcurrency, RunningEngineRefusesChangesAndASecondStart) {
  JobHarness h;
  h.AddPhone(1);
  const std::string zimage = Pattern(400000, 1);
  const auto pda = h.Image("pda.tar", BuildTar({{"zImage", zimage}}));
  const std::wstring other = (h.Dir() / "other.tar").wstring();
  g_csChecksum.Enter();  // keeps the job running at its first piece
  CPellLinuxNp& engine = h.Start(PdaJob(1, 0, pda));
  const bool running = h.host.RunUntil([&] { return h.host.HasText(L"Downloading zImage"); }, 30s);
  const std::vector<std::pair<const char*, std::function<std::int32_t()>>> changes = {
      {"Init", [&] { return engine.Init(L"K-Project"); }},
      {"StartJob", [&] { return engine.StartJob(1, 0); }},
      {"Close", [&] { return engine.Close(); }},
      {"SetImageMask", [&] { return engine.SetImageMask(0); }},
      {"SetOptions", [&] { return engine.SetOptions(nullptr); }},
      {"SetTotalSize", [&] { return engine.SetTotalSize(5); }},
      {"SetPdaPath", [&] { return engine.SetPdaPath(other.c_str()); }},
      {"SetPdaImage", [&] { return engine.SetPdaImage(other.c_str(), 5); }},
      {"SetCscPath2", [&] { return engine.SetCscPath2(other.c_str()); }},
      {"SetSparePath", [&] { return engine.SetSparePath(other.c_str()); }},
  };
  for (const auto& [name, change] : changes) EXPECT_EQ(change(), 1) << name;
  g_csChecksum.Leave();
  ASSERT_TRUE(running);
  ASSERT_TRUE(h.WaitAll());

  const CKelpa3Engine& context = engine.Context();
  EXPECT_EQ(std::wstring(context.m_szPdaImage), pda.wstring());
  EXPECT_EQ(context.m_szSpareImage[0], L'\0');
  EXPECT_EQ(context.m_wImageMask, IMAGE_MASK_PDA);
  EXPECT_EQ(context.m_options.bNpsMode, 0);
  EXPECT_EQ(context.m_dwState, ENGINE_STATE_READY);
  EXPECT_TRUE(h.host.Passed(0));
  EXPECT_TRUE(h.host.Errors().empty());
  EXPECT_EQ(h.CommandsOf(1, tarn::sim::kGreetingCode).size(), 1u);
  EXPECT_EQ(h.Stored(1, "part03.bin"), zimage);
  EXPECT_TRUE(Logged(h, "Init refused: the job of slot 0 is still running"));

  std::int16_t stillRunning = 1;
  engine.IsJobRunning(&stillRunning);
  EXPECT_EQ(stillRunning, 0);
  EXPECT_EQ(engine.Init(L"K-Project"), 0);
  EXPECT_EQ(engine.Close(), 0);
}

// Destroying an engine whose job is queued on the checksum lock stops the job
// and returns only once its thread has ended: nothing is freed under it, and
// the phone's port is free for the next job.
TEST(JobConcurrency, DestroyingAnEngineEndsAJobQueuedOnTheChecksumLock) {
  JobHarness h;
  h.AddPhone(2);
  const std::string zimage = Pattern(300000, 5);
  const auto pda = h.Image("pda.tar", BuildTar({{"zImage", zimage}}));
  g_csChecksum.Enter();
  CPellLinuxNp& engine = h.Start(PdaJob(2, 0, pda));
  const bool queued = h.host.RunUntil([&] { return h.host.HasText(L"Downloading zImage"); }, 30s);
  h.host.RunFor(200ms);  // lets it reach the lock
  const auto thread = engine.Context().m_pThread;
  h.Destroy(engine);
  const bool ended = !thread->IsRunning();
  g_csChecksum.Leave();
  ASSERT_TRUE(queued);
  EXPECT_TRUE(ended);
  EXPECT_FALSE(Logged(h, "Enter Critical Section"));
  EXPECT_TRUE(h.CommandsOf(2, CMD_READY).empty());

  h.Start(PdaJob(2, 0, pda));
  ASSERT_TRUE(h.WaitAll());
  EXPECT_TRUE(h.host.Passed(0));
  EXPECT_EQ(h.Stored(2, "part03.bin"), zimage);
}

}  // namespace
