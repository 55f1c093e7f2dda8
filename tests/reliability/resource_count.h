// SPDX-License-Identifier: Apache-2.0
// What a process holds that a job could leak: open file descriptors, threads,
// resident memory and mapped files, read from /proc/self.
#pragma once

#include <chrono>
#include <filesystem>

#include "tests/testsupport/build_kind.h"

namespace tarn::test {

struct Resources {
  int fds = 0;
  int threads = 0;
  long rssKiB = 0;
};

// AddressSanitizer keeps freed memory in quarantine and ThreadSanitizer grows
// its shadow memory, so resident memory grows there by design; the leak
// checker covers those builds instead.
constexpr bool kResidentMemoryMeaningful = !kSanitizedBuild;

int OpenFdCount();
long ResidentKiB();
Resources Measure();
// A job thread may still be leaving the kernel when its job reports the end:
// waits up to `timeout` for the thread count to come down to `expected`.
// Returns the last count seen.
int WaitForThreadCount(int expected, std::chrono::milliseconds timeout);
// True when some mapping of this process shows `path`.
bool IsMapped(const std::filesystem::path& path);

}  // namespace tarn::test
