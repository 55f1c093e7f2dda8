// SPDX-License-Identifier: Apache-2.0
// A station's counts in a file a metrics collector reads on its own schedule
// (the text exposition format, as node exporter's textfile collector takes
// it): phones by result and slot, bytes written, job durations, batches.
//
// tarn-flash is one process per batch and two hosts may share one station's
// file, so counters live in the file, not in the process: every write reads
// the file back under a lock on PATH.lock, adds this event and replaces the
// file whole (a temporary file beside it, then rename), so counts go on
// across runs and two processes add up instead of overwriting each other.
#pragma once

#include <mutex>
#include <string>

#include "host/batch_records.h"

namespace tarn::host {

class MetricsFile : public BatchRecordSink {
 public:
  // Upper bounds of the job duration buckets (seconds), past +Inf: a phone
  // takes from about ten seconds to half an hour; failures often come at once.
  static constexpr double kDurationBuckets[] = {5, 10, 30, 60, 120, 300, 600, 900, 1200, 1800, 3600};

  explicit MetricsFile(std::string path);

  void BatchStarted(const BatchFacts& facts) override;
  void JobEnded(const BatchFacts& facts, const JobOutcome& outcome) override;
  void BatchEnded(const BatchFacts& facts, const BatchTotals& totals) override;

  // The first trouble this object met, one "e - " line for the operator, or
  // empty. A sink never stops a batch: the host shows this once and goes on.
  std::string Error() const;

 private:
  struct Counts;
  struct Event;
  void Update(const Event& event);
  bool Rewrite(const Event& event, std::string& problem);

  const std::string path_;
  mutable std::mutex lock_;
  std::string error_;
  std::string runningBatch_;  // this process's batch in progress; empty between batches
};

}  // namespace tarn::host
