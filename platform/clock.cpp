// SPDX-License-Identifier: Apache-2.0
#include "platform/clock.h"

#include <atomic>
#include <mutex>

#include "platform/thread.h"

namespace tarn::platform {
namespace {

using Steady = std::chrono::steady_clock;

struct ClockState {
  std::mutex lock;
  double scale = 1.0;
  // Clock time already reached when the scale last changed, and the real
  // instant of that change: clock time stays continuous across changes.
  double baseClockMs = 0.0;
  Steady::time_point baseReal = Steady::now();
};

ClockState& State() {
  static ClockState state;
  return state;
}

double ClockMsAt(const ClockState& s, Steady::time_point now) {
  const double realMs = std::chrono::duration<double, std::milli>(now - s.baseReal).count();
  return s.baseClockMs + realMs / s.scale;
}

}  // namespace

void SetClockScale(double scale) {
  if (!(scale > 0.0)) return;
  ClockState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  const auto now = Steady::now();
  s.baseClockMs = ClockMsAt(s, now);
  s.baseReal = now;
  s.scale = scale;
}

double ClockScale() {
  ClockState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.scale;
}

std::chrono::nanoseconds RealDuration(DWORD clockMs) {
  const double ns = static_cast<double>(clockMs) * 1e6 * ClockScale();
  return std::chrono::nanoseconds(static_cast<long long>(ns));
}

std::chrono::nanoseconds GuardDuration(DWORD clockMs) {
  const std::chrono::nanoseconds floor = std::chrono::milliseconds(clockMs < kGuardFloorMs ? clockMs : kGuardFloorMs);
  const std::chrono::nanoseconds scaled = RealDuration(clockMs);
  return scaled > floor ? scaled : floor;
}

}  // namespace tarn::platform

void Sleep(DWORD ms) {
  if (!tarn::platform::SleepInterruptible(tarn::platform::RealDuration(ms))) {
    tarn::platform::EndThisThread(0);
  }
}

DWORD GetTickCount() {
  auto& s = tarn::platform::State();
  std::lock_guard<std::mutex> guard(s.lock);
  const double ms = tarn::platform::ClockMsAt(s, std::chrono::steady_clock::now());
  return static_cast<DWORD>(static_cast<unsigned long long>(ms));
}
