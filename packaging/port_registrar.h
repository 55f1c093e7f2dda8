// SPDX-License-Identifier: Apache-2.0
// Keeps the serial-port map in step with USB CDC-ACM phone ports, for the
// udev rule: on add, the port gets the COM number the station file gives its
// USB path, or else the lowest free number from 1 up that the station file
// does not keep for another port; on remove, the port's entry and link go.
#pragma once

#include <string>

namespace tarn::packaging {

// `devName` is udev's DEVNAME, e.g. /dev/ttyACM3 (value name qxcdmdm3);
// `idPath` udev's ID_PATH (may be empty). Returns the COM number given, or
// -1 on failure. Both wait a few seconds at most for another registrar to
// finish with the map; when the map's lock cannot be had, they fail with
// `error` set to the line to log.
int AddPhonePort(const std::string& devName, const std::string& idPath, std::string& error);
// True when nothing of the port is left in the map.
bool RemovePhonePort(const std::string& devName, std::string& error);

}  // namespace tarn::packaging
