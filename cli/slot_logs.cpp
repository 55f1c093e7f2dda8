// SPDX-License-Identifier: Apache-2.0
#include "cli/slot_logs.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/json_report.h"

namespace tarn::cli {

SlotLogs::SlotLogs(std::filesystem::path dir, std::vector<int> ports, WallClock now)
    : dir_(std::move(dir)), ports_(std::move(ports)), now_(std::move(now)) {}

SlotLogs::~SlotLogs() {
  for (std::FILE* file : files_) {
    if (file) std::fclose(file);
  }
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
  if (slot < 0 || slot >= static_cast<int>(files_.size())) return;
  std::FILE*& file = files_[slot];
  if (file == nullptr) {
    const int port = slot < static_cast<int>(ports_.size()) ? ports_[slot] : 0;
    file = std::fopen((dir_ / FileName(slot, port)).c_str(), "a");
    if (file == nullptr) return;  // the folder was usable at the start; a log never stops a batch
  }
  // One line per entry, so that every line starts with its time.
  std::string line = Rfc3339Utc(now_()) + " " + text;
  for (char& c : line) c = c == '\n' || c == '\r' ? ' ' : c;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), file);
  std::fflush(file);
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
