// SPDX-License-Identifier: Apache-2.0
#include "tests/testsupport/job_harness.h"

#include <cstdlib>
#include <stdexcept>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "tests/testsupport/test_images.h"

namespace tarn::test {

namespace {
constexpr std::chrono::seconds kJobTimeout{120};
}  // namespace

ENGINE_OPTIONS WindowOptions() { return ENGINE_OPTIONS{1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}; }

JobSpec PdaJob(int port, int slot, const std::filesystem::path& pda) {
  JobSpec spec;
  spec.port = port;
  spec.slot = slot;
  spec.mask = IMAGE_MASK_PDA;
  spec.pda = pda;
  return spec;
}

JobHarness::JobHarness(double clockScale) {
  setenv("TARN_DEVICEMAP", (dir_ / "map").c_str(), 1);
  platform::SetClockScale(clockScale);
  platform::SetDebugOutputSink([this](std::string_view record) {
    std::lock_guard<std::mutex> lock(logMutex_);
    log_.emplace_back(record);
  });
  host.factoryModeChecked = 0;
}

JobHarness::~JobHarness() {
  WaitAll();
  engines_.clear();
  phones_.clear();
  platform::SetDebugOutputSink({});
  platform::SetClockScale(1.0);
}

sim::PhoneConfig JobHarness::Config(int loaderVersion) {
  sim::PhoneConfig config;
  config.greeting = "LAST";
  config.loaderVersion = static_cast<std::uint32_t>(loaderVersion);
  return config;
}

sim::SimPhone& JobHarness::AddPhone(int comNumber, sim::PhoneConfig config) {
  config.comNumber = comNumber;
  config.index = comNumber;
  config.outputDir = dir_ / ("phone" + std::to_string(comNumber));
  phones_.push_back(std::make_unique<sim::SimPhone>(config));
  if (!phones_.back()->Start()) throw std::runtime_error("keld-sim did not start");
  return *phones_.back();
}

std::filesystem::path JobHarness::Image(const std::string& name, const std::string& bytes) {
  const auto path = dir_ / name;
  WriteFile(path, bytes);
  return path;
}

CPellLinuxNp& JobHarness::Start(const JobSpec& spec) {
  engines_.push_back(std::make_unique<CPellLinuxNp>());
  CPellLinuxNp& engine = *engines_.back();
  engine.Init(L"K-Project");
  if (!spec.boot.empty()) engine.SetBootPath(spec.boot.wstring().c_str());
  if (!spec.pda.empty()) engine.SetPdaPath(spec.pda.wstring().c_str());
  if (!spec.csc.empty()) engine.SetCscPath(spec.csc.wstring().c_str());
  if (!spec.phone.empty()) engine.SetPhonePath(spec.phone.wstring().c_str());
  if (!spec.sharedPda.empty()) engine.SetPdaImage(spec.sharedPda.c_str(), spec.sharedPdaSize);
  engine.SetImageMask(spec.mask);
  engine.SetTotalSize(spec.totalSize);
  engine.SetOptions(&spec.options);
  if (engine.StartJob(static_cast<std::int16_t>(spec.port), static_cast<std::int16_t>(spec.slot)) != 0) {
    throw std::runtime_error("StartJob refused");
  }
  return engine;
}

void JobHarness::Destroy(const CPellLinuxNp& engine) {
  std::erase_if(engines_, [&engine](const auto& owned) { return owned.get() == &engine; });
}

bool JobHarness::WaitAll() {
  return host.RunUntil(
      [this] {
        for (auto& engine : engines_) {
          std::int16_t running = 0;
          engine->IsJobRunning(&running);
          if (running) return false;
        }
        return true;
      },
      kJobTimeout);
}

std::string JobHarness::Stored(int comNumber, const std::string& file) const {
  return ReadFile(dir_ / ("phone" + std::to_string(comNumber)) / file);
}

bool JobHarness::HasStored(int comNumber, const std::string& file) const {
  return std::filesystem::exists(dir_ / ("phone" + std::to_string(comNumber)) / file);
}

std::vector<sim::CommandRecord> JobHarness::CommandsOf(int comNumber, int code) const {
  std::vector<sim::CommandRecord> out;
  for (const auto& phone : phones_) {
    if (phone->Config().comNumber != comNumber) continue;
    for (const auto& c : phone->Commands()) {
      if (code == 0 || c.code == code) out.push_back(c);
    }
  }
  return out;
}

std::vector<std::string> JobHarness::LogLines() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return log_;
}

}  // namespace tarn::test
