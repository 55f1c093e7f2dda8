// SPDX-License-Identifier: Apache-2.0
// The serial-port map: which device names publish which COM ports, and the
// tty node each COM port opens. A folder tree that registrars (the udev
// helper, the simulated phone, tests) keep in step with attached phones:
//   <root>/SERIALCOMM/<name>    regular file, content "COM<n>"
//   <root>/dosdevices/com<n>    symbolic link to the tty node
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/port_names.h"

namespace tarn::platform {

// $TARN_DEVICEMAP, or /run/tarn/devicemap when it is not set.
std::filesystem::path DeviceMapRoot();

struct SerialCommEntry {
  std::string name;  // e.g. "qxcdmdm0"
  std::string port;  // e.g. "COM7"
};

// One read of SERIALCOMM/: dot-files ignored, content trimmed, sorted by name.
std::vector<SerialCommEntry> ReadSerialComm();
std::optional<std::string> QuerySerialComm(const std::vector<SerialCommEntry>& entries, std::string_view name);
// The COM number of the phone port a job given no port (-1, -2) takes: the
// first value name in index order, qxcdmdm<n> before qxcemdm<n> (0 when its
// port name is not COM<n>); nullopt when the map holds none.
std::optional<int> FirstPhonePort(const std::vector<SerialCommEntry>& entries);

// Where the link of COM<n> leads when that is under /dev (every link
// followed), whatever is there: for saying why it is no port.
std::optional<std::filesystem::path> ComPortLinkTarget(int n);
// The tty node of COM<n>: a link target under /dev that is a character device,
// or not there yet (a phone's node comes and goes with the phone).
std::optional<std::filesystem::path> ResolveComPort(int n);
// The COM number of the map entry whose tty is the device `path` names once
// every link is followed (so /dev/serial/by-path/… and by-id/… names work);
// nullopt when the path does not exist or no entry has that device.
std::optional<int> ComPortOfDevice(const std::filesystem::path& path);
// Where the link of COM<n> is kept: <root>/dosdevices/com<n>.
std::filesystem::path ComPortLink(int n);

// Registrar side: add the link first and then the entry (atomically); remove
// the entry first and then the link. False when a step failed.
bool RegisterPort(const std::string& name, int comNumber, const std::filesystem::path& ttyPath);
bool UnregisterPort(const std::string& name, int comNumber);

}  // namespace tarn::platform
