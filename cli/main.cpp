// SPDX-License-Identifier: Apache-2.0
// tarn-flash: the window's START on the command line.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "cli/flash_args.h"
#include "cli/flash_host.h"
#include "cli/flash_setup.h"
#include "cli/inspect.h"
#include "cli/json_report.h"
#include "cli/output_streams.h"
#include "cli/port_list.h"
#include "cli/progress_view.h"
#include "cli/report_file.h"
#include "cli/slot_logs.h"
#include "cli/stop_signals.h"
#include "cli/text_report.h"
#include "host/image_digests.h"
#include "host/sleep_inhibitor.h"
#include "platform/debug_output.h"
#include "platform/text.h"

namespace {

using namespace tarn::cli;

// --report and --log-dir are checked before any phone is touched. The log
// folder is made first, as the report may go into it (--report logs/batch.json).
std::string CheckOutputs(const FlashArgs& args) {
  std::string refusal;
  if (!args.logDir.empty()) refusal += SlotLogs::Prepare(args.logDir);
  if (!args.report.empty()) refusal += ReportFile::Check(args.report);
  return refusal;
}

// Reading a big image takes a while: on a terminal a line says whose
// SHA-256 is being worked out (with its percentage where the line can be
// redrawn) before any phone moves. Smaller images go by unannounced.
class DigestLine {
 public:
  explicit DigestLine(bool json)
      : shown_(!json && ProgressView::IsTerminal(stderr)),
        inPlace_(ProgressView::ModeFor(shown_, std::getenv("TERM")) == ProgressView::Mode::Bars) {}
  ~DigestLine() { EndLine(); }
  void Starting(const tarn::host::ImageDigest& image, std::uint64_t bytes) {
    EndLine();
    label_ = shown_ && bytes >= kAnnouncedBytes ? "computing SHA-256 of " + image.role + " " + image.path : "";
    bytes_ = bytes;
    percent_ = -1;
    if (!label_.empty() && !inPlace_) WriteStream(stderr, label_ + "...\n");
  }
  void Progress(std::uint64_t done) {
    if (label_.empty() || !inPlace_) return;
    const int percent = static_cast<int>(std::min<std::uint64_t>(done, bytes_) * 100 / bytes_);
    if (percent == percent_) return;
    percent_ = percent;
    open_ = WriteStream(stderr, "\r" + label_ + " " + std::to_string(percent) + "%");
  }
  void EndLine() {
    if (open_) WriteStream(stderr, "\n");
    open_ = false;
  }

