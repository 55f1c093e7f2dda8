// SPDX-License-Identifier: Apache-2.0
#include "packaging/station_learn.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "packaging/station_file.h"
#include "platform/clock.h"
#include "platform/port_names.h"

namespace fs = std::filesystem;

namespace tarn::packaging {
namespace {

// How often the port folder is looked at while a phone is awaited.
constexpr DWORD kScanMs = 200;

// Lines from the answer descriptor, read without blocking the port scan.
class Answers {
 public:
  explicit Answers(int fd) : fd_(fd) {}

  // A whole line, waiting at most `timeoutMs` real milliseconds (-1: until
  // one comes); nullopt when none came or the input has ended.
  std::optional<std::string> Next(int timeoutMs) {
    for (;;) {
      if (auto line = TakeLine()) return line;
      if (closed_) return std::nullopt;
      pollfd fd{fd_, POLLIN, 0};
      if (::poll(&fd, 1, timeoutMs) <= 0) return std::nullopt;
      char buffer[256];
      const ssize_t got = ::read(fd_, buffer, sizeof buffer);
      if (got <= 0) {
        closed_ = true;
      } else {
        pending_.append(buffer, static_cast<std::size_t>(got));
      }
    }
  }
  bool Closed() const { return closed_ && pending_.empty(); }

 private:
  std::optional<std::string> TakeLine() {
    std::size_t end = pending_.find('\n');
    if (end == std::string::npos && !(closed_ && !pending_.empty())) return std::nullopt;
    if (end == std::string::npos) end = pending_.size();
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

  int fd_;
  std::string pending_;
  bool closed_ = false;
};

std::set<std::string> PortsNow(const fs::path& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    names.insert(it->path().filename().string());
  }
  return names;
}

int ScanTimeoutMs() {
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(platform::RealDuration(kScanMs)).count());
}

enum class Step { kPort, kSkip, kEnd };

class Walk {
 public:
  explicit Walk(const LearnSetup& setup) : setup_(setup), answers_(setup.answers), known_(PortsNow(setup.byPathDir)) {}

  // Asks the question until it gets a number of cables; 0 when the answers end.
  int AskSlots() {
    for (;;) {
      // As many cables as tarn-flash drives phones; q ends the walk earlier.
      Say("How many cables (1 to %d) [%d]? ", platform::kMostPhones, platform::kMostPhones);
      const auto line = answers_.Next(-1);
      if (!line) return 0;
      if (line->empty()) return platform::kMostPhones;
      const int slots = std::atoi(line->c_str());
      if (slots >= 1 && slots <= platform::kMostPhones) return slots;
    }
  }

  // Waits for a phone on a port not recorded yet, or for the technician.
  std::optional<Step> AwaitPort(int slot) {
    for (;;) {
      // The folder is looked at after each wait, so a reply to an answer
      // comes from a look taken after the answer was given.
      const auto line = answers_.Next(ScanTimeoutMs());
      if (TakeNewPort(slot)) return Step::kPort;
      if (line) {
        if (line->empty()) return Step::kSkip;
        if (*line == "q") return Step::kEnd;
        Say("Plug a phone in, press Enter to skip cable %d, or type q to end.\n", slot);
      }
      if (answers_.Closed()) return std::nullopt;
    }
  }

  int Finish() {
    if (learned_.empty()) {
      Say("No port recorded; %s is left as it was.\n", setup_.stationFile.c_str());
      return 1;
    }
    for (const auto& port : learned_) Say("  COM%d  %s\n", port.com, port.idPath.c_str());
    Say("Write these %zu ports to %s? [Y/n] ", learned_.size(), setup_.stationFile.c_str());
    const auto line = answers_.Next(-1);
    if (!line) return 1;
    if (*line == "n" || *line == "N") {
      Say("Nothing written.\n");
      return 0;
    }
    if (!WriteStationFile(setup_.stationFile, learned_)) {
      Say("Cannot write %s (run this as root).\n", setup_.stationFile.c_str());
      return 1;
    }
    Say("Wrote %s. Phones attached now keep their numbers until they are plugged in again.\n",
        setup_.stationFile.c_str());
    return 0;
  }

  __attribute__((format(printf, 2, 3))) void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(setup_.out, format, args);
    va_end(args);
    std::fflush(setup_.out);
  }

 private:
  // Records the first port that appeared since the last look and is not
  // recorded for another slot. A port that goes away counts as new when it
  // comes back.
  bool TakeNewPort(int slot) {
    const auto now = PortsNow(setup_.byPathDir);
    for (const auto& name : now) {
      if (known_.count(name) != 0) continue;
      if (const int other = StationNumberOf(learned_, name)) {
        Say("%s is cable %d already; use cable %d.\n", name.c_str(), other, slot);
        continue;
      }
      learned_.push_back({slot, name});
      Say("cable %d (COM%d): %s\n", slot, slot, name.c_str());
      known_ = now;
      return true;
    }
    known_ = now;
    return false;
  }

  const LearnSetup& setup_;
  Answers answers_;
  std::set<std::string> known_;
  std::vector<StationPort> learned_;
};

}  // namespace

fs::path SerialByPathDir() {
  const char* dir = std::getenv("TARN_SERIAL_BY_PATH");
  return dir != nullptr && *dir != '\0' ? fs::path(dir) : fs::path("/dev/serial/by-path");
}

int LearnStation(const LearnSetup& setup) {
  Walk walk(setup);
  walk.Say("%s",
           "Station layout: the phone on cable N will get COM N.\n"
           "Ports with a phone on them now are not taken: unplug such a phone and plug it in again when asked.\n");
  std::error_code ec;
  if (fs::exists(setup.stationFile, ec)) {
    walk.Say("%s exists; it is replaced when you confirm at the end.\n", setup.stationFile.c_str());
  }
  const int slots = walk.AskSlots();
  if (slots == 0) return 1;
  for (int slot = 1; slot <= slots; ++slot) {
    walk.Say("(%d/%d) plug a phone into cable %d\u2026 (Enter skips it, q ends)\n", slot, slots, slot);
    const auto step = walk.AwaitPort(slot);
    if (!step) return 1;
    if (*step == Step::kEnd) break;
    if (*step == Step::kSkip) walk.Say("cable %d skipped\n", slot);
  }
  return walk.Finish();
}

}  // namespace tarn::packaging
