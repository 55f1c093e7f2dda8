// SPDX-License-Identifier: Apache-2.0
// The one clock behind every fixed delay, tick count and time-out.
//
// Production runs at scale 1.0 and keeps every delay exact. Tests shrink time
// with SetClockScale(0.01): a 1000 ms delay then takes 10 ms of real time and
// GetTickCount() advances 100 clock milliseconds per real millisecond, so code
// that measures elapsed clock time sees the values it would see in production.
#pragma once

#include <chrono>

#include "platform/win_types.h"

namespace tarn::platform {

void SetClockScale(double scale);
double ClockScale();

// Real time that `clockMs` clock milliseconds take at the current scale.
std::chrono::nanoseconds RealDuration(DWORD clockMs);

// A time-out that guards against a stalled peer is scaled like any delay, but
// never drops below kGuardFloorMs of real time (or its own length, when that
// is shorter): on a loaded machine a healthy peer may simply not have been
// scheduled within a few scaled milliseconds. Production (scale 1) is unchanged.
constexpr DWORD kGuardFloorMs = 250;
std::chrono::nanoseconds GuardDuration(DWORD clockMs);

}  // namespace tarn::platform

// Sleeps `ms` clock milliseconds. On a job thread that was asked to stop it
// returns by unwinding the thread (see thread.h) instead of sleeping on.
void Sleep(DWORD ms);

// Clock milliseconds since the process started (wraps after 49.7 days, as the
// counters that callers compare it with do).
DWORD GetTickCount();
