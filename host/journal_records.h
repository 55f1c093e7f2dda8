// SPDX-License-Identifier: Apache-2.0
// Batch records in the systemd journal: one entry per phone's result and one
// per batch, with fields a station's log tooling can select on
// (`journalctl TARN_RESULT=FAIL`, `journalctl MESSAGE_ID=…`). Without a
// journal the batch goes on; the trace says so once.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "host/batch_records.h"

namespace tarn::host {

// Fixed for good: saved searches and alerts select the entries by them.
inline constexpr const char* kJobEndedMessageId = "706f5f1f1aa4467492ba6e76cae47902";
inline constexpr const char* kBatchEndedMessageId = "23e898b445e34e05ba0464a52fd27e87";

class JournalRecords : public BatchRecordSink {
 public:
  // A batch's start is left out: its end says all the start would, and a
  // station's journal stays one entry per phone plus one per batch.
  void JobEnded(const BatchFacts& facts, const JobOutcome& job) override;
  void BatchEnded(const BatchFacts& facts, const BatchTotals& totals) override;

 private:
  using Fields = std::vector<std::pair<const char*, std::string>>;
  void Send(const Fields& fields);
  // Once for the whole run: a station without a journal would otherwise
  // get a trace record per phone.
  void TraceNotWritten(const char* what, int error);

  std::atomic<bool> traced_{false};
};

}  // namespace tarn::host
