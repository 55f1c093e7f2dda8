// SPDX-License-Identifier: Apache-2.0
#include "tests/reliability/soak_run.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "cli/flash_host.h"
#include "cli/flash_setup.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "sim/keld_sim.h"
#include "tests/testsupport/temp_dir.h"
#include "tools/sample_images.h"

namespace tarn::test {
namespace {

constexpr int kFirstCom = 61;
constexpr auto kThreadsSettle = std::chrono::seconds(10);

// The soak looks at resources, not at texts: the report only counts passes.
class CountingReport : public cli::FlashReport {
 public:
  void JobStarted(int, int, bool) override {}
  void Text(int, const std::wstring&) override {}
  void Error(int, const std::wstring&) override {}
  void Progress(int, int, int) override {}
  void State(int, int) override {}
  void Files(int, int) override {}
  void Pass(int, int) override { ++passes; }
  void Summary(const cli::SlotSummary&) override {}
  int passes = 0;
};

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

bool RunSoak(const SoakOptions& options, const std::function<void(const BatchFigures&)>& onBatch, std::string* error) {
  TempDir dir;
  std::filesystem::create_directories(dir / "map");
  setenv("TARN_DEVICEMAP", (dir / "map").c_str(), 1);
  tools::SampleSpec spec;
  spec.outDir = (dir / "images").string();
  spec.size = options.imageSize;
  if (!tools::WriteSampleImages(spec, error)) return false;
  const auto image = [&](const std::string& name) { return (dir / "images" / name).string(); };
  const std::string phoneImage = ReadAll(image(spec.phoneName));

  const auto previousSink = platform::SetDebugOutputSink([](std::string_view) {});
  platform::SetClockScale(options.clockScale);
  std::vector<std::unique_ptr<sim::SimPhone>> phones;
  cli::FlashArgs args;
  args.pda = image(spec.pdaName);
  args.csc = image(spec.cscName);
  args.phone = image(spec.phoneName);
  args.noFactoryMode = true;
  for (int i = 0; i < options.phones; ++i) {
    sim::PhoneConfig config;
    config.index = i;
    config.comNumber = kFirstCom + i;
    config.greeting = "LAST";
    config.outputDir = dir / ("phone" + std::to_string(i));
    phones.push_back(std::make_unique<sim::SimPhone>(config));
    if (!phones.back()->Start()) {
      *error = "keld-sim did not start";
      return false;
    }
    args.ports.push_back(config.comNumber);
  }
  const cli::SetupOutcome outcome = cli::PrepareFlash(args);
  bool ok = outcome.ok;
  if (!ok) *error = outcome.refusal;
  for (int batch = 1; ok && batch <= options.batches; ++batch) {
    BatchFigures figures;
    figures.batch = batch;
    figures.before = Measure();
    const auto started = std::chrono::steady_clock::now();
    {
      CountingReport report;
      cli::FlashHost host(outcome.setup, report, nullptr);
      host.Run();
      figures.passed = report.passes;
    }
    figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    WaitForThreadCount(figures.before.threads, kThreadsSettle);
    figures.after = Measure();
    for (int i = 0; i < options.phones; ++i) {
      if (ReadAll(dir / ("phone" + std::to_string(i)) / "phone.bin") == phoneImage) ++figures.exact;
    }
    onBatch(figures);
  }
  phones.clear();
  platform::SetClockScale(1.0);
  platform::SetDebugOutputSink(previousSink);
  unsetenv("TARN_DEVICEMAP");
  return ok;
}

}  // namespace tarn::test
