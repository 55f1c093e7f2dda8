// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/events.h"
#include "engine/kelpa3_engine.h"
#include "link/link_report.h"
#include "tests/testsupport/recording_host.h"

namespace {

using namespace std::chrono_literals;
using tarn::test::RecordingHost;

// Runs `body` on a job-like thread while the host dispatches on this one.
template <typename Body>
void RunAsJob(RecordingHost& host, Body body) {
  std::atomic<bool> done{false};
  std::thread job([&] {
    body();
    done = true;
  });
  EXPECT_TRUE(host.RunUntil([&] { return done.load(); }, 10s));
  job.join();
}

TEST(Events, PackingPutsSlotPortFileOverallFromHighToLow) {
  EXPECT_EQ(PackProgress(7, 12, 75, 40), (WPARAM{7} << 24) | (WPARAM{12} << 16) | (WPARAM{75} << 8) | WPARAM{40});
  // Only the low 8 bits of each go in: 300 percent wraps.
  EXPECT_EQ(PackProgress(0, 0, 0, 300) & 0xFF, WPARAM{300 & 0xFF});
  EXPECT_EQ(PercentOf(1, 3), 33);
  EXPECT_EQ(PercentOf(5, 0), 0);
}

TEST(Events, NormalModeSendsStatesAndSlots) {
  RecordingHost host;
  CKelpa3Engine job;
  job.m_nIndex = 7;
  job.m_nPort = 12;
  RunAsJob(host, [&] {
    job.ReportStatus(0, L"open COM%d", 12);
    job.ReportError(L"e - Connection failed.");
    job.FireState(STATE_REBOOT, L"Reboot");
    job.ReportProgress(40, 75);
  });
  EXPECT_EQ(host.Texts(7), std::vector<std::wstring>{L"open COM12"});
  EXPECT_EQ(host.Errors(7), std::vector<std::wstring>{L"e - Connection failed."});
  EXPECT_EQ(host.States(7), (std::vector<int>{STATE_ERROR, STATE_REBOOT}));
  const auto& last = host.Messages().back();
  EXPECT_EQ(last.message, WM_JOB_PROGRESS);
  EXPECT_EQ(last.wParam, PackProgress(7, 12, 75, 40));
  EXPECT_EQ(last.lParam, 0);
}

TEST(Events, NpsModeSuppressesStatesOnly) {
  RecordingHost host;
  CKelpa3Engine job;
  job.m_nIndex = 4;
  job.m_options.bNpsMode = 1;
  RunAsJob(host, [&] {
    job.ReportStatus(0, L"NPS Mode");
    job.ReportError(L"e - x");
    job.FireState(STATE_PDA_START, L"PDA Download start");
    job.ReportProgress(55, 10);
  });
  EXPECT_TRUE(host.States().empty());
  ASSERT_EQ(host.Messages().size(), 3u);
  EXPECT_EQ(host.Messages()[0].lParam, 0);  // text carries the caller's value, not the slot
  EXPECT_EQ(host.Messages()[1].lParam, 4);  // errors still carry the slot
  EXPECT_EQ(host.Messages()[2].wParam, WPARAM{55});
}

TEST(Events, LongStatusIsCutTo511) {
  RecordingHost host;
  CKelpa3Engine job;
  const std::wstring text(600, L's');
  RunAsJob(host, [&] { job.ReportStatus(0, L"%ls", text.c_str()); });
  ASSERT_EQ(host.Texts().size(), 1u);
  EXPECT_EQ(host.Texts()[0], std::wstring(511, L's'));
}

}  // namespace
