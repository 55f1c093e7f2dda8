// SPDX-License-Identifier: Apache-2.0
// The window's soak: consecutive batches of eight simulated phones through one
// operator window (offscreen, test clock), with the process's descriptors,
// threads and resident memory measured before and after every batch.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tests/reliability/resource_count.h"

namespace tarn::test {

struct WindowSoakOptions {
  int batches = 50;
  std::uint32_t imageSize = 64 * 1024;  // the zImage member; the archive holds two more
  double clockScale = 0.05;
};

// The toolkit paints large pixmaps on a pool of its own, whose idle threads
// (each with one wake-up descriptor) come and go on the toolkit's own timer.
// They are counted apart so the figures show what the window and its jobs hold.
struct WindowResources {
  Resources own;      // the process less the painting pool
  int paintPool = 0;  // the toolkit's pooled threads
};

struct WindowBatchFigures {
  int batch = 0;  // 1-based
  WindowResources before;
  WindowResources after;  // once the batch has ended and its job threads are gone
  int passed = 0;         // slots whose upper bar says PASS
  int exact = 0;          // phones that stored every member byte for byte
  double seconds = 0;
};

WindowResources MeasureWindowProcess();

// Needs the application object (offscreen platform) made by the caller. Runs
// the batches, calling `onBatch` after each; false with `error` when the
// set-up fails or a batch does not end.
bool RunWindowSoak(const WindowSoakOptions& options, const std::function<void(const WindowBatchFigures&)>& onBatch,
                   std::string* error);

}  // namespace tarn::test
