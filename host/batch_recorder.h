// SPDX-License-Identifier: Apache-2.0
// One batch's records as both hosts make them: the facts at the start, each
// slot's final outcome as the controller reports it, and the totals at the
// end, handed to every sink: the systemd journal always, a metrics file when
// the station keeps one.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/batch_controller.h"
#include "host/batch_records.h"
#include "host/slot_job.h"

namespace tarn::host {

// What a slot's jobs sent: the whole job for a pass, else the last overall
// percentage of the job's bytes (the jobs report whole percents).
std::uint64_t BytesSent(std::uint64_t jobBytes, bool passed, int overall);
// The facts of a batch that runs `job`, from the program `host`: the images
// the job sends, as their paths were given.
BatchFacts FactsOf(const SlotJob& job, std::string host);

class JournalRecords;
class MetricsFile;

class BatchRecorder {
 public:
  // `metricsFile`: the station's metrics file; empty for none.
  explicit BatchRecorder(const std::string& metricsFile);
  ~BatchRecorder();
  BatchRecorder(const BatchRecorder&) = delete;
  BatchRecorder& operator=(const BatchRecorder&) = delete;

  void Add(BatchRecordSink& sink) { sinks_.push_back(&sink); }
  // The metrics file's first trouble as one "e - " line, the first time it
  // is asked for after it happened; empty otherwise.
  std::string TakeMetricsError();

  // A new batch: `facts` gets its id here.
  void Start(BatchFacts facts);
  // A job starts on COM<com>: its USB path is read now, while the phone is there.
  void JobStarting(int slot, int com);
  // The controller's SlotEnded: the slot's final outcome.
  void SlotEnded(const BatchController& batch, int slot, int com, std::uint64_t bytes);
  // The controller's BatchEnded.
  void End();
  const BatchFacts& Facts() const { return facts_; }

 private:
  std::unique_ptr<JournalRecords> journal_;
  std::unique_ptr<MetricsFile> metrics_;
  bool metricsErrorTaken_ = false;
  std::vector<BatchRecordSink*> sinks_;
  BatchFacts facts_;
  BatchTotals totals_;
  std::map<int, std::string> usbPaths_;  // by slot
  std::chrono::steady_clock::time_point started_{};
};

}  // namespace tarn::host
