// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "engine/kelpa3_engine.h"
#include "engine/pell_linux_np.h"
#include "platform/clock.h"
#include "tests/testsupport/recording_host.h"
#include "tests/testsupport/temp_dir.h"

namespace {

using namespace std::chrono_literals;

TEST(EngineInterface, StartJobNeedsInit) {
  CPellLinuxNp engine;
  EXPECT_EQ(engine.StartJob(5, 0), 1);
  engine.Init(L"K-Project");
  engine.Close();
  EXPECT_EQ(engine.StartJob(5, 0), 1);
  std::int16_t running = 9;
  engine.IsJobRunning(&running);
  EXPECT_EQ(running, 0);
}

TEST(EngineInterface, PathsAreCutAt1039) {
  CPellLinuxNp engine;
  engine.SetPdaPath(std::wstring(1039, L'a').c_str());
  EXPECT_EQ(std::wstring(engine.Context().m_szPdaImage).size(), 1039u);
  engine.SetCscImage2(std::wstring(1040, L'b').c_str(), 77);
  EXPECT_EQ(std::wstring(engine.Context().m_szCscImage), std::wstring(1039, L'b'));
  EXPECT_EQ(engine.Context().m_dwCscSize, 77u);
}

TEST(EngineInterface, InitClearsWhatTheSettersSet) {
  CPellLinuxNp engine;
  engine.SetPdaPath(L"/images/pda.tar");
  engine.SetPhoneImage(L"phone", 10);
  engine.SetImageMask(0x0F);
  engine.SetTotalSize(1000);
  ENGINE_OPTIONS options{};
  options.bBootUpdate = 1;
  engine.SetOptions(&options);
  EXPECT_EQ(engine.SetAnswerTimeout(0), ENGINE_REFUSED);
  EXPECT_EQ(engine.SetAnswerTimeout(kMaxAnswerTimeoutSeconds + 1), ENGINE_REFUSED);
  EXPECT_EQ(engine.SetAnswerTimeout(7), ENGINE_OK);
  EXPECT_EQ(engine.Context().m_device.AnswerTimeoutMs(), 7000u);
  engine.Init(L"K-Project");
  const CKelpa3Engine& e = engine.Context();
  EXPECT_EQ(e.m_szPdaImage[0], L'\0');
  EXPECT_EQ(e.m_szPhoneImage[0], L'\0');
  EXPECT_EQ(e.m_dwPhoneSize, 0u);
  EXPECT_EQ(e.m_wImageMask, 0);
  EXPECT_EQ(e.m_nTotalSize, 0);
  EXPECT_EQ(e.m_options.bBootUpdate, 0);
  EXPECT_EQ(e.m_device.AnswerTimeoutMs(), kFirstByteTimeoutMs);
  EXPECT_EQ(e.m_dwState, ENGINE_STATE_READY);
}

TEST(EngineInterface, OptionsDefaultsAndName) {
  CPellLinuxNp engine;
  engine.SetOptions(nullptr);
  EXPECT_EQ(engine.Context().m_options.bNpsMode, 1);
  EXPECT_EQ(engine.Context().m_options.bAutoReboot, 1);
  EXPECT_EQ(engine.Context().m_options.bBootUpdate, 0);
  wchar_t name[6] = {};
  wchar_t* buffer = name;
  engine.GetEngineName(&buffer);
  EXPECT_EQ(std::wstring(name), L"Tarn2");
}

// A job that looks for a phone waits for one to appear; StopJob ends it at
// its next wait instead of killing it.
TEST(EngineInterface, StopJobEndsAWaitingJob) {
  tarn::test::TempDir map;
  std::filesystem::create_directories(map / "SERIALCOMM");
  setenv("TARN_DEVICEMAP", map.Path().c_str(), 1);
  tarn::test::RecordingHost host;
  CPellLinuxNp engine;
  engine.Init(L"K-Project");
  engine.SetOptions(nullptr);
  ASSERT_EQ(engine.StartJob(-1, 0), 0);
  std::int16_t running = 0;
  host.RunFor(200ms);
  engine.IsJobRunning(&running);
  EXPECT_EQ(running, 1);
  engine.StopJob();
  EXPECT_TRUE(host.RunUntil(
      [&] {
        engine.IsJobRunning(&running);
        return running == 0;
      },
      10s));
  EXPECT_TRUE(host.Errors().empty());
  unsetenv("TARN_DEVICEMAP");
}

}  // namespace
