// SPDX-License-Identifier: Apache-2.0
// --log-dir DIR: one log file per slot, "slot<S>-COM<N>.log" (S the slot as
// the report lines number it, N the port its first job ran on; "slot<S>.log"
// when the job was to pick its own port). Each line is a wall-clock time
// stamp and what happened: a job starting or restarting, its texts, its
// errors and the slot's final result. Files are appended to, so that a
// station's runs build up a history. The folder may be shared: a log is only
// ever a regular file of this user's, never written through a link, a FIFO
// or another user's file planted under its name.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/flash_report.h"
#include "cli/wall_time.h"

namespace tarn::cli {

class SlotLogs : public FlashReport {
 public:
  // `ports`: slot i starts on ports[i].
  SlotLogs(std::filesystem::path dir, std::vector<int> ports, WallClock now = std::chrono::system_clock::now);
  ~SlotLogs() override;
  SlotLogs(const SlotLogs&) = delete;
  SlotLogs& operator=(const SlotLogs&) = delete;

  // Creates DIR when missing and tries a file in it, before any phone is
  // touched. Empty when DIR is usable, else the refusal line ("e - ...\n").
  static std::string Prepare(const std::filesystem::path& dir);
  // Opens every slot's file, before any phone is touched. Empty when each is
  // a regular file of this user's (made when missing), else the refusal line
  // of the first that is not.
  std::string Open();
  // The file of `slot` whose first job runs on `port`.
  static std::string FileName(int slot, int port);

  void JobStarted(int slot, int port, bool restart) override;
  void Text(int slot, const std::wstring& text) override;
  void Error(int slot, const std::wstring& text) override;
  void Summary(const SlotSummary& summary) override;

 private:
  void Line(int slot, const std::string& text);

  std::filesystem::path dir_;
  std::vector<int> ports_;
  WallClock now_;
  std::vector<int> files_;  // one descriptor per slot, -1 until opened
};

}  // namespace tarn::cli
