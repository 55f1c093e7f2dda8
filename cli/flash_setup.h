// SPDX-License-Identifier: Apache-2.0
// From tarn-flash's arguments to what every job gets: the START computations
// with every given image ticked, the nation, and the slots' ports.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/flash_args.h"
#include "cli/flash_report.h"
#include "host/start_plan.h"

namespace tarn::cli {

struct FlashSetup {
  std::wstring pda, csc, phone;
  StartPlan plan;
  int nation = 0;
  std::vector<int> ports;  // slot i runs ports[i]
  bool portsFromMap = false;
  bool factoryMode = true;
};

struct SetupOutcome {
  bool ok = false;
  FlashSetup setup;
  std::string refusal;   // why the start was refused (ends in "\n")
  bool noPhone = false;  // refused because no phone port was found
};

SetupOutcome PrepareFlash(const FlashArgs& args);

// The effective options and the images of a prepared batch, for its start record.
BatchInfo BatchInfoOf(const FlashArgs& args, const FlashSetup& setup);

// A device name the phone modem driver publishes (platform::ParseValueName).
bool IsPhoneModemName(std::string_view name);
// COM numbers of the phone ports of the serial-port map, in map order, at
// most platform::kMostPhones.
std::vector<int> PhonePortsOfMap();

}  // namespace tarn::cli
