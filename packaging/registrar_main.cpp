// SPDX-License-Identifier: Apache-2.0
// tarn-port-registrar: run by the udev rule with ACTION, DEVNAME and ID_PATH
// in its environment (the action and the node may also be given as
// arguments), or by an administrator with --learn to record the station's
// layout.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "packaging/port_registrar.h"
#include "packaging/station_file.h"
#include "packaging/station_learn.h"
#include "tarn/version.h"

namespace {

constexpr const char* kUsage =
    "Usage: tarn-port-registrar add|remove [DEVNAME]\n"
    "       tarn-port-registrar --learn\n"
    "Keeps the serial-port map of Tarn Multi Downloader in step with phone ports.\n"
    "The udev rule runs it with ACTION, DEVNAME (/dev/ttyACM<k>) and ID_PATH set.\n"
    "\n"
    "  add|remove  register or unregister DEVNAME; a port listed in the station\n"
    "              file gets its COM number from there\n"
    "  --learn     ask for a phone on each slot's cable in turn and write the\n"
    "              station file ($TARN_STATION_FILE, default /etc/tarn/station.conf)\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n";

std::string Arg(int argc, char** argv, int i, const char* env) {
  if (argc > i) return argv[i];
  const char* value = std::getenv(env);
  return value != nullptr ? value : "";
}

int Learn() {
  tarn::packaging::LearnSetup setup;
  setup.answers = STDIN_FILENO;
  setup.byPathDir = tarn::packaging::SerialByPathDir();
  setup.stationFile = tarn::packaging::StationFilePath();
  return tarn::packaging::LearnStation(setup);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string action = Arg(argc, argv, 1, "ACTION");
  const std::string devName = Arg(argc, argv, 2, "DEVNAME");
  if (action == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (action == "--version") {
    std::puts("tarn-port-registrar " TARN_VERSION);
    return 0;
  }
  if (action == "--learn") return Learn();
  // udev logs what the registrar writes to standard error.
  std::string error;
  if (action == "add") {
    if (tarn::packaging::AddPhonePort(devName, Arg(0, argv, 0, "ID_PATH"), error) > 0) return 0;
    if (error.empty()) error = "tarn-port-registrar: cannot register " + devName;
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (action == "remove") {
    if (tarn::packaging::RemovePhonePort(devName, error)) return 0;
    if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::fputs(kUsage, stderr);
  return 2;
}
