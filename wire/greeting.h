// SPDX-License-Identifier: Apache-2.0
// The host's greeting and the boot loader's answer words.
#pragma once

#include <cstdint>

constexpr char kHostGreeting[] = "MORAVEX";  // sent without the terminator
constexpr unsigned kHostGreetingSize = 7;
// The answer word after which the version must be asked for.
constexpr int kLoaderAsksVersion = -1;

// Loader version for a 4-byte greeting word: 1 "PELL", 2 "KELD", 3 "TARN",
// kLoaderAsksVersion "LAST", 0 for an unknown word.
int LoaderVersionOfGreeting(const std::uint8_t word[4]);
