// SPDX-License-Identifier: Apache-2.0
#include "cli/port_list.h"

#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cli/flash_args.h"
#include "cli/flash_setup.h"
#include "platform/clock.h"
#include "platform/devicemap.h"
#include "platform/serial_node.h"
#include "platform/usb_sysfs.h"

namespace fs = std::filesystem;

namespace tarn::cli {

namespace {

constexpr DWORD kPollMs = 250;
constexpr const char* kNotASerialPort = "not a serial port";

// Tries the open a job would do first. A running job holds its port with an
// exclusive lock, so a port that opens but cannot be locked is in use.
std::string OpenState(const fs::path& tty) {
  const int fd = platform::OpenSerialNode(tty.string());
  if (fd < 0) return errno == ENOTTY ? kNotASerialPort : std::string("cannot open: ") + std::strerror(errno);
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free ? "opens" : "in use";
}

}  // namespace

void ReadUsbDetails(const fs::path& sysClassTty, const fs::path& tty, PortDetails* port) {
  const std::optional<platform::UsbDevice> device = platform::UsbDeviceOfTty(sysClassTty, tty);
  if (!device) return;
  port->usbPath = device->path;
  port->usbId = device->id;
}

std::vector<PortDetails> DescribePhonePorts() {
  std::vector<PortDetails> ports;
  for (const auto& entry : platform::ReadSerialComm()) {
    const int com = platform::ParseComNumber(entry.port);
    if (!IsPhoneModemName(entry.name) || com <= 0) continue;
    PortDetails port;
    port.com = com;
    // Not the checked lookup: an entry leading to something else is shown as such.
    const std::optional<fs::path> tty = platform::ComPortLinkTarget(com);
    if (tty) {
      port.tty = tty->string();
      port.opens = OpenState(*tty);
      std::error_code ec;
      const fs::path node = fs::canonical(*tty, ec);
      if (port.opens != kNotASerialPort) ReadUsbDetails("/sys/class/tty", ec ? *tty : node, &port);
    } else {
      port.opens = "cannot open: no tty under /dev in the map";
    }
    ports.push_back(port);
  }
  return ports;
}

std::string FormatPortList(const std::vector<PortDetails>& ports) {
  const PortDetails header{0, "TTY", "USB PATH", "USB ID", "STATE"};
  std::size_t ttyWidth = header.tty.size(), pathWidth = header.usbPath.size(), idWidth = header.usbId.size();
  for (const auto& port : ports) {
    ttyWidth = std::max(ttyWidth, port.tty.size());
    pathWidth = std::max(pathWidth, port.usbPath.size());
    idWidth = std::max(idWidth, port.usbId.size());
  }
  const auto pad = [](const std::string& text, std::size_t width) {
    return text + std::string(std::max(width, text.size()) - text.size() + 2, ' ');
  };
  const auto line = [&](const std::string& com, const PortDetails& port) {
    return pad(com, 6) + pad(port.tty, ttyWidth) + pad(port.usbPath, pathWidth) + pad(port.usbId, idWidth) +
           port.opens + "\n";
  };
  std::string text = line("PORT", header);
  for (const auto& port : ports) text += line(platform::MakePortName(port.com), port);
  return text;
}

int ListPhonePorts(std::FILE* out, std::FILE* err) {
  const std::vector<PortDetails> ports = DescribePhonePorts();
  if (ports.empty()) {
    std::fprintf(err, "tarn-flash: no phone port in the serial-port map %s\n", platform::DeviceMapRoot().c_str());
    return kExitNoPhone;
  }
  std::fputs(FormatPortList(ports).c_str(), out);
  return kExitPassed;
}

int WaitForPhonePorts(int count, int seconds, std::FILE* err) {
  const DWORD start = GetTickCount();
  const DWORD budget = static_cast<DWORD>(std::min<long long>(seconds * 1000LL, 0x7FFFFFFF));
  std::size_t found = 0;
  // On a terminal the wait says what it waits for, and again as phones come.
  const bool tell = ::isatty(fileno(err)) == 1;
  std::size_t told = SIZE_MAX;
  for (;;) {
    found = PhonePortsOfMap().size();
    if (found >= static_cast<std::size_t>(count)) return kExitPassed;
    if (tell && found != told) {
      std::fprintf(err, "tarn-flash: waiting up to %d s for %d phone ports in the serial-port map %s (%zu there)\n",
                   seconds, count, platform::DeviceMapRoot().c_str(), found);
      told = found;
    }
    if (GetTickCount() - start >= budget) break;
    Sleep(kPollMs);
  }
  std::fprintf(err, "tarn-flash: e - %zu of %d phone ports found in the serial-port map %s within %d s\n", found, count,
               platform::DeviceMapRoot().c_str(), seconds);
  return kExitNoPhone;
}

}  // namespace tarn::cli
