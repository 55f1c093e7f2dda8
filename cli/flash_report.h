// SPDX-License-Identifier: Apache-2.0
// What tarn-flash tells its user about a batch: what it starts with, one call
// per job message, one final result per slot and the batch's summary. Text,
// JSON Lines, the report file and the per-slot logs implement it; each takes
// only the calls it needs.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/batch_records.h"

namespace tarn::cli {

enum class SlotResult { Pass, Fail, Stopped };

struct SlotSummary {
  int slot = 0;
  int port = 0;
  bool passed = false;
  bool stopped = false;  // ended on a stop request (a signal) without passing
  int filesDone = 0;
  std::vector<std::wstring> errors;
  std::wstring reason;  // the slot's first error, sent as an error or as a text
  // What the slot's jobs sent: the whole job for a passed slot, else its last
  // overall percentage of the job's bytes (the jobs report whole percents).
  std::uint64_t bytes = 0;
  double seconds = 0;
};

SlotResult ResultOf(const SlotSummary& summary);
const char* ResultName(SlotResult result);  // "PASS", "FAIL" or "STOPPED"
// The decisive error: the first one the slot got (later ones, the job's
// closing error among them, follow from it); the stop text for a slot
// stopped without one; empty for a pass.
std::wstring ReasonOf(const SlotSummary& summary);

struct ImageInfo {
  std::string path;  // as given
  std::uint64_t bytes = 0;
  std::string sha256 = {};  // 64 lower-case hex digits; empty unless --image-digests asked for it
};

// What the batch runs with, as the start record shows it.
struct BatchInfo {
  bool bootUpdate = false, bootFormat = false, csaClear = false, autoReboot = false;
  bool phoneBootUpdate = false, factoryMode = false;
  std::string stratine;
  int nation = 0;
  int answerTimeout = 0;  // seconds
  std::vector<int> ports;
  bool portsFromMap = false;
  std::optional<ImageInfo> pda, csc, phone;
  std::uint64_t jobBytes = 0;  // what one job sends
};

struct BatchSummary {
  std::vector<SlotSummary> slots;
  double seconds = 0;
  int exitStatus = 0;
  std::chrono::system_clock::time_point ended{};
  std::vector<host::ImageDigest> digests = {};  // when worked out (--image-digests)
};

class FlashReport {
 public:
  virtual ~FlashReport() = default;
  virtual void BatchStarted(const BatchInfo&) {}
  virtual void JobStarted(int /*slot*/, int /*port*/, bool /*restart*/) {}
  virtual void Text(int /*slot*/, const std::wstring& /*text*/) {}
  virtual void Error(int /*slot*/, const std::wstring& /*text*/) {}
  virtual void Progress(int /*slot*/, int /*overall*/, int /*file*/) {}
  virtual void State(int /*slot*/, int /*code*/) {}
  virtual void Files(int /*total*/, int /*done*/) {}  // the message carries no slot
  virtual void Pass(int /*slot*/, int /*filesDone*/) {}
  virtual void Summary(const SlotSummary&) {}  // a slot's final result
  virtual void BatchEnded(const BatchSummary&) {}
};

// Hands every call on to each of several reports, in the order they were added.
class ReportFanOut : public FlashReport {
 public:
  void Add(FlashReport& report) { reports_.push_back(&report); }
  void BatchStarted(const BatchInfo& info) override { Each(&FlashReport::BatchStarted, info); }
  void JobStarted(int slot, int port, bool restart) override { Each(&FlashReport::JobStarted, slot, port, restart); }
  void Text(int slot, const std::wstring& text) override { Each(&FlashReport::Text, slot, text); }
  void Error(int slot, const std::wstring& text) override { Each(&FlashReport::Error, slot, text); }
  void Progress(int slot, int overall, int file) override { Each(&FlashReport::Progress, slot, overall, file); }
  void State(int slot, int code) override { Each(&FlashReport::State, slot, code); }
  void Files(int total, int done) override { Each(&FlashReport::Files, total, done); }
  void Pass(int slot, int filesDone) override { Each(&FlashReport::Pass, slot, filesDone); }
  void Summary(const SlotSummary& summary) override { Each(&FlashReport::Summary, summary); }
  void BatchEnded(const BatchSummary& summary) override { Each(&FlashReport::BatchEnded, summary); }

 private:
  template <typename... Params, typename... Args>
  void Each(void (FlashReport::*call)(Params...), const Args&... args) {
    for (FlashReport* report : reports_) (report->*call)(args...);
  }
  std::vector<FlashReport*> reports_;
};

}  // namespace tarn::cli