 private:
  static constexpr std::uint64_t kAnnouncedBytes = 64ull << 20;
  bool shown_, inPlace_;
  std::string label_;
  std::uint64_t bytes_ = 0;
  int percent_ = -1;
  bool open_ = false;  // a redrawn line waits for its end
};

// --image-digests: every image's SHA-256, before the first phone is greeted.
// An image that cannot be read now would fail every job later: the start is refused.
bool WorkOutDigests(const FlashArgs& args, std::vector<tarn::host::ImageDigest>* digests) {
  DigestLine line(args.json);
  tarn::host::ImageDigestsOutcome outcome = tarn::host::DigestImages(
      args.pda, args.csc, args.phone, [&line](const auto& image, std::uint64_t bytes) { line.Starting(image, bytes); },
      [&line](std::uint64_t done) { line.Progress(done); });
  line.EndLine();
  if (!outcome.error.empty()) {
    WriteStream(stderr, outcome.error + "\n");
    return false;
  }
  *digests = std::move(outcome.digests);
  return true;
}

void AddDigests(BatchInfo* info, const std::vector<tarn::host::ImageDigest>& digests) {
  for (const auto& digest : digests) {
    std::optional<ImageInfo>& image = digest.role == "PDA" ? info->pda : digest.role == "CSC" ? info->csc : info->phone;
    if (image) image->sha256 = digest.sha256;
  }
}

// The text output has no start line of its own: one line per image.
void PrintDigests(const std::vector<tarn::host::ImageDigest>& digests, std::FILE* out) {
  for (const auto& digest : digests)
    WriteStream(out, digest.role + " " + digest.path + " sha256 " + digest.sha256 + "\n");
}

int Flash(const FlashArgs& args) {
  if (const std::string refusal = CheckOutputs(args); !refusal.empty()) {
    WriteStream(stderr, refusal);
    return kExitRefused;
  }
  if (args.waitCount > 0) {
    const int waited = WaitForPhonePorts(args.waitCount, args.waitSeconds, stderr);
    if (waited != kExitPassed) return waited;
  }
  SetupOutcome outcome = PrepareFlash(args);
  if (!outcome.ok) {
    WriteStream(stderr, outcome.refusal);
    return outcome.noPhone ? kExitNoPhone : kExitRefused;
  }
  // The slots' log files are known once the ports are; each is opened now,
  // so that one that cannot be used refuses the start before any phone.
  std::optional<SlotLogs> logs;
  if (!args.logDir.empty()) {
    if (const std::string refusal = logs.emplace(args.logDir, outcome.setup.ports).Open(); !refusal.empty()) {
      WriteStream(stderr, refusal);
      return kExitRefused;
    }
  }
  // Kept whole for what records the batch beyond its own output.
  std::vector<tarn::host::ImageDigest> digests;
  if (args.imageDigests && !WorkOutDigests(args, &digests)) return kExitRefused;
  // JSON Lines are for programs: nothing else goes to the terminal.
  std::optional<ProgressView> view;
  if (!args.json) {
    view.emplace(stderr, std::getenv("NO_COLOR") == nullptr,
                 ProgressView::ModeFor(ProgressView::IsTerminal(stderr), std::getenv("TERM")));
    view->SetJobBytes(outcome.setup.plan.totalSize);
  }
  ProgressView* viewPtr = view ? &*view : nullptr;
  std::unique_ptr<FlashReport> lines;
  if (args.json) {
    lines = std::make_unique<JsonReport>(stdout);
  } else {
    // Lines on the same terminal as the bars would land inside them.
    const bool shared = viewPtr && ProgressView::IsTerminal(stdout);
    lines = std::make_unique<TextReport>(stdout, [viewPtr, shared] {
      if (shared) viewPtr->Erase();
    });
  }
  ReportFanOut report;
  report.Add(*lines);
  if (logs) report.Add(*logs);

  FlashHost host(outcome.setup, report, viewPtr);
  host.SetAnswerTimeout(args.answerTimeout);
  tarn::host::BatchRecorder records(args.metricsFile);
  host.RecordTo(records, digests);
  InstallStopSignals();
  host.WatchStopRequests(StopSignalCount);
  BatchInfo info = BatchInfoOf(args, outcome.setup);
  AddDigests(&info, digests);
  if (!args.json) PrintDigests(digests, stdout);
  report.BatchStarted(info);
  const auto started = std::chrono::steady_clock::now();
  BatchSummary summary;
  {
    const tarn::host::SleepInhibitor awake(static_cast<int>(outcome.setup.ports.size()));
    summary.slots = host.Run();
  }
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  summary.exitStatus = host.Stopped() ? ExitCodeOfSignal(FirstStopSignal()) : ExitCodeOf(summary.slots);
  summary.ended = std::chrono::system_clock::now();
  summary.digests = digests;
  // Once, after the bars: the batch stands, only the station's counts missed it.
  if (const std::string trouble = records.TakeMetricsError(); !trouble.empty())
    WriteStream(stderr, "tarn-flash: " + trouble + "\n");
  // The report goes first: a script must not trust a status that its report
  // file, stale or another's, contradicts.
  if (!args.report.empty() && !ReportFile(args.report).Write(summary)) summary.exitStatus = kExitReportLost;
  report.BatchEnded(summary);
  return summary.exitStatus;
}

}  // namespace

int main(int argc, char** argv) {
  tarn::cli::GuardStandardStreams();
  tarn::platform::InitProcessLocale();
  // The diagnostic trace is for whoever asks for it; on standard error it
  // would run through the progress bars and the refusal messages.
  if (std::getenv("TARN_DEBUG_OUTPUT") == nullptr) tarn::platform::SetDebugOutputSink([](std::string_view) {});
  tarn::cli::FlashArgs args;
  std::string out, err;
  tarn::cli::ParseOutcome parsed = tarn::cli::ParseFlashArgs(argc, argv, &args, &out, &err);
  if (!parsed.run) {
    tarn::cli::WriteStream(stdout, out);
    tarn::cli::WriteStream(stderr, err);
    return parsed.exitCode;
  }
  if (args.inspect) return tarn::cli::RunInspect(args.inspectFiles, args.json, stdout, stderr);
  if (args.list) return tarn::cli::ListPhonePorts(stdout, stderr);
  return Flash(args);
}
