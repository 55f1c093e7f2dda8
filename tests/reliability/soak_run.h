// SPDX-License-Identifier: Apache-2.0
// The soak: consecutive batches of simulated phones through tarn-flash's
// host loop in this one process, with the process's descriptors, threads
// and resident memory measured before and after every batch. A batch may
// carry one fault from the fault set on one slot.
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
  // One fault per batch on a random slot, drawn from the fault set's faults
  // that end a job as failed; `seed` makes the draws replayable.
  bool faults = false;
  // Also draw the faults that wait out the answer bound (slow even on the test clock).
  bool slowFaults = true;
  std::uint64_t seed = 1;
};

struct BatchFigures {
  int batch = 0;  // 1-based
  Resources before;
  Resources after;           // once the batch's host is gone and its job threads have ended
  int clean = 0;             // slots without a fault
  int passed = 0;            // of those, the ones that passed
  int exact = 0;             // of those, the ones whose phone binary arrived byte for byte
  std::string cleanProblem;  // texts and errors of the first fault-free slot that did not pass
  int faultSlot = -1;        // -1: no fault in this batch
  std::string fault;         // "phase x fault"
  std::string faultProblem;  // how the faulted slot broke its expectation; empty when it did not
  double seconds = 0;
};

// Runs the batches, calling `onBatch` after each; false with `error` when the
// set-up fails (images, phones, start refused).
bool RunSoak(const SoakOptions& options, const std::function<void(const BatchFigures&)>& onBatch, std::string* error);

}  // namespace tarn::test
