// SPDX-License-Identifier: Apache-2.0
// tarn-port-registrar --learn: walks a technician through the station's
// cables, slot by slot, and writes the station file from the USB ports the
// phones turned up on.
#pragma once

#include <cstdio>
#include <filesystem>

namespace tarn::packaging {

struct LearnSetup {
  int answers = 0;          // the technician's answers, one per line
  std::FILE* out = stdout;  // questions and what was recorded
  std::filesystem::path byPathDir;
  std::filesystem::path stationFile;
};

// $TARN_SERIAL_BY_PATH, or /dev/serial/by-path (udev names each serial
// port there after its ID_PATH) when it is not set.
std::filesystem::path SerialByPathDir();

// Exit status: 0 the file was written (or the technician declined), 1 no
// answers, nothing learned or the file could not be written.
int LearnStation(const LearnSetup& setup);

}  // namespace tarn::packaging
