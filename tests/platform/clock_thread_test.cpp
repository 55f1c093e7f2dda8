// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "platform/clock.h"
#include "platform/critical_section.h"
#include "platform/thread.h"

namespace {

using namespace std::chrono_literals;
using tarn::platform::CThread;

class ScaledClock : public ::testing::Test {
 protected:
  void SetUp() override { tarn::platform::SetClockScale(0.01); }
  void TearDown() override { tarn::platform::SetClockScale(1.0); }
};

TEST_F(ScaledClock, SleepAndTicksAgreeInClockTime) {
  const DWORD before = GetTickCount();
  const auto realBefore = std::chrono::steady_clock::now();
  Sleep(3000);  // 30 ms of real time at this scale
  const DWORD elapsed = GetTickCount() - before;
  EXPECT_GE(elapsed, 3000u);
  // The sleep did not take anything like its clock length in real time.
  EXPECT_LT(std::chrono::steady_clock::now() - realBefore, 2500ms);
}

TEST(Clock, ScaleChangesKeepTickCountContinuous) {
  const DWORD before = GetTickCount();
  tarn::platform::SetClockScale(0.5);
  tarn::platform::SetClockScale(1.0);
  EXPECT_GE(GetTickCount(), before);
  EXPECT_EQ(tarn::platform::RealDuration(1000), std::chrono::nanoseconds(1000000000));
}

TEST_F(ScaledClock, GuardTimeOutsKeepARealFloor) {
  using tarn::platform::GuardDuration;
  EXPECT_EQ(GuardDuration(1000), std::chrono::milliseconds(250));     // 10 ms scaled, floor wins
  EXPECT_EQ(GuardDuration(300000), std::chrono::milliseconds(3000));  // scaled wins
  EXPECT_EQ(GuardDuration(100), std::chrono::milliseconds(100));      // never longer than itself
}

TEST(Thread, ReportsRunningAndExitCode) {
  std::atomic<bool> release{false};
  auto thread = CThread::Create([&] {
    while (!release) std::this_thread::sleep_for(1ms);
    return DWORD{7};
  });
  ASSERT_TRUE(thread);
  EXPECT_TRUE(thread->IsRunning());
  EXPECT_EQ(thread->ExitCode(), STILL_ACTIVE);
  release = true;
  ASSERT_TRUE(thread->WaitEnded(5s));
  EXPECT_FALSE(thread->IsRunning());
  EXPECT_EQ(thread->ExitCode(), 7u);
}

// A stop request ends a thread blocked in a long Sleep, and unwinding releases
// a lock it held, so another thread can take it afterwards. A thread queued on
// that lock through a stoppable wait is ended by a stop too, without entering;
// one that is not stopped enters as soon as the lock is left.
TEST(Thread, StopEndsSleepAndReleasesLocks) {
  static tarn::platform::CCriticalSection section;
  std::atomic<bool> holding{false};
  std::atomic<bool> pastSleep{false};
  std::atomic<int> entered{0};
  auto thread = CThread::Create([&] {
    tarn::platform::CSectionLock lock(section);
    holding = true;
    Sleep(600000);
    pastSleep = true;
    return DWORD{1};
  });
  ASSERT_TRUE(thread);
  while (!holding) std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(section.TryEnter());
  const auto queue = [&] {
    return CThread::Create([&] {
      tarn::platform::CStoppableSectionLock lock(section);
      ++entered;
      return DWORD{2};
    });
  };
  auto stopped = queue();
  auto waiting = queue();
  ASSERT_TRUE(stopped && waiting);
  stopped->RequestStop();
  stopped->WaitEnded();
  EXPECT_EQ(stopped->ExitCode(), 0u);
  EXPECT_TRUE(waiting->IsRunning());
  EXPECT_EQ(entered, 0);

  thread->RequestStop();
  ASSERT_TRUE(thread->WaitEnded(5s));
  EXPECT_FALSE(pastSleep);
  EXPECT_EQ(thread->ExitCode(), 0u);
  waiting->WaitEnded();
  EXPECT_EQ(waiting->ExitCode(), 2u);
  EXPECT_EQ(entered, 1);
  ASSERT_TRUE(section.TryEnter());
  section.Leave();
}

TEST(Thread, EndThisThreadUnwindsWithCode) {
  auto thread = CThread::Create([] {
    tarn::platform::EndThisThread(3);
    return DWORD{9};
  });
  ASSERT_TRUE(thread && thread->WaitEnded(5s));
  EXPECT_EQ(thread->ExitCode(), 3u);
}

TEST(CriticalSection, IsRecursive) {
  tarn::platform::CCriticalSection section;
  section.Enter();
  EXPECT_TRUE(section.TryEnter());
  section.Leave();
  section.Leave();
  std::atomic<bool> taken{false};
  std::thread other([&] {
    taken = section.TryEnter();
    if (taken) section.Leave();
  });
  other.join();
  EXPECT_TRUE(taken);
}

}  // namespace
