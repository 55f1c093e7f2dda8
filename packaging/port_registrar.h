// Keeps the serial-port map in step with USB CDC-ACM phone ports, for the
// udev rule: on add, the lowest free COM number from 1 up gets the port; on
// remove, the port's entry and link go.
#pragma once

#include <string>

namespace tarn::packaging {

// `devName` is udev's DEVNAME, e.g. /dev/ttyACM3 (value name qxcdmdm3).
// Returns the COM number given (add) or 0; -1 on failure.
int AddPhonePort(const std::string& devName);
// True when nothing of the port is left in the map.
bool RemovePhonePort(const std::string& devName);

}  // namespace tarn::packaging
