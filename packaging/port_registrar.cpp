// SPDX-License-Identifier: Apache-2.0
#include "packaging/port_registrar.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <regex>

#include "packaging/station_file.h"
#include "platform/devicemap.h"

namespace fs = std::filesystem;
using namespace tarn::platform;

namespace tarn::packaging {
namespace {

constexpr int kHighestComNumber = 255;

// The ACM index of a phone port's device node; nothing else is accepted.
std::optional<int> AcmIndex(const std::string& devName) {
  static const std::regex pattern("/dev/ttyACM([0-9]{1,3})");
  std::smatch match;
  if (!std::regex_match(devName, match, pattern)) return std::nullopt;
  return std::stoi(match[1].str());
}

// udev runs the add and remove of different ports at the same time: one
// registrar at a time picks a number.
class MapLock {
 public:
  MapLock() {
    std::error_code ec;
    fs::create_directories(DeviceMapRoot(), ec);
    fd_ = ::open((DeviceMapRoot() / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~MapLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  MapLock(const MapLock&) = delete;
  MapLock& operator=(const MapLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

fs::path LinkOf(int n) { return DeviceMapRoot() / "dosdevices" / ("com" + std::to_string(n)); }

std::optional<fs::path> Target(int n) {
  std::error_code ec;
  fs::path target = fs::read_symlink(LinkOf(n), ec);
  if (ec) return std::nullopt;
  return target;
}

// The number whose link already leads to the node, or 0.
int NumberOf(const std::string& devName) {
  for (int n = 1; n <= kHighestComNumber; ++n) {
    if (Target(n) == fs::path(devName)) return n;
  }
  return 0;
}

// A port new to the map: its own number from the station file when that is
// free, else the lowest free one that the station keeps for no other cable.
int FreshNumber(const std::string& idPath) {
  const auto station = ReadStationFile(StationFilePath());
  const int own = StationNumberOf(station, idPath);
  if (own != 0 && !Target(own)) return own;
  for (int n = 1; n <= kHighestComNumber; ++n) {
    if (!Target(n) && !IsStationNumber(station, n)) return n;
  }
  return 0;
}

}  // namespace

int AddPhonePort(const std::string& devName, const std::string& idPath) {
  const auto index = AcmIndex(devName);
  if (!index) return -1;
  MapLock lock;
  if (!lock.Held()) return -1;
  const std::string name = "qxcdmdm" + std::to_string(*index);
  // udev repeats add events for a node (change, a trigger, a re-run): the
  // node keeps the number it has, even when a lower one has come free since,
  // so its slot does not move and it never gets a second link.
  int chosen = NumberOf(devName);
  if (chosen == 0) chosen = FreshNumber(idPath);
  if (chosen == 0) return -1;
  return RegisterPort(name, chosen, devName) ? chosen : -1;
}

bool RemovePhonePort(const std::string& devName) {
  const auto index = AcmIndex(devName);
  if (!index) return false;
  MapLock lock;
  if (!lock.Held()) return false;
  const std::string name = "qxcdmdm" + std::to_string(*index);
  bool ok = true;
  if (const auto port = QuerySerialComm(ReadSerialComm(), name)) {
    const int n = ParseComNumber(*port);
    ok = UnregisterPort(name, Target(n) == fs::path(devName) ? n : 0);
  }
  // Links to the node left without an entry (an add cut short) go too.
  for (int n = 1; n <= kHighestComNumber; ++n) {
    if (Target(n) == fs::path(devName)) ok = UnregisterPort("", n) && ok;
  }
  return ok;
}

}  // namespace tarn::packaging
