// SPDX-License-Identifier: Apache-2.0
// The first steps of a job: find the phone's port, open it, greet the boot
// loader and check the phone's platform.
#pragma once

#include <cstdint>

#include "link/link_session.h"
#include "wire/greeting.h"

// Port lookup: how long a job waits for a phone port to appear.
constexpr unsigned kLookupBudgetSeconds = 600;
constexpr unsigned kLookupPauseMs = 1;

// Steps (results as the job's step table expects). FindPort writes the COM
// number to use: `requestedPort`, or for -1 and -2 the first phone port of
// the serial-port map.
std::int32_t FindPort(LinkSession& link, int requestedPort, int* foundPort);  // RESULT_OK or RESULT_ABORT
std::int32_t OpenComPort(LinkSession& link, int port);                        // RESULT_OK or RESULT_ABORT
// Greets the loader; its version goes to link.loaderVersion.
std::int32_t Connect(LinkSession& link);  // RESULT_OK or RESULT_FAIL
// Checks the phone's platform against link.options.platform (0: takes the phone's).
std::int32_t CheckPlatform(LinkSession& link);  // RESULT_OK or RESULT_FAIL

// COM number of the first phone port in the serial-port map, waiting up to
// the lookup budget; 0 when none appeared.
int LookupPhonePort();
std::int32_t Greet(LinkSession& link);           // RESULT_OK or RESULT_FAIL
std::int32_t VerifyPlatform(LinkSession& link);  // RESULT_OK or RESULT_FAIL
