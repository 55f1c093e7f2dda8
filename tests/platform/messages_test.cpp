// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/messages.h"
#include "platform/thread.h"

namespace {

using namespace std::chrono_literals;
using tarn::platform::CMessageTarget;

TEST(Messages, SendWaitsForTheHostThreadAndReturnsItsResult) {
  std::thread::id handledOn;
  auto target = CMessageTarget::Create([&](UINT message, WPARAM wParam, LPARAM lParam) {
    handledOn = std::this_thread::get_id();
    return static_cast<LRESULT>(message + wParam + static_cast<WPARAM>(lParam));
  });
  auto result = std::async(std::launch::async, [&] { return SendMessageW(target, 100, 20, 3); });
  // Nothing is handled until the host dispatches.
  EXPECT_EQ(result.wait_for(50ms), std::future_status::timeout);
  while (target->WaitAndDispatch(100ms) == 0) {
  }
  EXPECT_EQ(result.get(), 123);
  EXPECT_EQ(handledOn, std::this_thread::get_id());
}

TEST(Messages, SendOnTheHostThreadRunsDirectly) {
  auto target = CMessageTarget::Create([](UINT, WPARAM w, LPARAM) { return static_cast<LRESULT>(w * 2); });
  EXPECT_EQ(SendMessageW(target, 1, 21, 0), 42);
}

TEST(Messages, DetachReleasesWaitingAndLaterSenders) {
  auto target = CMessageTarget::Create([](UINT, WPARAM, LPARAM) { return LRESULT{5}; });
  auto pending = std::async(std::launch::async, [&] { return SendMessageW(target, 1, 0, 0); });
  EXPECT_EQ(pending.wait_for(50ms), std::future_status::timeout);
  target->Detach();
  ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(pending.get(), 0);
  auto later = std::async(std::launch::async, [&] { return SendMessageW(target, 1, 0, 0); });
  ASSERT_EQ(later.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(later.get(), 0);
  EXPECT_EQ(SendMessageW(nullptr, 1, 0, 0), 0);
}

TEST(Messages, StoppedJobLeavesAnUnhandledSend) {
  auto target = CMessageTarget::Create([](UINT, WPARAM, LPARAM) { return LRESULT{1}; });
  std::atomic<bool> returned{false};
  auto job = tarn::platform::CThread::Create([&] {
    SendMessageW(target, 1, 0, 0);
    returned = true;
    return DWORD{1};
  });
  ASSERT_TRUE(job);
  std::this_thread::sleep_for(30ms);
  job->RequestStop();
  ASSERT_TRUE(job->WaitEnded(5s));
  EXPECT_FALSE(returned);
  EXPECT_EQ(target->DispatchPending(), 0u);  // the abandoned message is gone
}

TEST(Messages, ControlQueriesDecodeStateAndAbsence) {
  auto target = CMessageTarget::Create([](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    if (message != tarn::platform::WM_HOST_QUERY_CONTROL) return 0;
    if (wParam == 1039) return tarn::platform::ControlAnswer(-1);
    if (wParam == 1042) return tarn::platform::ControlAnswer(1);
    return 0;
  });
  tarn::platform::SetMainWindow(target);
  int state = 99;
  EXPECT_TRUE(tarn::platform::QueryHostControl(1039, &state));
  EXPECT_EQ(state, -1);
  EXPECT_TRUE(tarn::platform::QueryHostControl(1042, &state));
  EXPECT_EQ(state, 1);
  EXPECT_FALSE(tarn::platform::QueryHostControl(1, &state));
  target->Detach();
  EXPECT_FALSE(tarn::platform::QueryHostControl(1042, &state));
  tarn::platform::SetMainWindow(nullptr);
}

}  // namespace
