// SPDX-License-Identifier: Apache-2.0
// Which USB device a phone's tty belongs to, from sysfs: the port it sits on
// (its sysfs name, e.g. 1-4.2) and its vendor:product ids. Operators match a
// slot's result to a cable by the path; a pseudo-terminal has neither.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tarn::platform {

struct UsbDevice {
  std::string path;  // sysfs name of the USB device, e.g. 1-4.2
  std::string id;    // vendor:product, e.g. 04e8:685d
};

// The USB device behind tty node `tty` in the sysfs tree at `sysClassTty`
// (normally /sys/class/tty); nullopt for a node with no USB device behind it.
std::optional<UsbDevice> UsbDeviceOfTty(const std::filesystem::path& sysClassTty, const std::filesystem::path& tty);

// The USB path of the phone on COM<com> as the serial-port map leads to it
// now; empty when the port is not there or is no USB device.
std::string UsbPathOfCom(int com);

}  // namespace tarn::platform
