// SPDX-License-Identifier: Apache-2.0
#include "platform/usb_sysfs.h"

#include <fstream>

#include "platform/devicemap.h"

namespace fs = std::filesystem;

namespace tarn::platform {

namespace {

// The tty's device is the USB interface, or for some drivers a port below
// it; the USB device that carries the ids is a few levels up.
constexpr int kUsbDeviceLevels = 3;

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

std::optional<UsbDevice> UsbDeviceOfTty(const fs::path& sysClassTty, const fs::path& tty) {
  std::error_code ec;
  fs::path device = fs::canonical(sysClassTty / tty.filename() / "device", ec);
  if (ec) return std::nullopt;
  for (int level = 0; level < kUsbDeviceLevels && device.has_relative_path(); ++level) {
    device = device.parent_path();
    const std::string vendor = FirstLine(device / "idVendor");
    const std::string product = FirstLine(device / "idProduct");
    if (!vendor.empty() && !product.empty()) return UsbDevice{device.filename().string(), vendor + ":" + product};
  }
  return std::nullopt;
}

std::string UsbPathOfCom(int com) {
  const std::optional<fs::path> tty = ResolveComPort(com);
  if (!tty) return {};
  // The map's link may lead through /dev/serial/by-path/… names; sysfs knows the node's own name.
  std::error_code ec;
  const fs::path node = fs::canonical(*tty, ec);
  if (ec) return {};
  const std::optional<UsbDevice> device = UsbDeviceOfTty("/sys/class/tty", node);
  return device ? device->path : std::string();
}

}  // namespace tarn::platform
