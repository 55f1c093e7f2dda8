// SPDX-License-Identifier: Apache-2.0
#include "host/batch_recorder.h"

#include <algorithm>

#include "host/journal_records.h"
#include "host/metrics_file.h"
#include "platform/text.h"
#include "platform/usb_sysfs.h"

namespace tarn::host {

std::uint64_t BytesSent(std::uint64_t jobBytes, bool passed, int overall) {
  if (passed) return jobBytes;
  return jobBytes * static_cast<std::uint64_t>(std::clamp(overall, 0, 100)) / 100;
}

BatchRecorder::BatchRecorder(const std::string& metricsFile) : journal_(std::make_unique<JournalRecords>()) {
  Add(*journal_);
  if (metricsFile.empty()) return;
  metrics_ = std::make_unique<MetricsFile>(metricsFile);
  Add(*metrics_);
}

BatchRecorder::~BatchRecorder() = default;

std::string BatchRecorder::TakeMetricsError() {
  if (!metrics_ || metricsErrorTaken_) return {};
  std::string error = metrics_->Error();
  metricsErrorTaken_ = !error.empty();
  return error;
}

BatchFacts FactsOf(const SlotJob& job, std::string host) {
  BatchFacts facts;
  facts.host = std::move(host);
  const auto sent = [&](int kind, const std::wstring& path) {
    return (job.imageMask & kind) != 0 ? platform::Narrow(path) : std::string();
  };
  facts.pda = sent(IMAGE_MASK_PDA, job.pda);
  facts.csc = sent(IMAGE_MASK_CSC, job.csc);
  facts.phone = sent(IMAGE_MASK_PHONE, job.phone);
  return facts;
}

void BatchRecorder::Start(BatchFacts facts) {
  facts_ = std::move(facts);
  facts_.id = NewBatchId();
  totals_ = {};
  usbPaths_.clear();
  started_ = std::chrono::steady_clock::now();
  for (BatchRecordSink* sink : sinks_) sink->BatchStarted(facts_);
}

void BatchRecorder::JobStarting(int slot, int com) {
  std::string path = platform::UsbPathOfCom(com);
  // A phone that comes back after its Boot Format run keeps the path it had
  // when the sysfs lookup cannot see it this time.
  if (!path.empty() || !usbPaths_.count(slot)) usbPaths_[slot] = std::move(path);
}

void BatchRecorder::SlotEnded(const BatchController& batch, int slot, int com, std::uint64_t bytes) {
  JobOutcome outcome;
  outcome.slot = slot;
  outcome.com = com;
  if (auto it = usbPaths_.find(slot); it != usbPaths_.end()) outcome.usbPath = it->second;
  outcome.result = batch.Result(slot);
  outcome.reason = platform::Utf8Of(batch.Reason(slot));
  outcome.bytes = bytes;
  outcome.seconds = std::chrono::duration<double>(batch.Ended(slot) - batch.Started(slot)).count();
  switch (outcome.result) {
    case SlotResult::Passed: ++totals_.passed; break;
    case SlotResult::Failed: ++totals_.failed; break;
    case SlotResult::Stopped: ++totals_.stopped; break;
  }
  for (BatchRecordSink* sink : sinks_) sink->JobEnded(facts_, outcome);
}

void BatchRecorder::End() {
  totals_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  for (BatchRecordSink* sink : sinks_) sink->BatchEnded(facts_, totals_);
}

}  // namespace tarn::host
