// SPDX-License-Identifier: Apache-2.0
// What a station keeps of its batches beyond the host's own output: one
// record per phone's final result and one per batch, with the images the
// batch sent. Both hosts hand them to every BatchRecordSink they were given
// (the systemd journal, a metrics file); a sink never stops a batch: it
// notes its own failure and goes on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/batch_controller.h"

namespace tarn::host {

struct ImageDigest {
  std::string role;    // "PDA", "CSC" or "PHONE"
  std::string path;    // as the operator gave it
  std::string sha256;  // 64 lower-case hex digits
};

// What every record of one batch shares.
struct BatchFacts {
  std::string id;                    // one batch's records share it; NewBatchId()
  std::string host;                  // the program: "tarn-flash" or "tarn-multi-downloader"
  std::string pda, csc, phone;       // image paths; empty when not given
  std::vector<ImageDigest> digests;  // empty unless the operator asked for them
};

// One phone's final result in the batch (after a Boot Format run, the
// result of the job that followed it).
struct JobOutcome {
  int slot = 0;
  int com = 0;
  std::string usbPath;  // the USB device's sysfs name (1-1.4); empty when unknown
  SlotResult result = SlotResult::Failed;
  std::string reason;  // the slot's first error, UTF-8, no line end; empty for a pass
  std::uint64_t bytes = 0;
  double seconds = 0;
};

struct BatchTotals {
  int passed = 0, failed = 0, stopped = 0;
  double seconds = 0;
};

class BatchRecordSink {
 public:
  virtual ~BatchRecordSink() = default;
  virtual void BatchStarted(const BatchFacts&) {}
  virtual void JobEnded(const BatchFacts&, const JobOutcome&) {}
  virtual void BatchEnded(const BatchFacts&, const BatchTotals&) {}
};

// "PASS", "FAIL" or "STOPPED".
const char* ResultName(SlotResult result);
// 32 lower-case hex digits, random: tells one batch's records from another's.
std::string NewBatchId();

}  // namespace tarn::host
