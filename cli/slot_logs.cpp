// SPDX-License-Identifier: Apache-2.0
#include "cli/slot_logs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/json_report.h"
#include "cli/output_streams.h"

namespace tarn::cli {

SlotLogs::SlotLogs(std::filesystem::path dir, std::vector<int> ports, WallClock now)
    : dir_(std::move(dir)), ports_(std::move(ports)), now_(std::move(now)) {}

namespace {

// Opens the log at `path` for appending into *fd; the reason it may not be
// used, or empty. O_NOFOLLOW refuses a planted link, O_NONBLOCK a FIFO with
// no reader (one with a reader is caught by the type check).
std::string OpenLog(const std::filesystem::path& path, int* fd) {
  *fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (*fd < 0) {
    if (errno == ELOOP) return "it is a symbolic link";
    if (errno == ENXIO) return "it is not a regular file";
    return std::strerror(errno);
  }
  struct stat st {};
  std::string why;
  if (fstat(*fd, &st) != 0) {
    why = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    why = "it is not a regular file";
  } else if (st.st_uid != geteuid()) {
    why = "it belongs to another user";
  }
  if (!why.empty()) {
    close(*fd);
    *fd = -1;
  }
  return why;
}

}  // namespace

SlotLogs::~SlotLogs() {
  for (int fd : files_) {
    if (fd >= 0) close(fd);
  }
}

std::string SlotLogs::Open() {
  files_.assign(ports_.size(), -1);
  for (std::size_t slot = 0; slot < ports_.size(); ++slot) {
    const std::filesystem::path path = dir_ / FileName(static_cast<int>(slot), ports_[slot]);
    if (const std::string why = OpenLog(path, &files_[slot]); !why.empty()) {
      return "e - the slot log cannot be used: " + path.string() + ": " + why + "\n";
    }
  }
  return {};
}

std::string SlotLogs::Prepare(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return "e - the log folder cannot be made: " + dir.string() + ": " + ec.message() + "\n";
  std::string probe = (dir / ".tarn-flash-XXXXXX").string();
  const int fd = mkstemp(probe.data());
  if (fd < 0) return "e - the log folder cannot be written: " + dir.string() + ": " + std::strerror(errno) + "\n";
  close(fd);
  unlink(probe.c_str());
  return {};
}

std::string SlotLogs::FileName(int slot, int port) {
  const std::string name = "slot" + std::to_string(slot);
  return (port > 0 ? name + "-COM" + std::to_string(port) : name) + ".log";
}

void SlotLogs::Line(int slot, const std::string& text) {
  if (slot < 0 || slot >= static_cast<int>(files_.size()) || files_[slot] < 0) return;
  // One line per entry, so that every line starts with its time.
  std::string line = Rfc3339Utc(now_()) + " " + text;
  for (char& c : line) c = c == '\n' || c == '\r' ? ' ' : c;
  line += '\n';
  // A log that stops taking lines never stops a batch.
  WriteAll(files_[slot], line);
}

void SlotLogs::JobStarted(int slot, int port, bool restart) {
  Line(slot, std::string(restart ? "job restarted" : "job started") + " on COM" + std::to_string(port));
}

void SlotLogs::Text(int slot, const std::wstring& text) { Line(slot, Utf8Of(text)); }

void SlotLogs::Error(int slot, const std::wstring& text) { Line(slot, "ERROR " + Utf8Of(text)); }

void SlotLogs::Summary(const SlotSummary& summary) {
  const std::string reason = Utf8Of(ReasonOf(summary));
  Line(summary.slot, std::string(ResultName(ResultOf(summary))) + (reason.empty() ? "" : ": " + reason));
}

}  // namespace tarn::cli
