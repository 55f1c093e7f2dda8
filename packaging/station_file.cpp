// SPDX-License-Identifier: Apache-2.0
#include "packaging/station_file.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/port_names.h"

namespace fs = std::filesystem;

namespace tarn::packaging {
namespace {

bool Listed(const std::vector<StationPort>& ports, int com, const std::string& idPath) {
  for (const auto& port : ports) {
    if (port.com == com || port.idPath == idPath) return true;
  }
  return false;
}

}  // namespace

fs::path StationFilePath() {
  const char* file = std::getenv("TARN_STATION_FILE");
  return file != nullptr && *file != '\0' ? fs::path(file) : fs::path("/etc/tarn/station.conf");
}

std::vector<StationPort> ReadStationFile(const fs::path& file) {
  std::vector<StationPort> ports;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    StationPort port;
    std::string rest;
    if (line.empty() || line[0] == '#') continue;
    if (!(fields >> port.com >> port.idPath) || fields >> rest) continue;
    if (port.com < 1 || port.com > platform::kHighestComNumber || Listed(ports, port.com, port.idPath)) continue;
    ports.push_back(port);
  }
  return ports;
}

bool WriteStationFile(const fs::path& file, const std::vector<StationPort>& ports) {
  std::error_code ec;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  const fs::path temp = file.parent_path() / ("." + file.filename().string() + "." + std::to_string(::getpid()));
  {
    std::ofstream out(temp, std::ios::trunc);
    out << "# Station layout of Tarn Multi Downloader, written by tarn-port-registrar --learn.\n"
           "# <COM number> <ID_PATH of the USB port, as under /dev/serial/by-path/>\n";
    for (const auto& port : ports) out << port.com << ' ' << port.idPath << '\n';
    out.flush();
    if (!out) {
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, file, ec);
  if (!ec) return true;
  fs::remove(temp, ec);
  return false;
}

int StationNumberOf(const std::vector<StationPort>& ports, const std::string& idPath) {
  for (const auto& port : ports) {
    if (!idPath.empty() && port.idPath == idPath) return port.com;
  }
  return 0;
}

bool IsStationNumber(const std::vector<StationPort>& ports, int com) {
  for (const auto& port : ports) {
    if (port.com == com) return true;
  }
  return false;
}

}  // namespace tarn::packaging
