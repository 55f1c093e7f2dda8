// SPDX-License-Identifier: Apache-2.0
#include "platform/serial_node.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string_view>

namespace tarn::platform {
namespace {

// Unix98 pseudo-terminal far ends (the simulated phones' ports) have no sysfs
// node; the kernel gives them the majors from 136 on, eight of them.
constexpr unsigned kPtySlaveMajor = 136;
constexpr unsigned kPtySlaveMajorCount = 8;

// Decided from the device number alone, so nothing is opened to find out.
bool IsTerminalDevice(dev_t device) {
  const unsigned deviceMajor = major(device);
  if (deviceMajor >= kPtySlaveMajor && deviceMajor < kPtySlaveMajor + kPtySlaveMajorCount) return true;
  const std::string link = "/sys/dev/char/" + std::to_string(deviceMajor) + ":" + std::to_string(minor(device)) +
                           "/subsystem";
  char target[PATH_MAX];
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
  if (n <= 0 || n == static_cast<ssize_t>(sizeof target)) return false;
  const std::string_view subsystem(target, static_cast<std::size_t>(n));
  return subsystem.ends_with("/tty");
}

// The device number of the terminal device `fd` stands for; 0 for anything else.
dev_t TerminalDeviceOf(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !IsTerminalDevice(st.st_rdev)) return 0;
  return st.st_rdev;
}

int Refuse(int fd) {
  ::close(fd);
  errno = ENOTTY;
  return -1;
}

}  // namespace

int OpenSerialNode(const std::string& path) {
  // O_PATH names the node without opening the device: no driver code runs.
  const int node = ::open(path.c_str(), O_PATH | O_CLOEXEC);
  if (node < 0) return -1;
  const dev_t device = TerminalDeviceOf(node);
  if (device == 0) return Refuse(node);
  // Reopened through the checked descriptor, not the path, so a link changed
  // in between cannot put another node in its place.
  const std::string checked = "/proc/self/fd/" + std::to_string(node);
  const int fd = ::open(checked.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const int openError = errno;
  ::close(node);
  if (fd < 0) {
    errno = openError;
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || st.st_rdev != device || !::isatty(fd)) return Refuse(fd);
  return fd;
}

}  // namespace tarn::platform
