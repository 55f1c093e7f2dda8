// SPDX-License-Identifier: Apache-2.0
// The phone ports of the serial-port map as an operator checks them before a
// batch (--list), and waiting for the phones of a rig to come up (--wait).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tarn::cli {

struct PortDetails {
  int com = 0;
  std::string tty = "-";      // the node COM<n> opens
  std::string usbPath = "-";  // the USB port the phone sits on, e.g. 1-4.2
  std::string usbId = "-";    // vendor:product, e.g. 04e8:685d
  std::string opens;          // "opens", or why it does not ("in use", "not a serial port", …)
};

// USB path and vendor:product of tty node `tty` from the sysfs tree at
// `sysClassTty` (normally /sys/class/tty); both stay "-" for a node without
// a USB device behind it, such as a pseudo-terminal.
void ReadUsbDetails(const std::filesystem::path& sysClassTty, const std::filesystem::path& tty, PortDetails* port);

// Every phone port of the map, in map order, with what the system knows of it now.
std::vector<PortDetails> DescribePhonePorts();

// One line per port: COM, tty, USB path, vendor:product, whether it opens.
std::string FormatPortList(const std::vector<PortDetails>& ports);

// --list: prints the ports to `out`; 0, or 3 when there is none (said on `err`).
int ListPhonePorts(std::FILE* out, std::FILE* err);

// --wait: polls the map on the clock until it lists `count` phone ports;
// 0, or 3 after `seconds` with a line on `err` saying how many were found.
int WaitForPhonePorts(int count, int seconds, std::FILE* err);

}  // namespace tarn::cli
