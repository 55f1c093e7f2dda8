// SPDX-License-Identifier: Apache-2.0
// The station file: which USB port (udev's ID_PATH, the name under
// /dev/serial/by-path/) gets which COM number, so that on a station with
// fixed cables the phone on cable N is always COM N. One port per line:
//   <COM number> <ID_PATH>
// '#' starts a comment line; lines that do not parse are ignored, so a
// damaged file costs the layout, never a phone its port.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarn::packaging {

struct StationPort {
  int com = 0;
  std::string idPath;
};

// $TARN_STATION_FILE, or /etc/tarn/station.conf when it is not set.
std::filesystem::path StationFilePath();

// The ports of the file in file order; a COM number or path listed again
// later is ignored. Empty when the file is missing.
std::vector<StationPort> ReadStationFile(const std::filesystem::path& file);
// Writes the whole file at once (a reader sees the old file or the new one).
bool WriteStationFile(const std::filesystem::path& file, const std::vector<StationPort>& ports);

// The COM number the layout gives `idPath`, or 0.
int StationNumberOf(const std::vector<StationPort>& ports, const std::string& idPath);
bool IsStationNumber(const std::vector<StationPort>& ports, int com);

}  // namespace tarn::packaging
