// SPDX-License-Identifier: Apache-2.0
// End-to-end harness: simulated phones on pseudo-terminals in a private
// serial-port map, engines started as the window starts them, a recording
// host, the test clock and a captured diagnostic log.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/options.h"
#include "engine/pell_linux_np.h"
#include "sim/keld_sim.h"
#include "tests/testsupport/recording_host.h"
#include "tests/testsupport/temp_dir.h"

namespace tarn::test {

// What the window passes after start-up: Boot Update and Auto Reboot on,
// whole Stratine member, no platform check.
ENGINE_OPTIONS WindowOptions();

struct JobSpec {
  int port = 1;
  int slot = 0;
  std::uint16_t mask = 0;
  std::filesystem::path boot, pda, csc, phone;
  std::int32_t totalSize = 0;
  std::wstring sharedPda;  // NPS mode: name of the shared PDA image and its size
  std::uint32_t sharedPdaSize = 0;
  ENGINE_OPTIONS options = WindowOptions();
};

// A job that sends one PDA archive.
JobSpec PdaJob(int port, int slot, const std::filesystem::path& pda);

class JobHarness {
 public:
  // Clock scale: small enough for quick waits, large enough that the scaled
  // 1000 ms serial time-outs survive a loaded machine.
  explicit JobHarness(double clockScale = 0.1);
  ~JobHarness();

  // A phone on COM<comNumber>, storing into Dir()/phone<comNumber>. Config
  // defaults: greeting "LAST" with loader version 7.
  static sim::PhoneConfig Config(int loaderVersion = 7);
  sim::SimPhone& AddPhone(int comNumber, sim::PhoneConfig config);
  sim::SimPhone& AddPhone(int comNumber) { return AddPhone(comNumber, Config()); }

  std::filesystem::path Image(const std::string& name, const std::string& bytes);
  CPellLinuxNp& Start(const JobSpec& spec);
  // Destroys a started engine now, as a host that goes away does.
  void Destroy(const CPellLinuxNp& engine);
  // Runs the host until every started job has ended; false on time-out.
  bool WaitAll();

  std::string Stored(int comNumber, const std::string& file) const;
  bool HasStored(int comNumber, const std::string& file) const;
  std::vector<sim::CommandRecord> CommandsOf(int comNumber, int code) const;
  std::vector<std::string> LogLines() const;

  const std::filesystem::path& Dir() const { return dir_.Path(); }
  RecordingHost host;

 private:
  TempDir dir_;
  std::vector<std::unique_ptr<sim::SimPhone>> phones_;
  std::vector<std::unique_ptr<CPellLinuxNp>> engines_;
  mutable std::mutex logMutex_;
  std::vector<std::string> log_;
};

}  // namespace tarn::test
