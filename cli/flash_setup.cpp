// SPDX-License-Identifier: Apache-2.0
#include "cli/flash_setup.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "host/image_check.h"
#include "platform/devicemap.h"
#include "platform/port_names.h"
#include "platform/text.h"

namespace tarn::cli {

namespace {

StartChoices ChoicesOf(const FlashArgs& args) {
  StartChoices choices;
  choices.bootUpdate = !args.noBootUpdate;
  choices.bootFormat = args.bootFormat;
  choices.csaClear = args.csaClear;
  choices.autoReboot = !args.noAutoReboot;
  choices.phoneBootUpdate = args.phoneBootUpdate;
  choices.stratineAll = args.stratine == "all";
  choices.stratineUms = args.stratine == "ums";
  choices.stratineOpt = args.stratine == "opt";
  choices.stratineCsc = args.stratine == "csc";
  return choices;
}

std::string UnreadableNames(const FlashArgs& args, std::uint16_t mask) {
  std::string names;
  auto add = [&](std::uint16_t bit, const std::string& path) {
    if (!(mask & bit)) return;
    if (!names.empty()) names += ", ";
    names += path;
  };
  add(IMAGE_MASK_PDA, args.pda);
  add(IMAGE_MASK_CSC, args.csc);
  add(IMAGE_MASK_PHONE, args.phone);
  return names;
}

std::string PortArgument(int port) { return "--port " + std::to_string(port); }

// The COM numbers of the map's phone ports, all of them, in the order of
// their value names' numbers: qxcdmdm2 before qxcdmdm10, as the text order
// of the names would not have it.
std::vector<int> PhonePortsIn(const std::vector<platform::SerialCommEntry>& entries) {
  std::vector<std::pair<platform::ValueName, int>> named;
  for (const auto& entry : entries) {
    const std::optional<platform::ValueName> name = platform::ParseValueName(entry.name);
    if (!name) continue;
    if (const int port = platform::ParseComNumber(entry.port); port > 0) named.emplace_back(*name, port);
  }
  std::stable_sort(named.begin(), named.end(), [](const auto& a, const auto& b) {
    return std::pair(a.first.kind, a.first.index) < std::pair(b.first.kind, b.first.index);
  });
  std::vector<int> ports;
  for (const auto& [name, port] : named) ports.push_back(port);
  return ports;
}

// The --port list checked against the map before any phone is touched. -1
// and -2 stand for the port a job given none takes (the first phone port of
// the map), so that no phone is named twice; -1 becomes that number, -2
// stays, as it asks for a reset run. A COM number must be a phone port of
// the map, else its job would only wait for it and fail.
bool ResolvePorts(const std::vector<int>& given, std::vector<int>* ports, std::string* refusal, bool* noPhone) {
  const auto entries = platform::ReadSerialComm();
  const std::vector<int> inMap = PhonePortsIn(entries);
  const std::string where = " the serial-port map " + platform::DeviceMapRoot().string();
  std::vector<int> named;  // the COM number each --port names
  for (const int port : given) {
    int com = port;
    if (port < 0) {
      const std::optional<int> first = platform::FirstPhonePort(entries);
      if (!first || *first <= 0) {
        *refusal = "tarn-flash: e - " + PortArgument(port) + ": no phone port in" + where +
                   " (tarn-flash --list shows it)\n";
        *noPhone = true;
        return false;
      }
      com = *first;
    } else if (std::find(inMap.begin(), inMap.end(), port) == inMap.end()) {
      *refusal = "tarn-flash: e - COM" + std::to_string(port) + " is not a phone port of" + where +
                 " (tarn-flash --list shows the phone ports)\n";
      *noPhone = true;
      return false;
    }
    for (std::size_t i = 0; i < named.size(); ++i) {
      if (named[i] != com) continue;
      *refusal = "tarn-flash: e - " + PortArgument(given[i]) + " and " + PortArgument(port) + " both name COM" +
                 std::to_string(com) + "\n";
      return false;
    }
    named.push_back(com);
    ports->push_back(port == -1 ? com : port);
  }
  return true;
}

int NationFor(const FlashArgs& args, const std::wstring& csc, bool* readable) {
  *readable = true;
  if (args.nation) return *ParseNation(*args.nation);
  if (csc.empty()) return 0;
  NationChoice choice = SelectNationFromCsc(csc);
  *readable = choice.result == kStartOk;
  return choice.nation >= 0 ? choice.nation : 0;
}

}  // namespace

bool IsPhoneModemName(std::string_view name) { return platform::ParseValueName(name).has_value(); }

std::vector<int> PhonePortsOfMap() {
  std::vector<int> ports = PhonePortsIn(platform::ReadSerialComm());
  if (ports.size() > static_cast<std::size_t>(platform::kMostPhones)) ports.resize(platform::kMostPhones);
  return ports;
}

SetupOutcome PrepareFlash(const FlashArgs& args) {
  SetupOutcome outcome;
  FlashSetup& setup = outcome.setup;
  // Every cause at once, before the ports are even looked at.
  for (const auto& line :
       CheckImages(platform::Widen(args.pda), platform::Widen(args.csc), platform::Widen(args.phone))) {
    outcome.refusal += platform::Narrow(line) + "\n";
  }
  if (!outcome.refusal.empty()) return outcome;
  setup.portsFromMap = args.ports.empty();
  if (setup.portsFromMap) {
    setup.ports = PhonePortsOfMap();
  } else if (!ResolvePorts(args.ports, &setup.ports, &outcome.refusal, &outcome.noPhone)) {
    return outcome;
  }
  if (setup.ports.empty()) {
    outcome.refusal = "tarn-flash: no phone attached (no phone port in the serial-port map " +
                      platform::DeviceMapRoot().string() + ")\n";
    outcome.noPhone = true;
    return outcome;
  }
  setup.pda = platform::Widen(args.pda);
  setup.csc = platform::Widen(args.csc);
  setup.phone = platform::Widen(args.phone);
  setup.factoryMode = !args.noFactoryMode;
  bool cscReadable = true;
  setup.nation = NationFor(args, setup.csc, &cscReadable);
  if (!cscReadable) {
    outcome.refusal = "tarn-flash: cannot read the CSC archive " + args.csc + "\n";
    return outcome;
  }
  StartInputs inputs;
  inputs.pda = setup.pda;
  inputs.csc = setup.csc;
  inputs.phone = setup.phone;
  inputs.pdaTicked = inputs.cscTicked = inputs.phoneTicked = true;
  inputs.selectedNation = setup.nation;
  inputs.choices = ChoicesOf(args);
  setup.plan = PlanStart(inputs);
  switch (setup.plan.refusal) {
    case StartRefusal::EmptyFileNames:
      outcome.refusal = "tarn-flash: no image given (--pda, --csc or --phone)\n";
      return outcome;
    case StartRefusal::PlatformRefused:
      outcome.refusal = "tarn-flash: the PDA file name " + platform::Narrow(FileNameOfPath(setup.pda)) +
                        " names no known platform\n";
      return outcome;
    case StartRefusal::NothingToSend: outcome.refusal = platform::Narrow(setup.plan.refusalText) + "\n"; return outcome;
    case StartRefusal::None: break;
  }
  if (setup.plan.unreadableMask != 0) {
    outcome.refusal = "tarn-flash: cannot read the image " + UnreadableNames(args, setup.plan.unreadableMask) +
                      " (missing, not a regular file, 4 GiB or more, or a damaged tar header)\n";
    return outcome;
  }
  outcome.ok = true;
  return outcome;
}

BatchInfo BatchInfoOf(const FlashArgs& args, const FlashSetup& setup) {
  const ENGINE_OPTIONS& options = setup.plan.options;
  BatchInfo info;
  info.bootUpdate = options.bBootUpdate != 0;
  info.bootFormat = options.bBootFormat != 0;
  info.csaClear = options.bCsaClear != 0;
  info.autoReboot = options.bAutoReboot != 0;
  info.phoneBootUpdate = options.bPhoneBootUpdate != 0;
  info.factoryMode = setup.factoryMode;
  info.stratine = args.stratine;
  info.nation = setup.nation;
  info.answerTimeout = args.answerTimeout;
  info.ports = setup.ports;
  info.portsFromMap = setup.portsFromMap;
  const auto image = [](const std::string& path) -> std::optional<ImageInfo> {
    if (path.empty()) return std::nullopt;
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    ImageInfo info;
    info.path = path;
    info.bytes = ec ? 0 : static_cast<std::uint64_t>(size);
    return info;
  };
  info.pda = image(args.pda);
  info.csc = image(args.csc);
  info.phone = image(args.phone);
  info.jobBytes = setup.plan.totalSize;
  return info;
}

}  // namespace tarn::cli
