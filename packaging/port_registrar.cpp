// SPDX-License-Identifier: Apache-2.0
#include "packaging/port_registrar.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <regex>

#include "packaging/station_file.h"
#include "platform/clock.h"
#include "platform/devicemap.h"

namespace fs = std::filesystem;
using namespace tarn::platform;

namespace tarn::packaging {
namespace {

// The ACM index of a phone port's device node; nothing else is accepted.
std::optional<int> AcmIndex(const std::string& devName) {
  static const std::regex pattern("/dev/ttyACM([0-9]{1,3})");
  std::smatch match;
  if (!std::regex_match(devName, match, pattern)) return std::nullopt;
  return std::stoi(match[1].str());
}

// udev runs the add and remove of different ports at the same time: one
// registrar at a time picks a number. The lock is a file in the map folder,
// so a private map ($TARN_DEVICEMAP) brings its own; that folder is root's,
// so only the registrar's user can put, replace or remove a file there, and
// the lock file is mode 0600, so no other user can open it and hold the lock
// to stall every add and remove until udev kills them. (A root-only folder
// of its own would need no mode checks, but one more folder to make at boot
// and beside every private map.) A wait that runs out fails the event
// instead of hanging it.
constexpr DWORD kLockWaitMs = 5000;  // clock milliseconds, as every fixed delay
constexpr DWORD kLockPollMs = 50;

bool IsPrivateLock(const struct stat& st) {
  return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 07777) == 0600;
}

enum class LockFile { Private, ToReplace, Error };

// O_NONBLOCK: opening a FIFO or device planted under the name must not wait.
LockFile OpenLockFile(const fs::path& path, int* fd) {
  *fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (*fd < 0) return errno == ENOENT || errno == ELOOP ? LockFile::ToReplace : LockFile::Error;
  struct stat st {};
  if (::fstat(*fd, &st) == 0 && IsPrivateLock(st)) return LockFile::Private;
  ::close(*fd);
  *fd = -1;
  return LockFile::ToReplace;
}

// Puts a fresh private lock file where there is none, or one of another
// owner, type or mode. Such a file is replaced, never chmod-ed: whoever
// opened it while others could keeps their descriptor, and their lock,
// whatever its mode becomes. Registrars replace it one at a time: only the
// one that made `<lock>.new` (O_EXCL) renames it over the lock file, after
// checking that no private one is there yet, which someone may hold. A
// private lock file is thus never replaced, and all registrars lock the same
// one. False (errno set) on a failure other than another replacement under way.
bool ReplaceLockFile(const fs::path& path) {
  const fs::path fresh = path.string() + ".new";
  const int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  struct stat st {};
  if (fd < 0) {
    if (errno != EEXIST) return false;
    // Left by a registrar killed halfway: no replacement takes that long.
    if (::lstat(fresh.c_str(), &st) == 0 && std::time(nullptr) - st.st_mtime > kLockWaitMs / 1000) {
      ::unlink(fresh.c_str());
    }
    return true;
  }
  const bool made = ::fchmod(fd, 0600) == 0;  // whatever the umask left
  const int madeError = errno;
  ::close(fd);
  if (!made || (::lstat(path.c_str(), &st) == 0 && IsPrivateLock(st))) {
    ::unlink(fresh.c_str());
    errno = madeError;
    return made;
  }
  return ::rename(fresh.c_str(), path.c_str()) == 0;
}

// Whether the lock file is still the file `fd` locked: removed by hand
// while it was held, a new one would let a second registrar in.
bool StillNames(const fs::path& path, int fd) {
  struct stat named {};
  struct stat held {};
  return ::lstat(path.c_str(), &named) == 0 && ::fstat(fd, &held) == 0 && named.st_dev == held.st_dev &&
         named.st_ino == held.st_ino;
}

// The locked descriptor, or -1 with `error` set to the line to log.
int LockMap(std::string& error) {
  std::error_code ec;
  fs::create_directories(DeviceMapRoot(), ec);
  const fs::path path = DeviceMapRoot() / ".lock";
  const auto deadline = std::chrono::steady_clock::now() + RealDuration(kLockWaitMs);
  for (;;) {
    int fd = -1;
    const LockFile found = OpenLockFile(path, &fd);
    if (found == LockFile::Error || (found == LockFile::ToReplace && !ReplaceLockFile(path))) {
      error = "e - cannot open the serial-port map's lock file " + path.string() + ": " + std::strerror(errno);
      return -1;
    }
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && StillNames(path, fd)) return fd;
    if (fd >= 0) ::close(fd);
    if (std::chrono::steady_clock::now() >= deadline) {
      error = "e - another process held the serial-port map's lock for " + std::to_string(kLockWaitMs / 1000) +
              " s, the map is unchanged: " + path.string();
      return -1;
    }
    Sleep(kLockPollMs);
  }
}

class MapLock {
 public:
  explicit MapLock(std::string& error) : fd_(LockMap(error)) {}
  ~MapLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  MapLock(const MapLock&) = delete;
  MapLock& operator=(const MapLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_;
};

std::optional<fs::path> Target(int n) {
  std::error_code ec;
  fs::path target = fs::read_symlink(ComPortLink(n), ec);
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

int AddPhonePort(const std::string& devName, const std::string& idPath, std::string& error) {
  const auto index = AcmIndex(devName);
  if (!index) {
    error = "tarn-port-registrar: e - " + devName + " is not registered: only /dev/ttyACM<n> nodes are phone ports";
    return -1;
  }
  MapLock lock(error);
  if (!lock.Held()) return -1;
  const std::string name = MakeValueName(ValueKind::Dm, *index);
  // udev repeats add events for a node (change, a trigger, a re-run): the
  // node keeps the number it has, even when a lower one has come free since,
  // so its slot does not move and it never gets a second link.
  int chosen = NumberOf(devName);
  if (chosen == 0) chosen = FreshNumber(idPath);
  if (chosen == 0) {
    error = "tarn-port-registrar: e - " + devName + " is not registered: COM1 to COM" +
            std::to_string(kHighestComNumber) + " are all taken or kept for other cables by " +
            StationFilePath().string();
    return -1;
  }
  if (RegisterPort(name, chosen, devName)) return chosen;
  error = "tarn-port-registrar: e - " + devName + " is not registered: the serial-port map " +
          DeviceMapRoot().string() + " cannot be written: " + std::strerror(errno);
  return -1;
}

bool RemovePhonePort(const std::string& devName, std::string& error) {
  const auto index = AcmIndex(devName);
  if (!index) return false;
  MapLock lock(error);
  if (!lock.Held()) return false;
  const std::string name = MakeValueName(ValueKind::Dm, *index);
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
