// SPDX-License-Identifier: Apache-2.0
// The first steps of a job: find the phone's port, open it, greet the boot
// loader and check the phone's platform.
#pragma once

#include <cstdint>

class CKelpa3Engine;

// Host greeting and the loader's answer words.
constexpr char kHostGreeting[] = "MORAVEX";  // sent without the terminator
constexpr unsigned kHostGreetingSize = 7;
// Port lookup: how long a job waits for a phone port to appear.
constexpr unsigned kLookupBudgetSeconds = 600;
constexpr unsigned kLookupPauseMs = 1;
constexpr int kLookupIndexCount = 256;

// Steps (results as the job's step table expects).
int FindPort(CKelpa3Engine& job, int requestedPort);  // 1 or 15
int OpenComPort(CKelpa3Engine& job, int port);        // 1 or 15
int Connect(CKelpa3Engine& job);                      // 1 or 255
int CheckPlatform(CKelpa3Engine& job);                // 1 or 255

// COM number of the first phone port in the serial-port map, waiting up to
// the lookup budget; 0 when none appeared.
int LookupPhonePort();
int Greet(CKelpa3Engine& job);           // 1 or 255
int VerifyPlatform(CKelpa3Engine& job);  // 1 or 255

// Loader version for a 4-byte greeting word: 1 "PELL", 2 "KELD", 3 "TARN",
// -1 "LAST" (the version comes from GetVersion), 0 for an unknown word.
int LoaderVersionOfGreeting(const std::uint8_t word[4]);
