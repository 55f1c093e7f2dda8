// SPDX-License-Identifier: Apache-2.0
// keld-sim: runs simulated phones on pseudo-terminals (or given ttys) until SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/devicemap.h"
#include "platform/port_names.h"
#include "sim/keld_sim.h"
#include "tarn/version.h"

namespace {

// As many phones as one host drives.
constexpr int kMaxPhones = tarn::platform::kMostPhones;
constexpr int kExitUsage = 2;

struct Options {
  int phones = 1;
  int comBase = 1;
  int indexBase = 0;
  std::string kind = "dm";
  std::string output;
  std::vector<std::string> ttys;  // phone i serves the i-th
  // A current loader: it greets LAST and answers GetVersion with a version
  // that takes file-system members, so the defaults flash the sample images.
  std::string greeting = "LAST";
  unsigned loaderVersion = 7;
  unsigned buildDate = 0;
  int platform = 0;
  int revision = 0;
  int nation = 0;
  std::uint32_t partitionSize = tarn::sim::kDefaultPartitionSize;
  int receiveTimeoutMs = tarn::sim::PhoneConfig{}.receiveTimeoutMs;
  tarn::sim::FaultPlan faults;
  std::vector<int> failAt;     // code, nth, result
  std::vector<int> failFrame;  // nth, result
};

void AddFault(CLI::App& app, const char* name, tarn::sim::CommandFault& fault, const char* what) {
  app.add_option(name, fault.code, std::string(what) + " (command code; -1 is the greeting)")->group("Faults");
}

tarn::sim::PhoneConfig ConfigFor(const Options& o, int i) {
  tarn::sim::PhoneConfig config;
  config.kind = o.kind == "em" ? tarn::sim::PortKind::Em : tarn::sim::PortKind::Dm;
  config.index = o.indexBase + i;
  config.comNumber = o.comBase + i;
  config.greeting = o.greeting;
  config.loaderVersion = o.loaderVersion;
  config.buildDate = o.buildDate;
  config.platform = static_cast<std::int16_t>(o.platform);
  config.revision = static_cast<std::int16_t>(o.revision);
  config.params.nation = o.nation;
  for (auto& size : config.params.sizes) size = o.partitionSize;
  if (!o.ttys.empty()) config.tty = o.ttys[static_cast<std::size_t>(i)];
  if (!o.output.empty()) config.outputDir = std::filesystem::path(o.output) / ("phone" + std::to_string(i));
  config.receiveTimeoutMs = o.receiveTimeoutMs;
  config.faults = o.faults;
  if (o.failAt.size() >= 1) config.faults.fail.code = o.failAt[0];
  if (o.failAt.size() >= 2) config.faults.fail.nth = o.failAt[1];
  if (o.failAt.size() >= 3) config.faults.failResult = static_cast<std::uint8_t>(o.failAt[2]);
  if (o.failFrame.size() >= 1) config.faults.failFrame = o.failFrame[0];
  if (o.failFrame.size() >= 2) config.faults.failFrameResult = static_cast<std::uint8_t>(o.failFrame[1]);
  return config;
}

// With --tty there is one phone per tty; --phones may only repeat that count.
bool TtysAgree(const CLI::App& app, Options& o) {
  if (o.ttys.empty()) return true;
  const int count = static_cast<int>(o.ttys.size());
  if (count > kMaxPhones) {
    std::fprintf(stderr, "e - %d --tty options: at most %d phones\n", count, kMaxPhones);
    return false;
  }
  if (app.count("--phones") > 0 && o.phones != count) {
    std::fprintf(stderr, "e - %d --tty options but --phones %d: each phone needs its own --tty\n", count, o.phones);
    return false;
  }
  o.phones = count;
  return true;
}

// Every phone's COM number and value-name index must be one the hosts read:
// a map entry past them would name a port no host ever opens.
bool NumbersFit(const Options& o) {
  const int lastCom = o.comBase + o.phones - 1, lastIndex = o.indexBase + o.phones - 1;
  if (lastCom > tarn::platform::kHighestComNumber) {
    std::fprintf(stderr, "e - --com-base %d with %d phones would give COM%d; COM numbers end at %d\n", o.comBase,
                 o.phones, lastCom, tarn::platform::kHighestComNumber);
    return false;
  }
  if (lastIndex >= tarn::platform::kValueIndexCount) {
    std::fprintf(stderr, "e - --index-base %d with %d phones would give index %d; indexes end at %d\n", o.indexBase,
                 o.phones, lastIndex, tarn::platform::kValueIndexCount - 1);
    return false;
  }
  return true;
}

// Why the map cannot take the phone of COM<com> (errno), or 0 when it can:
// the map's default folder is root's, and a user's first run meets that.
int MapWriteError(int com) {
  namespace fs = std::filesystem;
  for (const fs::path& dir :
       {tarn::platform::DeviceMapRoot() / "SERIALCOMM", tarn::platform::ComPortLink(com).parent_path()}) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return ec.value();
    if (access(dir.c_str(), W_OK) != 0) return errno;
  }
  return 0;
}

void PrintStartError(const tarn::sim::SimPhone& phone, int i) {
  if (!phone.Config().tty.empty()) {
    std::fprintf(stderr, "e - phone %d cannot serve on %s: %s\n", i, phone.Config().tty.c_str(),
                 std::strerror(phone.StartError()));
  } else if (const int error = MapWriteError(phone.Config().comNumber); error != 0) {
    std::fprintf(stderr,
                 "e - phone %d could not start: the serial-port map %s cannot be written: %s; set "
                 "TARN_DEVICEMAP=<a folder of yours> and give the tools the same (see keld-sim(1))\n",
                 i, tarn::platform::DeviceMapRoot().c_str(), std::strerror(error));
  } else {
    std::fprintf(stderr, "e - phone %d could not start: no pseudo-terminal could be made\n", i);
  }
}

