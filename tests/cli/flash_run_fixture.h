// SPDX-License-Identifier: Apache-2.0
// tarn-flash against keld-sim phones on a private serial-port map, with the
// sample images: the shared set-up of the run tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/flash_args.h"
#include "cli/flash_report.h"
#include "cli/flash_setup.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "sim/keld_sim.h"
#include "tests/cli/run_tool.h"
#include "tests/testsupport/temp_dir.h"
#include "tools/sample_images.h"

namespace tarn::test {

using namespace tarn::cli;

inline constexpr std::uint64_t kSampleSize = 200 * 1024;

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Member name -> data of a tar file written by the sample generator.
inline std::map<std::string, std::string> TarMembers(const std::filesystem::path& path) {
  std::map<std::string, std::string> members;
  const std::string tar = ReadFile(path);
  for (std::size_t at = 0; at + 512 <= tar.size() && tar[at] != 0;) {
    const std::string name(tar.c_str() + at);
    const std::size_t size = std::stoul(tar.substr(at + 124, 12), nullptr, 8);
    members[name] = tar.substr(at + 512, size);
    at += 512 + (size + 511) / 512 * 512;
  }
  return members;
}

// Where the simulated phone keeps each sample member.
inline const std::map<std::string, std::string> kPartitionFiles = {{"BOOT.bin", "part00.bin"},
                                                                   {"SBL.bin", "part01.bin"},
                                                                   {"ZIMAGE", "part03.bin"},
                                                                   {"FACTORYFS.rfs", "part05.bin"},
                                                                   {"STRATINE.img", "part20.bin"}};

class FlashRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_ / "map");
    setenv("TARN_DEVICEMAP", (dir_ / "map").c_str(), 1);
    spec_.outDir = (dir_ / "images").string();
    spec_.size = kSampleSize;
    std::string error;
    ASSERT_TRUE(tarn::tools::WriteSampleImages(spec_, &error)) << error;
  }
  void TearDown() override {
    phones_.clear();
    unsetenv("TARN_DEVICEMAP");
  }

  tarn::sim::PhoneConfig Config(int index, int com) {
    tarn::sim::PhoneConfig config;
    config.index = index;
    config.comNumber = com;
    config.greeting = "LAST";
    config.loaderVersion = 7;
    config.outputDir = dir_ / ("phone" + std::to_string(com));
    return config;
  }
  tarn::sim::SimPhone& AddPhone(tarn::sim::PhoneConfig config) {
    phones_.push_back(std::make_unique<tarn::sim::SimPhone>(config));
    EXPECT_TRUE(phones_.back()->Start());
    return *phones_.back();
  }
  std::string Image(const std::string& name) const { return (dir_ / "images" / name).string(); }
  std::vector<std::string> AllImages() const {
    return {"--pda", Image(spec_.pdaName), "--csc", Image(spec_.cscName), "--phone", Image(spec_.phoneName)};
  }

  // Every member the job sends, compared with what phone COM<com> stored.
  void ExpectFlashedExactly(int com) {
    const auto out = dir_ / ("phone" + std::to_string(com));
    for (const auto& [name, data] : TarMembers(Image(spec_.pdaName))) {
      EXPECT_TRUE(ReadFile(out / kPartitionFiles.at(name)) == data) << name << " on COM" << com;
    }
    EXPECT_TRUE(ReadFile(out / "part23.bin") == TarMembers(Image(spec_.cscName)).at("UK.csc")) << com;
    EXPECT_TRUE(ReadFile(out / "phone.bin") == ReadFile(Image(spec_.phoneName))) << com;
  }

  TempDir dir_;
  tarn::tools::SampleSpec spec_;
  std::vector<std::unique_ptr<tarn::sim::SimPhone>> phones_;
};

// What an in-process host reported, as the tests look at it.
class RecordingReport : public FlashReport {
 public:
  void JobStarted(int slot, int, bool restart) override { starts.push_back({slot, restart}); }
  void Text(int, const std::wstring&) override {}
  void Error(int, const std::wstring& text) override { errors.push_back(text); }
  void Progress(int, int, int) override {}
  void State(int, int code) override { states.push_back(code); }
  void Files(int, int) override {}
  void Pass(int, int) override {}
  void Summary(const SlotSummary&) override {}
  std::vector<std::pair<int, bool>> starts;
  std::vector<std::wstring> errors;
  std::vector<int> states;
};

// The host in-process, on the sped-up test clock.
class FlashHostClock : public FlashRun {
 protected:
  void SetUp() override {
    FlashRun::SetUp();
    tarn::platform::SetClockScale(0.05);
    previousSink_ = tarn::platform::SetDebugOutputSink([](std::string_view) {});
  }
  void TearDown() override {
    tarn::platform::SetDebugOutputSink(previousSink_);
    tarn::platform::SetClockScale(1.0);
    FlashRun::TearDown();
  }
  FlashSetup SetupFor(std::vector<int> ports, bool factoryMode, bool bootFormat) {
    FlashArgs args;
    args.pda = Image(spec_.pdaName);
    args.ports = std::move(ports);
    args.noFactoryMode = !factoryMode;
    args.bootFormat = bootFormat;
    SetupOutcome outcome = PrepareFlash(args);
    EXPECT_TRUE(outcome.ok) << outcome.refusal;
    return outcome.setup;
  }
  tarn::platform::DebugSink previousSink_;
};

inline std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> lines;
  std::istringstream stream(out);
  for (std::string line; std::getline(stream, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

}  // namespace tarn::test
