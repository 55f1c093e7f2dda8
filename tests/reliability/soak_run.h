// SPDX-License-Identifier: Apache-2.0
// The soak: consecutive batches of simulated phones through tarn-flash's
// host loop in this one process, with the process's descriptors, threads
// and resident memory measured before and after every batch.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tests/reliability/resource_count.h"

namespace tarn::test {

struct SoakOptions {
  int batches = 50;
  int phones = 8;
  std::uint64_t imageSize = 64 * 1024;  // largest PDA member of the sample images
  double clockScale = 0.05;
};

struct BatchFigures {
  int batch = 0;  // 1-based
  Resources before;
  Resources after;  // once the batch's host is gone and its job threads have ended
  int passed = 0;
  int exact = 0;  // phones whose phone binary arrived byte for byte
  double seconds = 0;
};

// Runs the batches, calling `onBatch` after each; false with `error` when the
// set-up fails (images, phones, start refused).
bool RunSoak(const SoakOptions& options, const std::function<void(const BatchFigures&)>& onBatch, std::string* error);

}  // namespace tarn::test