void PrintUp(const tarn::sim::SimPhone& phone, int i) {
  if (!phone.Config().tty.empty()) {
    std::printf("phone %d: on %s (raw, not in the map)\n", i, phone.TtyPath().c_str());
  } else {
    std::printf("phone %d: %s = COM%d -> %s\n", i, phone.ValueName().c_str(), phone.Config().comNumber,
                phone.TtyPath().c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "keld-sim: simulated phone boot loaders on pseudo-terminals (or given ttys).\n"
      "Each phone is published in the serial-port map ($TARN_DEVICEMAP, default /run/tarn/devicemap)\n"
      "as SERIALCOMM/qxc<kind>mdm<index> = COM<n> (a phone on a given tty is not: the host side's\n"
      "registrar publishes that), answers the download protocol, checks every\n"
      "piece's MD5 text and stores what was written under <output>/phone<i>/ (partNN.bin,\n"
      "phone.bin, fw-<name>.bin). Runs until SIGINT or SIGTERM, then unregisters its ports."};
  Options o;
  app.add_option("--phones", o.phones, "number of phones")->check(CLI::Range(1, kMaxPhones));
  app.add_option("--com-base", o.comBase, "COM number of the first phone (the others follow)")
      ->check(CLI::Range(1, 255));
  app.add_option("--index-base", o.indexBase, "value-name index of the first phone")->check(CLI::Range(0, 255));
  app.add_option("--kind", o.kind, "value-name kind: dm (qxcdmdm) or em (qxcemdm)")->check(CLI::IsMember({"dm", "em"}));
  app.add_option("--output", o.output, "folder for the written data (nothing is stored without it)");
  app.add_option("--tty", o.ttys,
                 "serve a phone on this existing tty (a USB gadget's /dev/ttyGS0) in raw mode,\n"
                 "registering nothing in the map; once per phone, instead of --phones")
      ->allow_extra_args(false)
      ->type_name("PATH");
  app.add_option("--greeting", o.greeting, "4-byte greeting word: PELL, KELD, TARN, LAST or any other")
      ->capture_default_str();
  app.add_option("--loader-version", o.loaderVersion, "version answered to GetVersion after LAST")
      ->capture_default_str()
      ->check(CLI::Range(0, 4095));
  app.add_option("--build-date", o.buildDate, "build date answered to GetVersion (upper 20 bits)")
      ->check(CLI::Range(0, 1048575));
  app.add_option("--platform", o.platform, "platform answered to GetPlatform");
  app.add_option("--revision", o.revision, "revision answered to GetPlatform");
  app.add_option("--nation", o.nation, "nation word of the parameter record");
  app.add_option("--partition-size", o.partitionSize, "size of each of the ten partitions, in bytes");
  app.add_option("--receive-timeout", o.receiveTimeoutMs,
                 "MS of silence after which a half-received command, frame or piece is dropped and\n"
                 "the phone waits for a new greeting (silence between commands never counts); 0: never")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--fail", o.failAt, "CODE [NTH [RESULT]]: answer the NTH command CODE with status 0xFF and RESULT")
      ->expected(1, 3)
      ->group("Faults");
  app.add_option("--fail-frame", o.failFrame, "NTH [RESULT]: answer the NTH data frame with status 0xFF")
      ->expected(1, 2)
      ->group("Faults");
  AddFault(app, "--wrong-echo", o.faults.wrongEcho, "answer the first such command with a wrong echo");
  AddFault(app, "--short-answer", o.faults.shortAnswer, "answer the first such command with 2 of 4 bytes");
  AddFault(app, "--silent", o.faults.silence, "do not answer the first such command");
  app.add_option("--unplug-at-frame", o.faults.unplugAtFrame, "unplug half way through the NTH data frame")
      ->group("Faults");
  app.add_option("--reboot-after-format", o.faults.rebootAfterFormatMs,
                 "after Format: unplug, and come back after this many milliseconds")
      ->group("Faults");
  app.set_version_flag("--version", "keld-sim " TARN_VERSION, "print the version and exit");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version exit 0; every wrong option is bad usage, exit 2.
    const int code = app.exit(e);
    return code == 0 ? 0 : kExitUsage;
  }
  if (!TtysAgree(app, o) || !NumbersFit(o)) return kExitUsage;

  // Block the stop signals before any thread starts, so every thread
  // inherits the mask and sigwait below receives them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  std::vector<std::unique_ptr<tarn::sim::SimPhone>> phones;
  for (int i = 0; i < o.phones; ++i) {
    auto phone = std::make_unique<tarn::sim::SimPhone>(ConfigFor(o, i));
    if (!phone->Start()) {
      PrintStartError(*phone, i);
      return 1;
    }
    PrintUp(*phone, i);
    phones.push_back(std::move(phone));
  }
  std::fflush(stdout);
  int received = 0;
  sigwait(&signals, &received);
  for (auto& phone : phones) {
    phone->Stop();
    const auto stats = phone->Stats();
    std::printf("%s: %d greetings, %d commands, %d frames, %d pieces stored, %d MD5 mismatches, %d receive time-outs\n",
                phone->ValueName().c_str(), stats.greetings, stats.commands, stats.frames, stats.piecesStored,
                stats.digestMismatches, stats.receiveTimeouts);
  }
  return 0;
}
