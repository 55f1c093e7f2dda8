// SPDX-License-Identifier: Apache-2.0
#include "tests/reliability/soak_run.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "cli/flash_host.h"
#include "cli/flash_setup.h"
#include "engine/events.h"
#include "engine/tables.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/text.h"
#include "sim/keld_sim.h"
#include "tests/reliability/fault_set.h"
#include "tests/testsupport/temp_dir.h"
#include "tools/sample_images.h"
#include "wire/device_params.h"

namespace tarn::test {
namespace {

constexpr int kFirstCom = 61;
constexpr auto kThreadsSettle = std::chrono::seconds(10);
// A PDA name that sets platform 1, so that every job checks the phone's platform.
constexpr const char* kPdaName = "dunvane_PDA.tar";
constexpr int kPlatform = 1;

struct SlotRecord {
  std::vector<std::wstring> texts, errors;
  std::vector<int> states;
  bool passed = false;
};

// Keeps what each slot's job said: the faulted slot's texts are checked.
class RecordingReport : public cli::FlashReport {
 public:
  void Text(int slot, const std::wstring& text) override { slots[slot].texts.push_back(text); }
  void Error(int slot, const std::wstring& text) override { slots[slot].errors.push_back(text); }
  void State(int slot, int code) override { slots[slot].states.push_back(code); }
  void Pass(int slot, int) override { slots[slot].passed = true; }
  std::map<int, SlotRecord> slots;
};

struct Draw {
  const Phase* phase = nullptr;
  Fault fault = Fault::Fail;
  Expectation expect;
};

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// The first partition-table member the job sends: a cut parameter record
// (zero sizes) refuses it.
JobShape ShapeOf(std::uint64_t imageSize) {
  JobShape shape;
  shape.platform = kPlatform;
  shape.firstIndex = kParamPartitionWords;
  for (const auto& member : tools::PdaMembers(imageSize)) {
    std::int32_t del = 0;
    std::int16_t type = 0;
    const int code = ClassifyMember(platform::Widen(member.name), &del, &type);
    if (code >= 0 && code < shape.firstIndex) {
      shape.firstIndex = code;
      shape.firstSize = member.size;
    }
  }
  return shape;
}

// The faults a tarn-flash batch meets as the fault set describes them (no
// CSA clear, format or finish steps) and that must end the job as failed.
std::vector<Draw> FailingFaults(const JobShape& shape, bool slow) {
  std::vector<Draw> draws;
  for (const Phase& p : kPhases) {
    for (Fault f : kFaults) {
      Draw d{&p, f, Expect(p, f, shape)};
      if (p.setup == Setup::Plain && d.expect.end == End::Fail && (slow || !IsSlow(p, f))) draws.push_back(d);
    }
  }
  return draws;
}

// What a failed slot must show, as the fault matrix checks it; empty when it does.
std::string ProblemOf(const Expectation& want, const SlotRecord& got) {
  if (got.passed) return "passed";
  if (!InOrder(got.texts, want.statuses)) return "texts:\n" + Dump(got.texts);
  if (!InOrder(got.errors, want.errors)) return "errors:\n" + Dump(got.errors);
  return FailedEndProblem(got.texts, got.errors, got.states);
}

// The batch's phones; a faulted slot gets a phone of its own for one batch.
class Phones {
 public:
  Phones(const std::filesystem::path& dir, int count) : dir_(dir), phones_(count) {}
  bool Plug(int slot, const sim::FaultPlan& faults) {
    phones_[slot].reset();
    sim::PhoneConfig config;
    config.index = slot;
    config.comNumber = kFirstCom + slot;
    config.greeting = "LAST";
    config.platform = kPlatform;
    config.outputDir = Output(slot);
    config.faults = faults;
    phones_[slot] = std::make_unique<sim::SimPhone>(config);
    return phones_[slot]->Start();
  }
  void UnplugAll() { phones_.clear(); }
  int Count() const { return static_cast<int>(phones_.size()); }
  std::filesystem::path Output(int slot) const { return dir_ / ("phone" + std::to_string(slot)); }
  // Earlier batches' files must not pass for this one's.
  void ClearOutputs() const {
    for (int slot = 0; slot < Count(); ++slot) EmptyFolder(Output(slot));
  }

