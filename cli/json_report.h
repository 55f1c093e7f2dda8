// SPDX-License-Identifier: Apache-2.0
// JSON Lines on standard output, version 1 of the format (see
// docs/tarn-flash-json-v1.md): a `start` record first, one object per job
// message, a `result` per slot and a `summary` record last. Every object has
// its `type` and wall-clock `time`.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "cli/flash_report.h"
#include "cli/wall_time.h"
#include "platform/text.h"

namespace tarn::cli {

class JsonReport : public FlashReport {
 public:
  explicit JsonReport(std::FILE* out, WallClock now = std::chrono::system_clock::now)
      : out_(out), now_(std::move(now)) {}
  void BatchStarted(const BatchInfo& info) override;
  void JobStarted(int slot, int port, bool restart) override;
  void Text(int slot, const std::wstring& text) override;
  void Error(int slot, const std::wstring& text) override;
  void Progress(int slot, int overall, int file) override;
  void State(int slot, int code) override;
  void Files(int total, int done) override;
  void Pass(int slot, int filesDone) override;
  void Summary(const SlotSummary& summary) override;
  void BatchEnded(const BatchSummary& summary) override;

 private:
  void Write(const std::string& line);
  std::FILE* out_;
  WallClock now_;
};

// The `summary` record as one line of JSON text (no newline); the report
// file holds the same.
std::string SummaryRecord(const BatchSummary& summary);

// The stable name of a job state code ("unknown" for a code jobs do not send).
const char* StateName(int code);

// UTF-8 whatever the process locale, so the output is always valid JSON text.
using platform::Utf8Of;

}  // namespace tarn::cli