 private:
  std::filesystem::path dir_;
  std::vector<std::unique_ptr<sim::SimPhone>> phones_;
};

// One batch: the fault drawn and plugged, the host run, the failed slots'
// phones made whole again, then the figures.
BatchFigures RunBatch(int batch, const cli::FlashSetup& setup, Phones& phones, const Draw* draw, int faultSlot,
                      const std::string& phoneImage) {
  BatchFigures figures;
  figures.batch = batch;
  figures.faultSlot = draw ? faultSlot : -1;
  if (draw) figures.fault = std::string(draw->phase->name) + " x " + FaultName(draw->fault);
  phones.ClearOutputs();
  if (draw && !phones.Plug(faultSlot, PlanFor(*draw->phase, draw->fault))) {
    figures.faultProblem = "keld-sim did not start";
  }
  figures.before = Measure();
  const auto started = std::chrono::steady_clock::now();
  RecordingReport report;
  {
    cli::FlashHost host(setup, report, nullptr);
    host.Run();
  }
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // Only the faulted slot gets a fresh phone, without its fault. A phone
  // whose job failed otherwise is kept: its receive time-out must bring it
  // back for the next batch, as a real phone's would.
  if (draw && !phones.Plug(faultSlot, {})) {
    figures.faultProblem = "keld-sim did not start again on slot " + std::to_string(faultSlot);
  }
  WaitForThreadCount(figures.before.threads, kThreadsSettle);
  figures.after = Measure();
  for (int i = 0; i < phones.Count(); ++i) {
    if (i == figures.faultSlot) continue;
    ++figures.clean;
    const SlotRecord& slot = report.slots[i];
    if (slot.passed) {
      ++figures.passed;
    } else if (figures.cleanProblem.empty()) {
      figures.cleanProblem = "slot " + std::to_string(i) + " texts:\n" + Dump(slot.texts) + "errors:\n" +
                             Dump(slot.errors);
    }
    if (ReadAll(phones.Output(i) / "phone.bin") == phoneImage) ++figures.exact;
  }
  if (draw && figures.faultProblem.empty()) figures.faultProblem = ProblemOf(draw->expect, report.slots[faultSlot]);
  return figures;
}

}  // namespace

bool RunSoak(const SoakOptions& options, const std::function<void(const BatchFigures&)>& onBatch, std::string* error) {
  TempDir dir;
  std::filesystem::create_directories(dir / "map");
  setenv("TARN_DEVICEMAP", (dir / "map").c_str(), 1);
  tools::SampleSpec spec;
  spec.outDir = (dir / "images").string();
  spec.size = options.imageSize;
  spec.pdaName = kPdaName;
  if (!tools::WriteSampleImages(spec, error)) return false;
  const auto image = [&](const std::string& name) { return (dir / "images" / name).string(); };
  const std::string phoneImage = ReadAll(image(spec.phoneName));
  const std::vector<Draw> draws = FailingFaults(ShapeOf(options.imageSize), options.slowFaults);
  std::mt19937_64 random(options.seed);

  const auto previousSink = platform::SetDebugOutputSink([](std::string_view) {});
  platform::SetClockScale(options.clockScale);
  Phones phones(dir.Path(), options.phones);
  cli::FlashArgs args;
  args.pda = image(spec.pdaName);
  args.csc = image(spec.cscName);
  args.phone = image(spec.phoneName);
  args.noFactoryMode = true;
  bool ok = true;
  for (int i = 0; ok && i < options.phones; ++i) {
    ok = phones.Plug(i, {});
    args.ports.push_back(kFirstCom + i);
  }
  if (!ok) *error = "keld-sim did not start";
  cli::SetupOutcome outcome;
  if (ok) outcome = cli::PrepareFlash(args);
  if (ok && !outcome.ok) {
    ok = false;
    *error = outcome.refusal;
  }
  if (ok && options.faults && draws.empty()) {
    ok = false;
    *error = "the fault set has no fault that fails a job";
  }
  for (int batch = 1; ok && batch <= options.batches; ++batch) {
    const int slot = static_cast<int>(random() % static_cast<std::uint64_t>(options.phones));
    const Draw* draw = options.faults ? &draws[random() % draws.size()] : nullptr;
    onBatch(RunBatch(batch, outcome.setup, phones, draw, slot, phoneImage));
  }
  phones.UnplugAll();
  platform::SetClockScale(1.0);
  platform::SetDebugOutputSink(previousSink);
  unsetenv("TARN_DEVICEMAP");
  return ok;
}

}  // namespace tarn::test
